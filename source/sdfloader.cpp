#include "sdfloader.h"

#include <fstream>
#include <initializer_list>

namespace
{
const Int PATH_BUFFER_SIZE = 1000;
const Int LINE_BUFFER_SIZE = 10000;
// Atom counts have three columns, so an atom block has at most 999 lines.
const Int32 MAX_ATOM_LINES = 999;

// Text of the 1-based columns first..last; a shorter line gives what exists. The range is cut to
// the line here because SubStr returns nothing at all for a range that runs past the end.
String Columns(const String& line, Int first, Int last)
{
	const Int start = first - 1;
	const Int length = line.GetLength();
	if (start >= length)
		return String();
	const Int count = last - start < length - start ? last - start : length - start;
	return line.SubStr(start, count);
}

String LineString(const char* buffer)
{
	String s;
	s.SetCString(buffer, -1, STRINGENCODING::XBIT);
	return s;
}
} // namespace

Bool SDFLoader::LoadFile(BaseList2D* node, const Filename& fileName, const maxon::BaseArray<ElementRecord>& elements, maxon::BaseArray<AtomRecord>& atoms,
	maxon::BaseArray<BondRecord>& bonds)
{
	atoms.Flush();
	bonds.Flush();

	if (!GeFExist(fileName))
	{
		MessageDialog("The .sdf file specified does not exist."_s);
		return false;
	}

	// A path longer than the buffer would open a different, truncated path.
	String path = fileName.GetString();
	char pathBuffer[PATH_BUFFER_SIZE];
	if (path.GetCStringLen(STRINGENCODING::XBIT) > PATH_BUFFER_SIZE - 1)
	{
		MessageDialog("Failed to open the .sdf file."_s);
		return false;
	}
	path.GetCString(pathBuffer, PATH_BUFFER_SIZE, STRINGENCODING::XBIT);

	std::ifstream file(pathBuffer, std::ios::in);
	if (file.fail())
	{
		MessageDialog("Failed to open the .sdf file."_s);
		return false;
	}

	char line[LINE_BUFFER_SIZE];

	// Header: the molecule's name, then the program line and the comment line.
	ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);
	String name = LineString(line);
	if (!name.IsEmpty() && node)
		node->SetName(name);
	ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);
	ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);

	ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);
	String counts = LineString(line);
	String trimmedCounts = counts;
	iferr (trimmedCounts.Trim())
		return true;

	if (trimmedCounts.GetLength() >= 6)
	{
		Bool error = false;
		Int32 atomCount = Columns(counts, 1, 3).ToInt32(&error);
		Int32 bondCount = Columns(counts, 4, 6).ToInt32(&error);
		if (atomCount > MAX_ATOM_LINES)
			atomCount = MAX_ATOM_LINES;

		// Number each atom line maps to among the stored atoms, 0 when its atom was left out,
		// so that bonds keep naming the right atoms.
		Int32 storedNumber[MAX_ATOM_LINES + 1] = {};
		for (Int32 i = 1; i <= atomCount; ++i)
		{
			ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);
			String atomLine = LineString(line);
			Vector position(Columns(atomLine, 1, 10).ToFloat(&error), Columns(atomLine, 11, 20).ToFloat(&error),
				Columns(atomLine, 21, 30).ToFloat(&error));
			String symbol = Columns(atomLine, 31, 33);
			iferr (symbol.Trim())
				continue;
			Int32 elementIndex = FindElement(symbol, elements);
			if (elementIndex < 0)
				continue;
			iferr (atoms.Append(AtomRecord{elementIndex, position}))
				continue;
			storedNumber[i] = Int32(atoms.GetCount());
		}

		for (Int32 i = 0; i < bondCount; ++i)
		{
			ReadTextLine(file, line, LINE_BUFFER_SIZE - 1);
			String bondLine = LineString(line);
			BondRecord bond{Columns(bondLine, 1, 3).ToInt32(&error), Columns(bondLine, 4, 6).ToInt32(&error),
				Columns(bondLine, 7, 9).ToInt32(&error)};
			Bool dropped = false;
			for (Int32* atom : {&bond.firstAtom, &bond.secondAtom})
			{
				// Numbers that name no atom line at all stay as read, for the builder to skip.
				if (*atom >= 1 && *atom <= atomCount)
				{
					if (storedNumber[*atom] == 0)
						dropped = true;
					else
						*atom = storedNumber[*atom];
				}
			}
			if (dropped)
				continue;
			iferr (bonds.Append(bond))
				continue;
		}
	}

	file.close();
	return true;
}
