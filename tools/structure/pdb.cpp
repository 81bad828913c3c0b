// PDB files through gemmi's reader, behind a line filter that checks the coordinate columns,
// makes old files readable and keeps the CONECT records, which gemmi passes over.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include <gemmi/pdb.hpp>

#include "gemmimodel.h"

namespace structure
{
namespace
{
struct Conect
{
	int line = 0;
	std::string text;
};

bool IsRecord(const char* line, const char* name)
{
	return std::strncmp(line, name, std::strlen(name)) == 0;
}

bool Blank(char c)
{
	return c == ' ' || c == '\0' || c == '\n' || c == '\r' || c == '\t';
}

// What gemmi takes for a charge: blank, or a digit with a sign (either order) or nothing after it.
bool ChargeColumns(char a, char b)
{
	const auto digit = [](char c) { return c >= '0' && c <= '9'; };
	const auto sign = [](char c) { return c == '+' || c == '-'; };
	return (Blank(a) && Blank(b)) || (digit(a) && (sign(b) || Blank(b))) || (sign(a) && digit(b)) ||
		(Blank(a) && sign(b)) || (sign(a) && Blank(b));
}

bool ElementColumns(const char* p)
{
	char symbol[3] = {p[0], p[1], 0};
	if (Blank(symbol[0]))
	{
		symbol[0] = symbol[1];
		symbol[1] = 0;
	}
	else if (Blank(symbol[1]))
	{
		symbol[1] = 0;
	}
	for (char* c = symbol; *c; ++c)
		if (!((*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z')))
			return false;
	return symbol[0] != 0 && gemmi::find_element(symbol) != gemmi::El::X;
}

// An 8-column coordinate field: blanks, a sign, digits with a decimal point, blanks.
bool Number(const char* field)
{
	int i = 0;
	while (i < 8 && field[i] == ' ')
		++i;
	if (i < 8 && (field[i] == '-' || field[i] == '+'))
		++i;
	int digits = 0;
	while (i < 8 && field[i] >= '0' && field[i] <= '9')
		++i, ++digits;
	if (i < 8 && field[i] == '.')
		++i;
	while (i < 8 && field[i] >= '0' && field[i] <= '9')
		++i, ++digits;
	while (i < 8 && field[i] == ' ')
		++i;
	return digits > 0 && i == 8;
}

// The lines gemmi reads, from a file or from uncompressed text, each checked on the way.
class LineFilter
{
public:
	LineFilter(std::string path, std::FILE* file, const std::string* text) : path_(std::move(path)), file_(file), text_(text)
	{
	}

	char* gets(char* line, int size)
	{
		if (!Next(line, size))
			return nullptr;
		++lineNumber_;
		RequireAscii(path_, line, std::strlen(line), lineNumber_);
		if (IsRecord(line, "ATOM  ") || IsRecord(line, "HETATM"))
			CheckAtom(line);
		else if (IsRecord(line, "CONECT"))
			conects.push_back(Conect{lineNumber_, line});
		return line;
	}

	int getc()
	{
		if (file_)
			return std::fgetc(file_);
		return offset_ < text_->size() ? static_cast<unsigned char>((*text_)[offset_++]) : EOF;
	}

	std::vector<Conect> conects;

private:
	bool Next(char* line, int size)
	{
		if (file_)
		{
			if (std::fgets(line, size, file_))
				return true;
			if (std::ferror(file_))
				throw ReadError(path_ + ": cannot be read: " + std::strerror(errno));
			return false;
		}
		if (offset_ >= text_->size())
			return false;
		const size_t room = size_t(size - 1);
		const char* begin = text_->data() + offset_;
		const size_t left = text_->size() - offset_;
		const void* nl = std::memchr(begin, '\n', std::min(room, left));
		const size_t n = nl ? size_t(static_cast<const char*>(nl) - begin) + 1 : std::min(room, left);
		std::memcpy(line, begin, n);
		line[n] = '\0';
		offset_ += n;
		return true;
	}

	[[noreturn]] void Fail(const std::string& problem) const
	{
		throw ReadError(path_ + ": line " + std::to_string(lineNumber_) + ": " + problem);
	}

	void CheckAtom(char* line)
	{
		size_t len = std::strlen(line);
		while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r'))
			--len;
		if (len < 54)
			Fail(std::string(line, 6) + " record too short: the coordinates end in column 54, the line in column " +
				std::to_string(len));
		static const char* const axes[] = {"x", "y", "z"};
		for (int k = 0; k < 3; ++k)
			if (!Number(line + 30 + 8 * k))
				Fail(std::string("the ") + axes[k] + " coordinate (columns " + std::to_string(31 + 8 * k) + "-" +
					std::to_string(38 + 8 * k) + ") is not a number: '" + std::string(line + 30 + 8 * k, 8) + "'");
		// Old files keep a serial number or segment text in columns 73-80, where the element and the
		// charge now are: what is no element symbol or charge there is not read as one.
		if (len > 76 && (!Blank(line[76]) || !Blank(line[77])) && !ElementColumns(line + 76))
			line[76] = line[77] = ' ';
		if (len > 78 && !ChargeColumns(line[78], len > 79 ? line[79] : ' '))
		{
			line[78] = ' ';
			if (len > 79)
				line[79] = ' ';
		}
	}

	std::string path_;
	std::FILE* file_ = nullptr;
	const std::string* text_ = nullptr;
	size_t offset_ = 0;
	int lineNumber_ = 0;
};

uint64_t Ordered(int a, int b)
{
	return (uint64_t(uint32_t(a)) << 32) | uint32_t(b);
}

// How often each CONECT record lists each partner: a repeated partner gives order 2 or 3.
std::map<uint64_t, int> ConectCounts(const std::string& path, const std::vector<Conect>& conects)
{
	std::map<uint64_t, int> counts;
	for (const Conect& c : conects)
	{
		std::string text = c.text;
		while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
			text.pop_back();
		text.resize(std::max<size_t>(text.size(), 31), ' ');
		const auto serial = [&](size_t column, const char* what) {
			const std::string field = text.substr(column, 5);
			if (field.find_first_not_of(' ') == std::string::npos)
				return 0;
			for (char ch : field)
				if (!(ch == ' ' || (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z')))
					throw ReadError(path + ": line " + std::to_string(c.line) + ": CONECT " + what + " (columns " +
						std::to_string(column + 1) + "-" + std::to_string(column + 5) + ") is not an atom serial number: '" + field + "'");
			return gemmi::pdb_impl::read_serial(field.c_str());
		};
		const int from = serial(6, "atom");
		if (from == 0)
			throw ReadError(path + ": line " + std::to_string(c.line) + ": CONECT record without an atom serial number");
		for (size_t column = 11; column <= 26; column += 5)
		{
			const int to = serial(column, "partner");
			if (to != 0 && to != from)
				++counts[Ordered(from, to)];
		}
	}
	return counts;
}

void AddConectBonds(Record& record, const SerialMap& serials, const std::map<uint64_t, int>& counts)
{
	std::unordered_map<uint64_t, size_t> existing;
	for (size_t i = 0; i < record.bonds.size(); ++i)
		existing.emplace(Ordered(record.bonds[i].a, record.bonds[i].b), i);
	for (const auto& entry : counts)
	{
		const int from = int(entry.first >> 32), to = int(uint32_t(entry.first));
		const auto back = counts.find(Ordered(to, from));
		const int order = std::min(3, std::max(entry.second, back == counts.end() ? 0 : back->second));
		const auto a = serials.find(from), b = serials.find(to);
		if (a == serials.end() || b == serials.end() || a->second == b->second)
			continue;
		const int32_t lo = std::min(a->second, b->second), hi = std::max(a->second, b->second);
		const auto found = existing.find(Ordered(lo, hi));
		if (found != existing.end())
		{
			Bond& bond = record.bonds[found->second];
			bond.order = std::max(bond.order, order);
			continue;
		}
		existing.emplace(Ordered(lo, hi), record.bonds.size());
		record.bonds.push_back(Bond{lo, hi, order});
	}
}

std::string OneLine(std::string text)
{
	for (char& c : text)
		c = (c == '\n' || c == '\r') ? ' ' : c;
	while (!text.empty() && text.back() == ' ')
		text.pop_back();
	return text;
}
} // namespace

std::vector<Record> ReadPdb(const std::string& path, const RadiusTable& radii)
{
	std::string text;
	std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, std::fclose);
	if (IsGzipped(path))
	{
		text = ReadFileText(path);
	}
	else
	{
		file.reset(std::fopen(path.c_str(), "rb"));
		if (!file)
			throw ReadError(path + ": cannot be read: " + std::strerror(errno));
		const int first = std::fgetc(file.get());
		if (first == EOF)
			throw ReadError(path + ": the file is empty");
		std::ungetc(first, file.get());
	}
	LineFilter lines(path, file.get(), &text);
	gemmi::Structure st;
	try
	{
		st = gemmi::pdb_impl::read_pdb_from_stream(lines, path, gemmi::PdbReadOptions());
	}
	catch (const ReadError&)
	{
		throw;
	}
	catch (const std::exception& e)
	{
		std::string message = OneLine(e.what());
		if (message.compare(0, 16, "Problem in line ") == 0)
			message = "line " + message.substr(16);
		throw ReadError(path + ": " + message);
	}
	text.clear();
	text.shrink_to_fit();
	const std::map<uint64_t, int> conects = ConectCounts(path, lines.conects);

	std::vector<Record> records;
	for (gemmi::Model& model : st.models)
	{
		KeepFirstConformer(model);
		SerialMap serials;
		Record record = ModelRecord(st, model, path, conects.empty() ? nullptr : &serials);
		// The model's atoms are copied: free them before the bonds are looked for.
		model.chains.clear();
		model.chains.shrink_to_fit();
		if (record.atoms.empty())
			continue;
		AddConectBonds(record, serials, conects);
		PerceiveBonds(record, radii);
		records.push_back(std::move(record));
	}
	if (records.empty())
		throw ReadError(path + ": no ATOM or HETATM records (not a PDB file?)");
	return records;
}
} // namespace structure
