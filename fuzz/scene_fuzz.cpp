// Scene files: any bytes opened as a scene (molecule objects in it load the molecule files they
// name, relative to the working folder), then evaluated, checked and exported.
#include <cstdint>
#include <vector>

#include "harness.h"
#include "vh/host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	fuzz::AttachPlugin(fuzz::SourceDir(), true);
	const std::vector<unsigned char> bytes(data, data + size);
	BaseDocument* doc = vh::LoadDocumentBytes(bytes, Filename("fuzz.vhs"_s));
	if (doc)
	{
		fuzz::CoarseGeometryAll(doc->GetFirstObject());
		fuzz::EvaluateCheckExport(doc);
		BaseDocument::Free(doc);
	}
	vh::ClearConsoleAndDialogs();
	return 0;
}
