// File names ('/' separated, as on this host) and file existence.
#include <sys/stat.h>

#include "c4d_file.h"
#include "vh/host.h"

namespace
{
// The text from index from to the end (SubStr gives nothing for a range that runs past the end).
String Tail(const String& s, Int from) { return s.SubStr(from, s.GetLength() - from); }

Int LastSlash(const String& s)
{
	Int32 pos = -1;
	return s.FindLast(String("/"), &pos) ? Int(pos) : -1;
}

// Index of the dot that starts the suffix (last or first one of the file part), -1 when none.
// A dot that opens the file part (".bashrc") does not start a suffix.
Int SuffixDot(const String& path, Bool first)
{
	Int fileStart = LastSlash(path) + 1;
	Int len = path.GetLength();
	Int found = -1;
	for (Int i = fileStart + 1; i < len; ++i)
	{
		if (path[i] == '.')
		{
			found = i;
			if (first)
				break;
		}
	}
	return found;
}
} // namespace

const Filename Filename::GetDirectory() const
{
	Int slash = LastSlash(_path);
	if (slash < 0)
		return Filename();
	// The root keeps its slash so that directory + file gives the path back.
	return Filename(slash == 0 ? String("/") : _path.Left(slash));
}

void Filename::SetDirectory(const Filename& dir) { *this = dir + GetFile(); }

const Filename Filename::GetFile() const { return Filename(Tail(_path, LastSlash(_path) + 1)); }

void Filename::SetFile(const Filename& file) { *this = GetDirectory() + file; }

String Filename::GetSuffix() const
{
	Int dot = SuffixDot(_path, false);
	return dot < 0 ? String() : Tail(_path, dot + 1);
}

void Filename::SetSuffix(const maxon::String& suffix)
{
	ClearSuffix();
	if (suffix.IsPopulated())
		_path = _path + "." + String(suffix);
}

void Filename::ClearSuffix()
{
	Int dot = SuffixDot(_path, false);
	if (dot >= 0)
		_path = _path.Left(dot);
}

void Filename::ClearSuffixComplete()
{
	Int dot = SuffixDot(_path, true);
	if (dot >= 0)
		_path = _path.Left(dot);
}

Bool Filename::CheckSuffix(const maxon::String& str) const { return GetSuffix().ToLower() == String(str).ToLower(); }

Filename& Filename::operator+=(const Filename& b)
{
	*this = *this + b;
	return *this;
}

const Filename operator+(const Filename& a, const Filename& b)
{
	String left = a.GetString(), right = b.GetString();
	if (left.IsEmpty())
		return b;
	if (right.IsEmpty())
		return a;
	Int end = left.GetLength();
	while (end > 0 && left[end - 1] == '/')
		--end;
	Int start = 0;
	while (start < right.GetLength() && right[start] == '/')
		++start;
	return Filename(left.Left(end) + "/" + Tail(right, start));
}

Bool GeFExist(const Filename& name, Bool isdir)
{
	if (name.IsEmpty())
		return false;
	std::string path = vh::ToUtf8(name.GetString());
	struct stat st;
	if (::stat(path.c_str(), &st) != 0)
		return false;
	return isdir ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
}
