// Reader of MDL connection-table files (SDF, MOL): the first record's V2000 or V3000 table.
#ifndef VIRELTAN_SDFLOADER_H__
#define VIRELTAN_SDFLOADER_H__

#include <cstring>
#include <istream>

#include "datastructs.h"

// A line that starts with "$$$$" ends a record of an SD file, whatever follows it on the line.
inline Bool IsRecordSeparator(const char* line)
{
	// Byte by byte: the line ends in a NUL, which stops the comparison, and a call to strncmp costs
	// more than the line it is asked about.
	return line[0] == '$' && line[1] == '$' && line[2] == '$' && line[3] == '$';
}

class SDFLoader
{
public:
	SDFLoader() = default;
	virtual ~SDFLoader() = default;

	// Empties atoms and bonds, then fills them from the file and names node after its first line.
	// False (after a message box) when the file does not exist or cannot be opened, or memory ran out.
	Bool LoadFile(BaseList2D* node, const Filename& fileName, const maxon::BaseArray<ElementRecord>& elements, maxon::BaseArray<AtomRecord>& atoms,
		maxon::BaseArray<BondRecord>& bonds);

	// Empties atoms and bonds, then fills them from the first record the stream holds; name, when
	// given, receives the record's first line. Shows nothing; false only when memory ran out.
	Bool ReadConnectionTable(std::istream& stream, const maxon::BaseArray<ElementRecord>& elements, maxon::BaseArray<AtomRecord>& atoms,
		maxon::BaseArray<BondRecord>& bonds, String* name);
};

#endif
