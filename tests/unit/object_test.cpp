#include <map>

#include "fixture.h"
#include "vh/hyperfile.h"

namespace
{
using test::ExpectVector;

class MoleculeObject : public test::PluginTest
{
protected:
	void TearDown() override
	{
		for (BaseObject* op : objects)
			BaseObject::Free(op);
		test::PluginTest::TearDown();
	}
	BaseObject* Make()
	{
		BaseObject* op = NewObject();
		objects.push_back(op);
		return op;
	}
	static void PostSet(BaseObject* op, Int32 id)
	{
		DescID descId(DescLevel(id, DTYPE_LONG, 0));
		DescriptionPostSetValue msg;
		msg.descid = &descId;
		op->Message(MSG_DESCRIPTION_POSTSETPARAMETER, &msg);
	}
	static void Press(BaseObject* op, Int32 id)
	{
		DescriptionCommand dc;
		dc._descId = DescID(id);
		op->Message(MSG_DESCRIPTION_COMMAND, &dc);
	}
	std::vector<BaseObject*> objects;
};

TEST_F(MoleculeObject, NewContainerHoldsExactlyTheDefaults)
{
	BaseObject* op = Make();
	const BaseContainer* bc = op->GetDataInstance();
	const std::map<Int32, Int32> ints = {{MOLOBJ_DISPLAY_MODE, 0}, {MOLOBJ_ATOM_RADIUS_MODE, 3}, {MOLOBJ_COLOR_SOURCE, 0},
		{MOLOBJ_PRESET, 0}, {MOLOBJ_ATOM_SEGMENTS, 24}, {MOLOBJ_BOND_PROFILE_SUBDIV, 2}, {MOLOBJ_BOND_CAPS, 0},
		{MOLOBJ_MATERIAL_COUNT, 0}};
	const std::map<Int32, Float> floats = {{MOLOBJ_ATOM_SIZE, 25.0}, {MOLOBJ_ATOM_RADIUS_SCALE, 1.0},
		{MOLOBJ_POSITION_SCALE, 100.0}, {MOLOBJ_BOND_RADIUS, 3.0}, {MOLOBJ_BOND_DOUBLE_FACTOR, 2.0},
		{MOLOBJ_BOND_TRIPLE_FACTOR, 3.0}, {MOLOBJ_NUCLEUS_SIZE, 0.35}};
	const std::map<Int32, Vector> vectors = {{MOLOBJ_BOND_COLOR_SINGLE, Vector(1, 1, 1)},
		{MOLOBJ_BOND_COLOR_DOUBLE, Vector(0.5, 0.5, 1)}, {MOLOBJ_BOND_COLOR_TRIPLE, Vector(1, 0.5, 0.5)},
		{MOLOBJ_BOND_COLOR_AROMATIC, Vector(0.5, 1, 0.5)}, {MOLOBJ_NUCLEUS_COLOR, Vector(0, 0, 0.5)},
		{MOLOBJ_PRESET_COLOR_H, Vector(0.90, 0.84, 0.72)}, {MOLOBJ_PRESET_COLOR_C, Vector(0.10, 0.10, 0.09)},
		{MOLOBJ_PRESET_COLOR_O, Vector(0.89, 0.35, 0.15)}, {MOLOBJ_PRESET_COLOR_N, Vector(0.94, 0.65, 0.00)},
		{MOLOBJ_PRESET_COLOR_OTHER, Vector(0.80, 0.80, 0.80)}};
	for (const auto& [id, value] : ints)
	{
		EXPECT_EQ(bc->GetData(id).GetType(), DA_LONG) << id;
		EXPECT_EQ(bc->GetInt32(id, -99), value) << id;
	}
	for (const auto& [id, value] : floats)
	{
		EXPECT_EQ(bc->GetData(id).GetType(), DA_REAL) << id;
		EXPECT_DOUBLE_EQ(bc->GetFloat(id, -99.0), value) << id;
	}
	for (const auto& [id, value] : vectors)
	{
		EXPECT_EQ(bc->GetData(id).GetType(), DA_VECTOR) << id;
		ExpectVector(bc->GetVector(id, Vector(-9, -9, -9)), value, 0.0);
	}
	for (Int32 id : {MOLOBJ_XRAY, MOLOBJ_SHOW_NUCLEUS})
	{
		EXPECT_EQ(bc->GetData(id).GetType(), DA_LONG) << id;
		EXPECT_FALSE(bc->GetBool(id, true)) << id;
	}
	EXPECT_EQ(bc->GetCount(), Int32(ints.size() + floats.size() + vectors.size() + 2));
	EXPECT_EQ(bc->GetData(MOLOBJ_FILE).GetType(), DA_NIL);

	Vireltan* data = Data(op);
	EXPECT_EQ(data->presets.GetCount(), 6);
	EXPECT_EQ(data->elements.GetCount(), 118);
	EXPECT_EQ(data->atoms.GetCount(), 0);
	EXPECT_EQ(data->bonds.GetCount(), 0);
	EXPECT_EQ(data->materialCount, 0);
	EXPECT_TRUE(vh::Dialogs().empty());
}

TEST_F(MoleculeObject, EditedPresetColourReachesThePresetAndSurvivesSelection)
{
	BaseObject* op = Make();
	Vireltan* data = Data(op);
	BaseContainer* bc = op->GetDataInstance();
	bc->SetVector(MOLOBJ_PRESET_COLOR_C, Vector(0.2, 0.4, 0.6));
	EXPECT_EQ(data->Execute(op, nullptr, nullptr, EXECUTIONPRIORITY_GENERATOR, EXECUTIONFLAGS::NONE), EXECUTIONRESULT::OK);
	ExpectVector(data->presets[0].colourC, Vector(0.2, 0.4, 0.6), 0.0);

	bc->SetInt32(MOLOBJ_PRESET, 2);
	PostSet(op, MOLOBJ_PRESET);
	EXPECT_EQ(data->presetIndex, 2);
	ExpectVector(bc->GetVector(MOLOBJ_PRESET_COLOR_C), Vector(0.09, 0.09, 0.09), 0.0);
	bc->SetInt32(MOLOBJ_PRESET, 0);
	PostSet(op, MOLOBJ_PRESET);
	ExpectVector(bc->GetVector(MOLOBJ_PRESET_COLOR_C), Vector(0.2, 0.4, 0.6), 0.0);
}

TEST_F(MoleculeObject, ContainerSyncLeavesCountFileAndMoleculeAlone)
{
	BaseObject* op = Make();
	Vireltan* data = Data(op);
	BaseContainer* bc = op->GetDataInstance();
	ASSERT_FALSE(data->atoms.Append(AtomRecord{5, Vector(1, 2, 3)}).Failed());
	data->materialCount = 4;
	bc->SetFilename(MOLOBJ_FILE, Filename("/x/y.mol"));
	bc->SetFloat(MOLOBJ_ATOM_SIZE, 40.0);
	bc->SetInt32(MOLOBJ_DISPLAY_MODE, 2);
	bc->SetBool(MOLOBJ_XRAY, true);
	data->SyncContainerToCache(bc);
	EXPECT_EQ(data->materialCount, 4);
	EXPECT_EQ(data->atoms.GetCount(), 1);
	EXPECT_DOUBLE_EQ(data->atomSize, 40.0);
	EXPECT_EQ(data->displayMode, 2);
	EXPECT_TRUE(data->xray);
	EXPECT_TRUE(bc->GetFilename(MOLOBJ_FILE) == Filename("/x/y.mol"));

	// Absent parameters read as the defaults; absent preset colours leave the preset as it is.
	BaseContainer empty;
	data->presets[0].colourH = Vector(0.1, 0.2, 0.3);
	data->SyncContainerToCache(&empty);
	EXPECT_EQ(data->radiusMode, MOLOBJ_ATOM_RADIUS_MODE_UNIFORM);
	EXPECT_EQ(data->sphereSegments, 24);
	EXPECT_DOUBLE_EQ(data->positionScale, 100.0);
	ExpectVector(data->nucleusColour, Vector(0.0, 0.0, 0.5), 0.0);
	ExpectVector(data->presets[0].colourH, Vector(0.1, 0.2, 0.3), 0.0);
}

TEST_F(MoleculeObject, PresetIndexOutsideThePresetsReadsAndWritesNoColours)
{
	BaseObject* op = Make();
	Vireltan* data = Data(op);
	BaseContainer* bc = op->GetDataInstance();
	for (Int32 index : {6, -1, 1000000})
	{
		bc->SetInt32(MOLOBJ_PRESET, index);
		bc->SetVector(MOLOBJ_PRESET_COLOR_H, Vector(9, 9, 9));
		data->SyncContainerToCache(bc);
		EXPECT_EQ(data->presetIndex, index);
		data->SyncCacheToContainer(bc);
		ExpectVector(bc->GetVector(MOLOBJ_PRESET_COLOR_H), Vector(9, 9, 9), 0.0);
		PostSet(op, MOLOBJ_PRESET);
		ExpectVector(bc->GetVector(MOLOBJ_PRESET_COLOR_H), Vector(9, 9, 9), 0.0);
	}
	ASSERT_EQ(data->presets.GetCount(), 6);
	ExpectVector(data->presets[5].colourH, Vector(0.84, 0.94, 0.66), 0.0);
	data->presets.Flush();
	bc->SetInt32(MOLOBJ_PRESET, 0);
	data->SyncContainerToCache(bc);
	data->SyncCacheToContainer(bc);
	EXPECT_EQ(data->presets.GetCount(), 0);
}

TEST_F(MoleculeObject, MissingElementFileFailsInitWithTheMessageOnce)
{
	test::Detach();
	test::TempPluginFolder folder;
	ASSERT_EQ(std::remove((folder.Path() + "/res/ptable.csv").c_str()), 0);
	ASSERT_TRUE(test::Attach(folder.Path()));
	for (Int32 attempt = 0; attempt < 2; ++attempt)
	{
		vh::ClearConsoleAndDialogs();
		Bool ok = true;
		BaseObject* op = vh::AllocPluginObject(ID_VIRELTAN, &ok);
		ASSERT_NE(op, nullptr);
		objects.push_back(op);
		EXPECT_FALSE(ok);
		ASSERT_EQ(vh::Dialogs().size(), 1u);
		EXPECT_EQ(vh::Dialogs()[0].text,
			"Vireltan could not find or open the file 'ptable.csv', which contains the data for the chemical elements. "
			"Please check that this file is correctly named and present in the 'res' folder.\n\nThe plugin will now "
			"terminate.");
		EXPECT_EQ(vh::Dialogs()[0].flags, Int64(GEMB::OK | GEMB::ICONEXCLAMATION));
		// The defaults were written before the table was read.
		EXPECT_DOUBLE_EQ(op->GetDataInstance()->GetFloat(MOLOBJ_POSITION_SCALE), 100.0);
		EXPECT_EQ(Data(op)->presets.GetCount(), 6);
	}
}

TEST_F(MoleculeObject, CreationWithoutMemoryGivesNoObject)
{
	vh::FailAllocations(vh::AllocKind::MEMORY, 0, 1);
	Bool ok = true;
	EXPECT_EQ(vh::AllocPluginObject(ID_VIRELTAN, &ok), nullptr);
}

HyperFile* OpenBuffer(std::vector<unsigned char>* buffer, Bool write)
{
	return vh::OpenMemoryHyperFile(buffer, write);
}

void CloseBuffer(HyperFile* hf)
{
	hf->Close();
	HyperFile::Free(hf);
}

TEST_F(MoleculeObject, SceneBlockRoundTripKeepsPresetsInOrder)
{
	BaseObject* source = Make();
	Vireltan* data = Data(source);
	data->presets[4].colourN = Vector(0.25, 0.5, 0.75);
	std::vector<unsigned char> buffer;
	HyperFile* out = OpenBuffer(&buffer, true);
	ASSERT_NE(out, nullptr);
	EXPECT_TRUE(data->Write(source, out));
	CloseBuffer(out);

	BaseObject* target = Make();
	HyperFile* in = OpenBuffer(&buffer, false);
	ASSERT_NE(in, nullptr);
	// The container read with the block selects a preset: its colours are the ones shown.
	target->GetDataInstance()->SetInt32(MOLOBJ_PRESET, MOLOBJ_PRESET_SLATE);
	EXPECT_TRUE(Data(target)->Read(target, in, 0));
	CloseBuffer(in);
	EXPECT_EQ(Data(target)->presetIndex, MOLOBJ_PRESET_SLATE);
	ASSERT_EQ(Data(target)->presets.GetCount(), 6);
	for (Int i = 0; i < 6; ++i)
	{
		const ColourPreset& a = data->presets[i];
		const ColourPreset& b = Data(target)->presets[i];
		EXPECT_EQ(std::memcmp(&a, &b, sizeof(ColourPreset)), 0) << i;
	}
}

// Writes a block by hand: a count and then the given number of colours.
std::vector<unsigned char> Block(Int32 count, Int32 colours)
{
	std::vector<unsigned char> buffer;
	HyperFile* hf = vh::OpenMemoryHyperFile(&buffer, true);
	EXPECT_TRUE(hf->WriteInt32(count));
	for (Int32 i = 0; i < colours; ++i)
		EXPECT_TRUE(hf->WriteVector(Vector(i, i, i)));
	CloseBuffer(hf);
	return buffer;
}

TEST_F(MoleculeObject, DamagedSceneBlocksKeepWhatCouldBeRead)
{
	BaseObject* op = Make();
	Vireltan* data = Data(op);
	struct Case
	{
		Int32 count;
		Int32 colours;
		Int expected;
	};
	// Huge or negative counts, a block that ends early, N = 0, and a well-formed block.
	for (const Case& c : {Case{2000000000, 12, 2}, Case{-5, 10, 0}, Case{3, 7, 1}, Case{0, 0, 0}, Case{2, 10, 2}})
	{
		std::vector<unsigned char> buffer = Block(c.count, c.colours);
		HyperFile* in = OpenBuffer(&buffer, false);
		EXPECT_TRUE(data->Read(op, in, 0));
		CloseBuffer(in);
		ASSERT_EQ(data->presets.GetCount(), c.expected) << c.count;
		if (c.expected > 1)
			ExpectVector(data->presets[1].colourOther, Vector(9, 9, 9), 0.0);
	}
	// A negative level reads nothing and leaves no presets.
	std::vector<unsigned char> buffer = Block(1, 5);
	HyperFile* in = OpenBuffer(&buffer, false);
	EXPECT_TRUE(data->Read(op, in, -1));
	CloseBuffer(in);
	EXPECT_EQ(data->presets.GetCount(), 0);
}

TEST_F(MoleculeObject, SavedSceneGivesBackThePresets)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* op = NewObject();
	doc->InsertObject(op, nullptr, nullptr);
	Data(op)->presets[2].colourH = Vector(0.1, 0.2, 0.3);
	Data(op)->presets.Pop();
	const std::string path = "/tmp/vireltan-presets-" + std::to_string(getpid()) + ".scene";
	ASSERT_TRUE(vh::SaveDocument(doc, Filename(vh::FromUtf8(path))));
	BaseDocument::Free(doc);

	BaseDocument* loaded = vh::LoadDocument(Filename(vh::FromUtf8(path)));
	std::remove(path.c_str());
	ASSERT_NE(loaded, nullptr);
	BaseObject* back = loaded->GetFirstObject();
	ASSERT_NE(back, nullptr);
	ASSERT_EQ(back->GetType(), ID_VIRELTAN);
	Vireltan* data = Data(back);
	ASSERT_EQ(data->presets.GetCount(), 5);
	ExpectVector(data->presets[2].colourH, Vector(0.1, 0.2, 0.3), 0.0);
	ExpectVector(data->presets[4].colourH, Vector(0.70, 0.64, 1.00), 0.0);
	EXPECT_EQ(data->elements.GetCount(), 118);
	BaseDocument::Free(loaded);
}

TEST_F(MoleculeObject, CopyShowsTheSameMoleculeWithoutReadingTheFile)
{
	BaseObject* op = Make();
	Vireltan* data = Data(op);
	test::TempPluginFolder folder(false);
	ASSERT_EQ(std::system(("cp '" + test::DataPath("sdf/ring6.mol") + "' '" + folder.Path() + "/m.mol'").c_str()), 0);
	op->GetDataInstance()->SetFilename(MOLOBJ_FILE, Filename(vh::FromUtf8(folder.Path() + "/m.mol")));
	Press(op, MOLOBJ_LOAD);
	ASSERT_EQ(data->atoms.GetCount(), 6);
	ASSERT_EQ(std::remove((folder.Path() + "/m.mol").c_str()), 0);
	data->presets[1].colourC = Vector(0.5, 0.25, 0.125);
	data->materialCount = 2;

	BaseObject* copy = vh::CloneObject(op);
	ASSERT_NE(copy, nullptr);
	objects.push_back(copy);
	Vireltan* copied = Data(copy);
	ASSERT_NE(copied, data);
	ASSERT_EQ(copied->atoms.GetCount(), 6);
	ASSERT_EQ(copied->bonds.GetCount(), 6);
	ExpectVector(copied->atoms[3].position, data->atoms[3].position, 0.0);
	EXPECT_EQ(copied->elements.GetCount(), 118);
	EXPECT_TRUE(copied->elements[16].symbol == "Cl");
	ExpectVector(copied->presets[1].colourC, Vector(0.5, 0.25, 0.125), 0.0);
	EXPECT_EQ(copied->materialCount, 2);
	EXPECT_TRUE(vh::Dialogs().empty());
	// The copies are independent.
	data->atoms.Flush();
	EXPECT_EQ(copied->atoms.GetCount(), 6);
	// Copying onto itself changes nothing.
	EXPECT_TRUE(copied->CopyTo(copied, copy, copy, COPYFLAGS::NONE, nullptr));
	EXPECT_EQ(copied->atoms.GetCount(), 6);
}

TEST_F(MoleculeObject, CopyThatCannotBeSizedLeavesThatArrayEmpty)
{
	BaseObject* op = Make();
	Vireltan* data = Data(op);
	ASSERT_FALSE(data->atoms.Append(AtomRecord{0, Vector()}).Failed());
	ASSERT_FALSE(data->bonds.Append(BondRecord{1, 1, 1}).Failed());
	Vireltan target;
	vh::FailAllocations(vh::AllocKind::MEMORY, 0, 1);
	EXPECT_TRUE(data->CopyTo(&target, op, op, COPYFLAGS::NONE, nullptr));
	vh::ResetAllocationFailures();
	EXPECT_EQ(target.atoms.GetCount(), 0);
	EXPECT_EQ(target.bonds.GetCount(), 1);
	EXPECT_EQ(target.presets.GetCount(), 6);
}

TEST_F(MoleculeObject, FreeEmptiesTheLoadedData)
{
	BaseObject* op = Make();
	Vireltan* data = Data(op);
	ASSERT_FALSE(data->atoms.Append(AtomRecord{0, Vector()}).Failed());
	ASSERT_FALSE(data->materialAssignments.Append(MaterialAssignment{nullptr, 5, 0, 0, 0, 1, 1}).Failed());
	String shared = data->elements[0].symbol;
	const Int before = shared.GetReferenceCount();
	data->Free(op);
	EXPECT_EQ(data->elements.GetCount(), 0);
	EXPECT_EQ(data->atoms.GetCount(), 0);
	EXPECT_EQ(data->presets.GetCount(), 0);
	EXPECT_EQ(data->materialAssignments.GetCount(), 1);
	EXPECT_EQ(shared.GetReferenceCount(), before - 1);
}
TEST_F(MoleculeObject, RestoreYesWritesTheWholeCacheAfterTakingInTheContainer)
{
	BaseObject* op = Make();
	BaseContainer* bc = op->GetDataInstance();
	const Int32 staticIds[] = {MOLOBJ_DISPLAY_MODE, MOLOBJ_ATOM_RADIUS_MODE, MOLOBJ_COLOR_SOURCE, MOLOBJ_ATOM_SEGMENTS,
		MOLOBJ_BOND_PROFILE_SUBDIV, MOLOBJ_BOND_CAPS, MOLOBJ_ATOM_SIZE, MOLOBJ_ATOM_RADIUS_SCALE, MOLOBJ_POSITION_SCALE,
		MOLOBJ_BOND_RADIUS, MOLOBJ_BOND_DOUBLE_FACTOR, MOLOBJ_BOND_TRIPLE_FACTOR, MOLOBJ_NUCLEUS_SIZE, MOLOBJ_XRAY,
		MOLOBJ_SHOW_NUCLEUS, MOLOBJ_BOND_COLOR_SINGLE, MOLOBJ_BOND_COLOR_DOUBLE, MOLOBJ_BOND_COLOR_TRIPLE,
		MOLOBJ_BOND_COLOR_AROMATIC, MOLOBJ_NUCLEUS_COLOR};
	std::map<Int32, Int32> types;
	for (Int32 id : staticIds)
	{
		types[id] = bc->GetData(id).GetType();
		bc->RemoveData(id);
	}
	// Set since the last execution pass: a value, the selected preset and an edited colour.
	bc->SetFloat(MOLOBJ_ATOM_SIZE, 40.0);
	bc->SetInt32(MOLOBJ_PRESET, 1);
	bc->SetVector(MOLOBJ_PRESET_COLOR_H, Vector(0.5, 0.5, 0.5));
	Data(op)->presets[0].colourC = Vector(0.25, 0.25, 0.25);
	vh::SetQuestionAnswer(GEMB_R::V_YES);
	Press(op, MOLOBJ_PRESET_RESTORE);
	ASSERT_EQ(vh::Dialogs().size(), 1u);
	EXPECT_TRUE(vh::Dialogs()[0].question);
	for (Int32 id : staticIds)
		EXPECT_EQ(bc->GetData(id).GetType(), types[id]) << id;
	EXPECT_DOUBLE_EQ(bc->GetFloat(MOLOBJ_ATOM_SIZE), 40.0);
	// A parameter the container lacked takes its default, inside the range the panel allows.
	EXPECT_EQ(bc->GetInt32(MOLOBJ_ATOM_SEGMENTS, -1), 24);
	EXPECT_DOUBLE_EQ(bc->GetFloat(MOLOBJ_POSITION_SCALE, -1.0), 100.0);
	EXPECT_EQ(bc->GetInt32(MOLOBJ_PRESET), 1);
	ExpectVector(bc->GetVector(MOLOBJ_PRESET_COLOR_H), Vector(0.96, 0.94, 0.90), 0.0);
	ExpectVector(Data(op)->presets[1].colourH, Vector(0.96, 0.94, 0.90), 0.0);
	ExpectVector(Data(op)->presets[0].colourC, Vector(0.25, 0.25, 0.25), 0.0);
}

TEST_F(MoleculeObject, PresetSwitchKeepsAColourEditedSinceTheLastPass)
{
	BaseObject* op = Make();
	BaseContainer* bc = op->GetDataInstance();
	bc->SetVector(MOLOBJ_PRESET_COLOR_N, Vector(0.1, 0.7, 0.3));
	bc->SetInt32(MOLOBJ_PRESET, 4);
	PostSet(op, MOLOBJ_PRESET);
	ExpectVector(bc->GetVector(MOLOBJ_PRESET_COLOR_N), Vector(1.00, 0.87, 0.71), 0.0);
	ExpectVector(Data(op)->presets[0].colourN, Vector(0.1, 0.7, 0.3), 0.0);
	bc->SetInt32(MOLOBJ_PRESET, 0);
	PostSet(op, MOLOBJ_PRESET);
	ExpectVector(bc->GetVector(MOLOBJ_PRESET_COLOR_N), Vector(0.1, 0.7, 0.3), 0.0);
	ExpectVector(Data(op)->presets[4].colourN, Vector(1.00, 0.87, 0.71), 0.0);
}

// The shown colours belong to the preset the container selects, also in an object opened from a
// scene or copied and not evaluated since: switching presets keeps every preset's colours.
TEST_F(MoleculeObject, PresetSwitchAfterOpenOrCopyKeepsEveryPreset)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* op = NewObject();
	doc->InsertObject(op, nullptr, nullptr);
	BaseContainer* bc = op->GetDataInstance();
	bc->SetInt32(MOLOBJ_COLOR_SOURCE, MOLOBJ_COLOR_SOURCE_PRESET);
	PostSet(op, MOLOBJ_COLOR_SOURCE);
	bc->SetInt32(MOLOBJ_PRESET, MOLOBJ_PRESET_VIVID);
	PostSet(op, MOLOBJ_PRESET);
	// Edited in the panel, not yet taken in by an execution pass.
	bc->SetVector(MOLOBJ_PRESET_COLOR_H, Vector(0.5, 0.5, 0.5));
	testfiles::TempDir folder;
	const Filename scene(vh::FromUtf8(folder.File("presets.scene")));
	ASSERT_TRUE(vh::SaveDocument(doc, scene));
	BaseObject* copy = vh::CloneObject(op);
	ASSERT_NE(copy, nullptr);
	objects.push_back(copy);
	BaseDocument::Free(doc);
	BaseDocument* loaded = vh::LoadDocument(scene);
	ASSERT_NE(loaded, nullptr);

	for (BaseObject* object : {loaded->GetFirstObject(), copy})
	{
		ASSERT_NE(object, nullptr);
		object->GetDataInstance()->SetInt32(MOLOBJ_PRESET, MOLOBJ_PRESET_PASTEL);
		PostSet(object, MOLOBJ_PRESET);
		const Vireltan* data = Data(object);
		ExpectVector(data->presets[MOLOBJ_PRESET_AMBER].colourH, Vector(0.90, 0.84, 0.72), 0.0);
		ExpectVector(data->presets[MOLOBJ_PRESET_AMBER].colourC, Vector(0.10, 0.10, 0.09), 0.0);
		ExpectVector(data->presets[MOLOBJ_PRESET_VIVID].colourH, Vector(0.5, 0.5, 0.5), 0.0);
		ExpectVector(data->presets[MOLOBJ_PRESET_VIVID].colourC, Vector(0.08, 0.11, 0.23), 0.0);
		ExpectVector(object->GetDataInstance()->GetVector(MOLOBJ_PRESET_COLOR_H), Vector(0.70, 0.64, 1.00), 0.0);
	}
	BaseDocument::Free(loaded);

	// The document event after opening takes the selection too, in whatever order a host reads.
	BaseObject* opened = Make();
	opened->GetDataInstance()->SetInt32(MOLOBJ_PRESET, MOLOBJ_PRESET_ICE);
	DocumentInfoData info;
	info.type = MSG_DOCUMENTINFO_TYPE_LOAD;
	opened->Message(MSG_DOCUMENTINFO, &info);
	EXPECT_EQ(Data(opened)->presetIndex, MOLOBJ_PRESET_ICE);
}

TEST_F(MoleculeObject, RemovedGroupLosesItsTracksSymbolAndLinkAndKeepsTheRest)
{
	BaseObject* op = Make();
	BaseContainer* bc = op->GetDataInstance();
	BaseDocument* doc = BaseDocument::Alloc();
	BaseMaterial* material = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(material);
	for (Int32 i = 0; i < 3; ++i)
		Press(op, MOLOBJ_MATERIAL_ADD);
	for (Int32 group : {1, 2})
	{
		bc->SetString(MaterialGroupId(group, MOLOBJ_MAT_SYMBOL), "C"_s);
		bc->SetLink(MaterialGroupId(group, MOLOBJ_MAT_LINK), material);
		bc->SetBool(MaterialGroupId(group, MOLOBJ_MAT_INITIALISED), true);
		bc->SetFloat(MaterialGroupId(group, MOLOBJ_MAT_OFFSET_U), 0.5);
		bc->SetFloat(MaterialGroupId(group, MOLOBJ_MAT_TILES_V), 3.0);
		bc->SetBool(MaterialGroupId(group, MOLOBJ_MAT_USE), false);
		bc->SetInt32(MaterialGroupId(group, MOLOBJ_MAT_PROJECTION), 2);
		ASSERT_NE(CTrack::Alloc(op, DescID(MaterialGroupId(group, MOLOBJ_MAT_SYMBOL))), nullptr);
		ASSERT_NE(CTrack::Alloc(op, DescID(MaterialGroupId(group, MOLOBJ_MAT_LINK))), nullptr);
	}
	Press(op, MOLOBJ_MATERIAL_REMOVE);
	EXPECT_EQ(Data(op)->materialCount, 2);
	EXPECT_EQ(bc->GetInt32(MOLOBJ_MATERIAL_COUNT), 2);
	EXPECT_EQ(op->FindCTrack(DescID(15065)), nullptr);
	EXPECT_EQ(op->FindCTrack(DescID(15064)), nullptr);
	EXPECT_NE(op->FindCTrack(DescID(15045)), nullptr);
	EXPECT_NE(op->FindCTrack(DescID(15044)), nullptr);
	// Group 2 (15061..15071) loses symbol, link and its initialised mark; the rest stays.
	EXPECT_TRUE(bc->GetString(15065).IsEmpty());
	EXPECT_EQ(bc->GetLink(15064, doc), nullptr);
	EXPECT_FALSE(bc->GetBool(15063, true));
	EXPECT_DOUBLE_EQ(bc->GetFloat(15066), 0.5);
	EXPECT_DOUBLE_EQ(bc->GetFloat(15069), 3.0);
	EXPECT_FALSE(bc->GetBool(15070, true));
	EXPECT_EQ(bc->GetInt32(15071), 2);
	EXPECT_TRUE(bc->GetString(15045) == "C");
	EXPECT_EQ(bc->GetLink(15044, doc), material);
	BaseDocument::Free(doc);
}

TEST_F(MoleculeObject, GroupCountsOutsideTheIdsAreHeldInEveryPath)
{
	BaseObject* op = Make();
	Vireltan* data = Data(op);
	BaseContainer* bc = op->GetDataInstance();
	for (Int32 stored : {250, 251, 100000})
	{
		// A count from a scene file or a script, then the panel built and "remove" pressed.
		bc->SetInt32(MOLOBJ_MATERIAL_COUNT, stored);
		Description* d = Description::Alloc();
		DESCFLAGS_DESC flags = DESCFLAGS_DESC::NONE;
		data->GetDDescription(op, d, flags);
		Description::Free(d);
		EXPECT_EQ(data->materialCount, MOLOBJ_MAT_GROUP_LIMIT);
		EXPECT_EQ(bc->GetInt32(MOLOBJ_MATERIAL_COUNT), MOLOBJ_MAT_GROUP_LIMIT);
		Press(op, MOLOBJ_MATERIAL_REMOVE);
		EXPECT_EQ(bc->GetInt32(MOLOBJ_MATERIAL_COUNT), MOLOBJ_MAT_GROUP_LIMIT - 1);
		// "Add" fills the last free group, then does nothing.
		Press(op, MOLOBJ_MATERIAL_ADD);
		Press(op, MOLOBJ_MATERIAL_ADD);
		EXPECT_EQ(bc->GetInt32(MOLOBJ_MATERIAL_COUNT), MOLOBJ_MAT_GROUP_LIMIT);

		// The same through the document event, without a panel.
		bc->SetInt32(MOLOBJ_MATERIAL_COUNT, stored);
		DocumentInfoData info;
		info.type = MSG_DOCUMENTINFO_TYPE_LOAD;
		op->Message(MSG_DOCUMENTINFO, &info);
		EXPECT_EQ(data->materialCount, MOLOBJ_MAT_GROUP_LIMIT);
		data->materialCount = stored;
		Press(op, MOLOBJ_MATERIAL_REMOVE);
		EXPECT_EQ(data->materialCount, MOLOBJ_MAT_GROUP_LIMIT - 1);
	}
	// A copy holds the same count.
	data->materialCount = 100000;
	BaseObject* copy = vh::CloneObject(op);
	ASSERT_NE(copy, nullptr);
	objects.push_back(copy);
	EXPECT_EQ(Data(copy)->materialCount, MOLOBJ_MAT_GROUP_LIMIT);
	data->materialCount = MOLOBJ_MAT_GROUP_LIMIT;

	// Static parameters from 20000 on are untouched.
	EXPECT_DOUBLE_EQ(bc->GetFloat(MOLOBJ_ATOM_SIZE), 25.0);
	EXPECT_EQ(bc->GetInt32(MOLOBJ_ATOM_SEGMENTS), 24);
	EXPECT_EQ(bc->GetData(MOLOBJ_XRAY).GetType(), DA_LONG);
	EXPECT_DOUBLE_EQ(bc->GetFloat(MOLOBJ_ATOM_RADIUS_SCALE), 1.0);
	EXPECT_EQ(bc->GetInt32(MOLOBJ_DISPLAY_MODE, -1), 0);

	// A negative count acts as none.
	bc->SetInt32(MOLOBJ_MATERIAL_COUNT, -3);
	Description* d = Description::Alloc();
	DESCFLAGS_DESC flags = DESCFLAGS_DESC::NONE;
	data->GetDDescription(op, d, flags);
	Description::Free(d);
	EXPECT_EQ(data->materialCount, 0);
	EXPECT_EQ(bc->GetInt32(MOLOBJ_MATERIAL_COUNT), 0);
	data->materialCount = -3;
	Press(op, MOLOBJ_MATERIAL_REMOVE);
	EXPECT_EQ(data->materialCount, 0);
	Press(op, MOLOBJ_MATERIAL_ADD);
	EXPECT_EQ(bc->GetInt32(MOLOBJ_MATERIAL_COUNT), 1);
	data->materialCount = -3;
	data->BuildMaterialAssignments(bc, nullptr);
	EXPECT_EQ(data->materialAssignments.GetCount(), 0);
}
} // namespace
