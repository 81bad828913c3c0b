// Tripos MOL2 files are recognised by their suffix but cannot be read: this class has no reader.
#ifndef VIRELTAN_MOL2LOADER_H__
#define VIRELTAN_MOL2LOADER_H__

#include "datastructs.h"

class Mol2Loader
{
public:
	Mol2Loader() = default;
	virtual ~Mol2Loader();
};

#endif
