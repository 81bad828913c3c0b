// PDB, mmCIF and XYZ files on the command line: `convert` writes them as MDL files, and `export`
// and `dump` hand each model to the molecule object as the MDL table `convert` writes.
#pragma once

#include <string>

namespace tool
{
// Whether the command line reads the file itself (PDB, mmCIF, XYZ, plain or .gz) rather than
// the object.
bool IsStructureFile(const std::string& path);

// The element table beside the module, whose covalent radii decide the perceived bonds.
std::string ElementTablePath(const std::string& pluginsFolder);

// `convert IN -o OUT.sdf|OUT.mol`: every record of IN (models of a PDB or mmCIF file, frames of
// an XYZ file, records of an SD file) into an SD file, or the first into a MOL file. 0 written;
// 1 when IN cannot be read or OUT not written (nothing is left behind); a usage error for an OUT
// that is neither .sdf nor .mol.
int ConvertCommand(const std::string& in, const std::string& out, const std::string& elementTable);

// A structure file as an SD file in a private temporary folder, removed with the object.
class HandedOver
{
public:
	// Throws structure::ReadError when the file cannot be read.
	HandedOver(const std::string& path, const std::string& elementTable);
	~HandedOver();
	HandedOver(const HandedOver&) = delete;
	HandedOver& operator=(const HandedOver&) = delete;

	const std::string& Path() const { return path_; }

private:
	std::string folder_;
	std::string path_;
};

// Where `export` writes by default for a structure file: beside it, named after it without its
// suffixes (.pdb.gz included): NAME.glb, NAME/ with --all, NAME-N.glb with --record N.
std::string StructureOutput(const std::string& path, bool all, int record);
} // namespace tool
