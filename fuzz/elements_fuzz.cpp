// Element tables: any bytes as res/ptable.csv of a molecule object that then reads, builds and
// exports a molecule of four elements.
#include <cstdint>
#include <filesystem>

#include "harness.h"
#include "sdfloader.h"
#include "vh/host.h"
#include "vireltan.h"

namespace
{
// A private copy of the resources, so that the table under test replaces no real one.
Bool Setup()
{
	const std::string& folder = fuzz::ScratchFolder();
	std::error_code ec;
	std::filesystem::copy(fuzz::SourceDir() + "/res", folder + "/res", std::filesystem::copy_options::recursive, ec);
	return !ec && fuzz::AttachPlugin(folder, true);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const Bool ready = Setup();
	if (!ready || !fuzz::WriteScratchFile("res/ptable.csv", data, size))
		return 0;

	BaseDocument* doc = BaseDocument::Alloc();
	// Init reads the table; an object whose Init failed is still kept, as the host keeps it.
	BaseObject* op = vh::AllocPluginObject(ID_VIRELTAN);
	if (doc && op)
	{
		doc->InsertObject(op, nullptr, nullptr);
		fuzz::CoarseGeometry(op);
		Vireltan* v = static_cast<Vireltan*>(op->GetNodeData());
		SDFLoader loader;
		loader.LoadFile(op, Filename(vh::FromUtf8(fuzz::SourceDir() + "/examples/caffeine.sdf")), v->elements, v->atoms, v->bonds);
		op->SetDirty(DIRTYFLAGS::DATA);
		fuzz::EvaluateCheckExport(doc);
		// Preset colours and the second radius column take other paths through the table.
		op->SetParameter(DescID(MOLOBJ_COLOR_SOURCE), GeData(MOLOBJ_COLOR_SOURCE_PRESET), DESCFLAGS_SET::NONE);
		op->SetParameter(DescID(MOLOBJ_ATOM_RADIUS_MODE), GeData(MOLOBJ_ATOM_RADIUS_MODE_VDW), DESCFLAGS_SET::NONE);
		fuzz::EvaluateCheckExport(doc);
	}
	else
	{
		BaseObject::Free(op);
	}
	BaseDocument::Free(doc);
	vh::ClearConsoleAndDialogs();
	return 0;
}
