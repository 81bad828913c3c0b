// Structure files: any bytes through the command line's PDB, mmCIF or XYZ reader (the first byte
// picks which, and whether the rest is read as gzip data), then written as MDL tables. A record
// with an atom that is not finite or a bond that names no atom of it is a finding.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "harness.h"
#include "structure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const structure::RadiusTable radii = structure::RadiusTable::Load(fuzz::SourceDir() + "/res/ptable.csv");
	if (size == 0)
		return 0;
	static const char* const names[] = {"input.pdb", "input.cif", "input.xyz", "input.pdb.gz", "input.cif.gz", "input.xyz.gz"};
	const std::string name = names[data[0] % 6];
	fuzz::WriteScratchFile(name, data + 1, size - 1);
	try
	{
		const std::vector<structure::Record> records = structure::ReadStructure(fuzz::ScratchFolder() + "/" + name, radii);
		for (const structure::Record& r : records)
		{
			for (const structure::Atom& a : r.atoms)
				if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(a.z))
					std::abort();
			for (const structure::Bond& b : r.bonds)
				if (b.a < 0 || b.a >= b.b || size_t(b.b) >= r.atoms.size() || b.order < 1 || b.order > 3)
					std::abort();
			std::ostringstream out;
			structure::WriteMdl(out, r);
		}
	}
	catch (const structure::ReadError&)
	{
	}
	return 0;
}
