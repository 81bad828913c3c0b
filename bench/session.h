// The plug-in started as the host starts it, a document holding one molecule object, and the
// molecules the benchmarks read.
#pragma once

#include <string>

#include "c4d.h"
#include "molecule.h"
#include "vh/host.h"
#include "vireltan.h"

struct Session
{
	Session()
	{
		vh::SetEcho(false);
		Filename location(vh::FromUtf8(std::string(VIRELTAN_SOURCE_DIR) + "/vireltan.xso64"));
		c4d_main(C4DPL_INIT_SYS, vh::HostFunctionTable(), nullptr, &location);
		c4d_main(C4DPL_MESSAGE, reinterpret_cast<void*>(Int(C4DPL_INIT_SYS)), nullptr, nullptr);
		c4d_main(C4DPL_INIT, nullptr, nullptr, nullptr);
		doc = BaseDocument::Alloc();
		op = vh::AllocPluginObject(ID_VIRELTAN);
		doc->InsertObject(op, nullptr, nullptr);
	}
	~Session()
	{
		BaseDocument::Free(doc);
		c4d_main(C4DPL_END, nullptr, nullptr, nullptr);
		vh::UnregisterAllPlugins();
	}
	Session(const Session&) = delete;
	Session& operator=(const Session&) = delete;
	Vireltan* Data() const { return molecule::Data(op); }

	// Presses a button of the object as the attribute panel does.
	void Press(Int32 id)
	{
		DescriptionCommand dc;
		dc._descId = DescID(DescLevel(id, DTYPE_BUTTON, 0));
		op->Message(MSG_DESCRIPTION_COMMAND, &dc);
	}

	// Reads a molecule file into the object, as the Load button does.
	void Load(const std::string& file)
	{
		op->GetDataInstance()->SetFilename(MOLOBJ_FILE, Filename(vh::FromUtf8(file)));
		Press(MOLOBJ_LOAD);
	}

	// Adds a material group for symbol with a new document material, as the attribute panel does.
	void AddMaterialGroup(const std::string& symbol)
	{
		BaseMaterial* mat = BaseMaterial::Alloc(Mmaterial);
		if (!mat)
			return;
		mat->SetName(vh::FromUtf8(symbol + " material"));
		doc->InsertMaterial(mat);
		BaseContainer* bc = op->GetDataInstance();
		const Int32 group = bc->GetInt32(MOLOBJ_MATERIAL_COUNT);
		Press(MOLOBJ_MATERIAL_ADD);
		// The panel shows the object after a command; that gives the new group its defaults.
		if (Description* d = Description::Alloc())
		{
			DESCFLAGS_DESC flags = DESCFLAGS_DESC::NONE;
			op->GetNodeData()->GetDDescription(op, d, flags);
			Description::Free(d);
		}
		bc->SetString(MaterialGroupId(group, MOLOBJ_MAT_SYMBOL), vh::FromUtf8(symbol));
		bc->SetLink(MaterialGroupId(group, MOLOBJ_MAT_LINK), mat);
		op->SetDirty(DIRTYFLAGS::DATA);
	}

	BaseDocument* doc = nullptr;
	BaseObject* op = nullptr;
};

// The 999-atom, 999-bond record (tools/make_bench_molecule.py) and the largest example.
inline std::string BenchRecord() { return std::string(VIRELTAN_SOURCE_DIR) + "/bench/data/procaine27.sdf"; }
inline std::string LargestExample() { return std::string(VIRELTAN_SOURCE_DIR) + "/examples/protein_g_b1.sdf"; }
