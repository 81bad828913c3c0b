// Molecule files: any bytes through the SDF/MOL reader into a molecule object, whose read model is
// checked, which is then evaluated at the default and at the largest position scale, checked and
// exported.
#include <cstdint>
#include <string>

#include "harness.h"
#include "vireltan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	fuzz::AttachPlugin(fuzz::SourceDir(), true);
	// The object's own load picks the reader by the file's suffix; the bytes go to the reader's
	// stream interface instead, so that no file is written for an input.
	fuzz::RunMolecule(std::string(reinterpret_cast<const char*>(data), size), fuzz::ExpectedBondNumbers(data, size),
		[](BaseDocument* doc, BaseObject* op) {
			op->SetParameter(DescID(MOLOBJ_POSITION_SCALE), GeData(100000.0), DESCFLAGS_SET::NONE);
			fuzz::EvaluateCheckExport(doc);
		});
	return 0;
}
