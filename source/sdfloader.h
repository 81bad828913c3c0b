// Reader of MDL connection-table files (SDF, MOL; V2000 layout, first record only).
#ifndef VIRELTAN_SDFLOADER_H__
#define VIRELTAN_SDFLOADER_H__

#include "datastructs.h"

class SDFLoader
{
public:
	SDFLoader() = default;
	virtual ~SDFLoader() = default;

	// Empties atoms and bonds, then fills them from the file and names node after its first line.
	// False (after a message box) when the file does not exist or cannot be opened.
	Bool LoadFile(BaseList2D* node, const Filename& fileName, const maxon::BaseArray<ElementRecord>& elements, maxon::BaseArray<AtomRecord>& atoms,
		maxon::BaseArray<BondRecord>& bonds);
};

#endif
