// Scene files: any bytes opened as a scene (molecule objects in it load the molecule files they
// name, relative to the working folder), then evaluated, checked and exported.
#include <cstdint>
#include <vector>

#include "harness.h"
#include "vh/host.h"
#include "vireltan.h"

namespace
{
// Molecule objects anywhere in the tree get the coarsest geometry (see CoarseGeometry).
void Coarsen(BaseObject* op)
{
	for (; op; op = op->GetNext())
	{
		if (op->GetType() == ID_VIRELTAN)
			fuzz::CoarseGeometry(op);
		Coarsen(op->GetDown());
	}
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const Bool attached = fuzz::AttachPlugin(fuzz::SourceDir(), true);
	if (!attached)
		return 0;
	const std::vector<unsigned char> bytes(data, data + size);
	BaseDocument* doc = vh::LoadDocumentBytes(bytes, Filename("fuzz.vhs"_s));
	if (doc)
	{
		Coarsen(doc->GetFirstObject());
		fuzz::EvaluateCheckExport(doc);
		BaseDocument::Free(doc);
	}
	vh::ClearConsoleAndDialogs();
	return 0;
}
