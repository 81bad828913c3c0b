// Element tables: any bytes as res/ptable.csv of a molecule object that then reads a molecule of
// four elements (its read model checked against the table), builds and exports it.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "harness.h"
#include "vireltan.h"

namespace
{
// A private copy of the resources in the scratch folder, so that the table under test replaces
// no real one; the folder's path.
std::string CopyResources()
{
	const std::string& folder = fuzz::ScratchFolder();
	std::error_code ec;
	std::filesystem::copy(fuzz::SourceDir() + "/res", folder + "/res", std::filesystem::copy_options::recursive, ec);
	if (ec)
		fuzz::SetupFailed("cannot copy " + fuzz::SourceDir() + "/res to " + folder + "/res: " + ec.message());
	return folder;
}

const std::string& MoleculePath()
{
	static const std::string path = fuzz::SourceDir() + "/examples/caffeine.sdf";
	return path;
}

// The molecule's bytes, read once.
const std::string& MoleculeBytes()
{
	static const std::string bytes = [] {
		std::ifstream in(MoleculePath(), std::ios::binary);
		std::string read{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
		if (read.empty())
			fuzz::SetupFailed("cannot read " + MoleculePath());
		return read;
	}();
	return bytes;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const std::string folder = CopyResources();
	static const std::string& molecule = MoleculeBytes();
	static const fuzz::BondNumbers numbers =
		fuzz::ExpectedBondNumbers(reinterpret_cast<const uint8_t*>(molecule.data()), molecule.size());
	fuzz::AttachPlugin(folder, true);
	fuzz::WriteScratchFile("res/ptable.csv", data, size);
	// Init reads the table; an object whose Init failed is still kept, as the host keeps it.
	fuzz::RunMolecule(molecule, numbers, [](BaseDocument* doc, BaseObject* op) {
		// Preset colours and the second radius column take other paths through the table.
		op->SetParameter(DescID(MOLOBJ_COLOR_SOURCE), GeData(MOLOBJ_COLOR_SOURCE_PRESET), DESCFLAGS_SET::NONE);
		op->SetParameter(DescID(MOLOBJ_ATOM_RADIUS_MODE), GeData(MOLOBJ_ATOM_RADIUS_MODE_VDW), DESCFLAGS_SET::NONE);
		fuzz::EvaluateCheckExport(doc);
	});
	return 0;
}
