// Molecule files: any bytes through the SDF/MOL reader into a molecule object, whose read model is
// checked, which is then evaluated at the default and at the largest position scale, checked and
// exported.
#include <cstdint>

#include "harness.h"
#include "molecule.h"
#include "sdfloader.h"
#include "vh/host.h"
#include "vireltan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	fuzz::AttachPlugin(fuzz::SourceDir(), true);
	static fuzz::MemoryFile input;
	input.Set(data, size);

	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* op = vh::AllocPluginObject(ID_VIRELTAN);
	if (doc && op)
	{
		doc->InsertObject(op, nullptr, nullptr);
		fuzz::CoarseGeometry(op);
		Vireltan* v = molecule::Data(op);
		if (!v)
			fuzz::SetupFailed("the registered object is no molecule object");
		// The object's own load picks the reader by the file's suffix, which a memory file lacks.
		SDFLoader loader;
		loader.LoadFile(op, Filename(vh::FromUtf8(input.Path())), v->elements, v->atoms, v->bonds);
		fuzz::CheckReadModel(v->elements, v->atoms, v->bonds, fuzz::ExpectedBondNumbers(data, size));
		op->SetDirty(DIRTYFLAGS::DATA);
		fuzz::EvaluateCheckExport(doc);
		op->SetParameter(DescID(MOLOBJ_POSITION_SCALE), GeData(100000.0), DESCFLAGS_SET::NONE);
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
