#include <cmath>
#include <limits>

#include "fixture.h"
#include "vh/gltf.h"

namespace
{
using test::ExpectVector;

class Builder : public test::PluginTest
{
protected:
	void SetUp() override
	{
		test::PluginTest::SetUp();
		doc = BaseDocument::Alloc();
		ASSERT_NE(doc, nullptr);
		op = NewObject();
		doc->InsertObject(op, nullptr, nullptr);
		bc = op->GetDataInstance();
	}
	void TearDown() override
	{
		BaseDocument::Free(doc);
		test::PluginTest::TearDown();
	}
	void Load(const std::string& file)
	{
		bc->SetFilename(MOLOBJ_FILE, Filename(vh::FromUtf8(test::DataPath(file))));
		DescriptionCommand dc;
		dc._descId = DescID(MOLOBJ_LOAD);
		op->Message(MSG_DESCRIPTION_COMMAND, &dc);
	}
	// Sets a parameter as the attribute panel does, which marks the data dirty.
	void Set(Int32 id, const GeData& value) { op->SetParameter(DescID(id), value, DESCFLAGS_SET::NONE); }
	BaseObject* Evaluate()
	{
		vh::EvaluateDocument(doc);
		return op->GetCache();
	}
	static std::vector<BaseObject*> Children(BaseObject* parent)
	{
		std::vector<BaseObject*> list;
		for (BaseObject* c = parent ? parent->GetDown() : nullptr; c; c = c->GetNext())
			list.push_back(c);
		return list;
	}
	static std::vector<Int32> TagTypes(BaseObject* obj)
	{
		std::vector<Int32> types;
		for (BaseTag* t = obj->GetFirstTag(); t; t = t->GetNext())
			types.push_back(t->GetType());
		return types;
	}
	static ObjectColorProperties Colour(BaseObject* obj)
	{
		ObjectColorProperties p;
		obj->GetColorProperties(&p);
		return p;
	}
	static std::string Name(BaseObject* obj) { return vh::ToUtf8(obj->GetName()); }
	BaseMaterial* AddMaterial(const char* name)
	{
		BaseMaterial* mat = BaseMaterial::Alloc(Mmaterial);
		mat->SetName(String(name));
		doc->InsertMaterial(mat);
		return mat;
	}
	void AddGroup(const char* symbol, BaseMaterial* mat, Bool use = true)
	{
		const Int32 i = Data(op)->materialCount;
		DescriptionCommand dc;
		dc._descId = DescID(MOLOBJ_MATERIAL_ADD);
		op->Message(MSG_DESCRIPTION_COMMAND, &dc);
		Description* d = Description::Alloc();
		DESCFLAGS_DESC flags = DESCFLAGS_DESC::NONE;
		Data(op)->GetDDescription(op, d, flags);
		Description::Free(d);
		bc->SetString(MaterialGroupId(i, MOLOBJ_MAT_SYMBOL), String(symbol));
		bc->SetLink(MaterialGroupId(i, MOLOBJ_MAT_LINK), mat);
		bc->SetBool(MaterialGroupId(i, MOLOBJ_MAT_USE), use);
		op->SetDirty(DIRTYFLAGS::DATA);
	}
	// Saves the document into folder and opens it again, as a user reopening the scene; the
	// reopened document's first object, or nullptr.
	BaseObject* Reopen(const testfiles::TempDir& folder, BaseDocument** reopened)
	{
		const Filename scene(vh::FromUtf8(folder.File("reopened.scene")));
		EXPECT_TRUE(vh::SaveDocument(doc, scene));
		*reopened = vh::LoadDocument(scene);
		return *reopened ? (*reopened)->GetFirstObject() : nullptr;
	}
	// Puts the atoms (carbon) and bonds into the model as a reader would and marks the data dirty.
	void SetMolecule(std::initializer_list<Vector> positions, std::initializer_list<BondRecord> bondList)
	{
		Vireltan* data = Data(op);
		data->atoms.Flush();
		data->bonds.Flush();
		for (const Vector& p : positions)
			ASSERT_FALSE(data->atoms.Append(AtomRecord{5, p}).Failed());
		for (const BondRecord& b : bondList)
			ASSERT_FALSE(data->bonds.Append(b).Failed());
		op->SetDirty(DIRTYFLAGS::DATA);
	}
	// Every place and every point of the generated hierarchy is a finite number.
	static void ExpectFinite(BaseObject* parent)
	{
		for (BaseObject* c = parent->GetDown(); c; c = c->GetNext())
		{
			const Vector p = c->GetRelPos();
			EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << Name(c);
			if (c->GetType() == Opolygon || c->GetType() == Ospline)
			{
				const PointObject* points = static_cast<PointObject*>(c);
				for (Int32 i = 0; i < points->GetPointCount(); ++i)
				{
					const Vector q = points->GetPointR()[i];
					EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z)) << Name(c) << " point " << i;
				}
			}
			ExpectFinite(c);
		}
	}
	static Vector ElementColour(Int32 rgb)
	{
		return Vector(((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
	}

	BaseDocument* doc = nullptr;
	BaseObject* op = nullptr;
	BaseContainer* bc = nullptr;
};

TEST_F(Builder, NoMoleculeGivesAnEmptyRoot)
{
	BaseObject* root = Evaluate();
	ASSERT_NE(root, nullptr);
	EXPECT_EQ(root->GetType(), Onull);
	EXPECT_TRUE(Children(root).empty());
	EXPECT_TRUE(TagTypes(root).empty());
}

TEST_F(Builder, RingWithDefaults)
{
	Load("sdf/ring6.mol");
	BaseObject* root = Evaluate();
	ASSERT_NE(root, nullptr);
	ExpectVector(root->GetRelPos(), Vector(), 0.0);
	std::vector<BaseObject*> children = Children(root);
	ASSERT_EQ(children.size(), 12u);
	// Bounding box of the hexagon: x in [-1.39, 1.39], y in [-1.2038, 1.2038].
	const Vector expectedFirst(139.0, 0.0, 0.0);
	ExpectVector(children[0]->GetRelPos(), expectedFirst, 1e-9);
	for (Int i = 0; i < 6; ++i)
	{
		BaseObject* atom = children[i];
		EXPECT_EQ(atom->GetType(), Opolygon);
		EXPECT_EQ(Name(atom), "C");
		vh::PrimitiveInfo info = vh::GetPrimitiveInfo(atom);
		EXPECT_EQ(info.type, Osphere);
		EXPECT_DOUBLE_EQ(info.radius, 25.0);
		EXPECT_EQ(info.segments, 24);
		EXPECT_EQ(TagTypes(atom), std::vector<Int32>{Tphong});
		ASSERT_TRUE(vh::HasColorProperties(atom));
		ObjectColorProperties c = Colour(atom);
		EXPECT_EQ(c.usecolor, 1);
		ExpectVector(c.color, ElementColour(0x909090));
		EXPECT_FALSE(c.xray);
		const Float distance = std::sqrt(atom->GetRelPos().x * atom->GetRelPos().x + atom->GetRelPos().y * atom->GetRelPos().y);
		// Coordinates carry four decimals in the file.
		EXPECT_NEAR(distance, 139.0, 0.01);
	}
	for (Int i = 6; i < 12; ++i)
	{
		BaseObject* sweep = children[i];
		EXPECT_EQ(sweep->GetType(), Osweep);
		EXPECT_EQ(TagTypes(sweep), std::vector<Int32>{Tphong});
		ObjectColorProperties c = Colour(sweep);
		EXPECT_EQ(c.usecolor, 1);
		ExpectVector(c.color, Vector(1, 1, 1), 0.0);
		GeData caps;
		sweep->GetParameter(DescID(2999), caps, DESCFLAGS_GET::NONE);
		EXPECT_EQ(caps.GetType(), DA_LONG);
		EXPECT_EQ(caps.GetInt32(), 0);
		std::vector<BaseObject*> parts = Children(sweep);
		ASSERT_EQ(parts.size(), 2u);
		SplineObject* profile = static_cast<SplineObject*>(parts[0]);
		SplineObject* path = static_cast<SplineObject*>(parts[1]);
		EXPECT_EQ(profile->GetPointCount(), 4);
		EXPECT_EQ(path->GetPointCount(), 2);
		EXPECT_EQ(path->GetTangentW(), nullptr);
		// The tube runs from atom centre to atom centre.
		const Int first = i - 6, second = (i - 5) % 6;
		ExpectVector(path->GetPointR()[0], children[first]->GetRelPos(), 1e-9);
		ExpectVector(path->GetPointR()[1], children[second]->GetRelPos(), 1e-9);
		const BaseContainer* pd = profile->GetDataInstance();
		EXPECT_TRUE(pd->GetBool(SPLINEOBJECT_CLOSED));
		EXPECT_EQ(pd->GetInt32(SPLINEOBJECT_INTERPOLATION), 2);
		EXPECT_EQ(pd->GetInt32(SPLINEOBJECT_SUB), 2);
	}
	EXPECT_TRUE(vh::Dialogs().empty());
}

TEST_F(Builder, BondProfilePointsAndHandles)
{
	Vireltan* data = Data(op);
	data->profileSubdivision = 5;
	SplineObject* profile = data->BuildBondProfile(6.0);
	ASSERT_NE(profile, nullptr);
	const Float k = 0.415 * 6.0;
	const Vector points[4] = {Vector(6, 0, 0), Vector(0, 6, 0), Vector(-6, 0, 0), Vector(0, -6, 0)};
	const Vector left[4] = {Vector(0, -k, 0), Vector(k, 0, 0), Vector(0, k, 0), Vector(-k, 0, 0)};
	const Tangent* t = profile->GetTangentR();
	ASSERT_NE(t, nullptr);
	for (Int i = 0; i < 4; ++i)
	{
		ExpectVector(profile->GetPointR()[i], points[i], 0.0);
		ExpectVector(t[i].vl, left[i], 1e-15);
		ExpectVector(t[i].vr, -left[i], 1e-15);
	}
	EXPECT_EQ(profile->GetDataInstance()->GetInt32(SPLINEOBJECT_SUB), 5);
	BaseObject* obj = profile;
	BaseObject::Free(obj);
}

TEST_F(Builder, BondThicknessColourAndMaterialByOrder)
{
	Load("sdf/orders.mol");
	BaseMaterial* bd4 = AddMaterial("aromatic");
	AddGroup("bd4", bd4);
	AddGroup("BD5", AddMaterial("never"));
	std::vector<BaseObject*> children = Children(Evaluate());
	ASSERT_EQ(children.size(), 6u);
	struct Expected
	{
		Float radius;
		Vector colour;
		Bool textured;
	};
	const Expected expected[3] = {{3.0, Vector(0, 0, 0), false}, {3.0, Vector(0, 0, 0), false}, {6.0, Vector(0.5, 1, 0.5), true}};
	for (Int i = 0; i < 3; ++i)
	{
		BaseObject* sweep = children[3 + i];
		SplineObject* profile = static_cast<SplineObject*>(sweep->GetDown());
		EXPECT_DOUBLE_EQ(profile->GetPointR()[0].x, expected[i].radius) << i;
		ExpectVector(Colour(sweep).color, expected[i].colour, 0.0);
		if (expected[i].textured)
		{
			EXPECT_EQ(TagTypes(sweep), (std::vector<Int32>{Ttexture, Tphong}));
			EXPECT_EQ(static_cast<TextureTag*>(sweep->GetFirstTag())->GetMaterial(), bd4);
		}
		else
		{
			EXPECT_EQ(TagTypes(sweep), std::vector<Int32>{Tphong});
		}
	}
	EXPECT_EQ(Data(op)->materialAssignments.GetCount(), 2);
	EXPECT_EQ(Data(op)->materialAssignments[0].target, 1004);
	EXPECT_EQ(Data(op)->materialAssignments[1].target, -1);
}

TEST_F(Builder, NucleiComeFirstInReverseOrder)
{
	Load("sdf/two_records.sdf");
	Set(MOLOBJ_SHOW_NUCLEUS, GeData(Int32(1)));
	Set(MOLOBJ_XRAY, GeData(Int32(1)));
	BaseMaterial* nuc = AddMaterial("nucleus");
	AddGroup("nuc", nuc);
	std::vector<BaseObject*> children = Children(Evaluate());
	ASSERT_EQ(children.size(), 5u);
	EXPECT_EQ(Name(children[0]), "N nucleus");
	EXPECT_EQ(Name(children[1]), "N nucleus");
	EXPECT_EQ(Name(children[2]), "N");
	ExpectVector(children[0]->GetRelPos(), children[3]->GetRelPos(), 0.0);
	ExpectVector(children[1]->GetRelPos(), children[2]->GetRelPos(), 0.0);
	EXPECT_NE(children[0]->GetRelPos().x, children[1]->GetRelPos().x);
	EXPECT_EQ(children[4]->GetType(), Osweep);
	for (Int i = 0; i < 2; ++i)
	{
		EXPECT_DOUBLE_EQ(vh::GetPrimitiveInfo(children[i]).radius, 25.0 * 0.35);
		EXPECT_EQ(TagTypes(children[i]), (std::vector<Int32>{Tphong, Ttexture}));
		ObjectColorProperties c = Colour(children[i]);
		ExpectVector(c.color, Vector(0, 0, 0.5), 0.0);
		EXPECT_FALSE(c.xray);
		EXPECT_TRUE(Colour(children[2 + i]).xray);
	}
	EXPECT_TRUE(Colour(children[4]).xray);
}

TEST_F(Builder, RadiusModes)
{
	Load("sdf/symbols.mol");
	struct Case
	{
		Int32 mode;
		Float carbon, chlorine;
		Bool defined;
	};
	for (const Case& c : {Case{0, 76.0 * 2, 102.0 * 2, true}, Case{1, 170.0 * 2, 175.0 * 2, true},
			 Case{2, 6 * 25.0, 17 * 25.0, true}, Case{3, 25.0, 25.0, true}, Case{7, 100.0, 100.0, false}})
	{
		Set(MOLOBJ_ATOM_RADIUS_MODE, GeData(c.mode));
		Set(MOLOBJ_ATOM_RADIUS_SCALE, GeData(2.0));
		Set(MOLOBJ_SHOW_NUCLEUS, GeData(Int32(1)));
		std::vector<BaseObject*> children = Children(Evaluate());
		ASSERT_GE(children.size(), 10u);
		// Five nuclei first, then C, Cl, Cl, Cl, H.
		EXPECT_DOUBLE_EQ(vh::GetPrimitiveInfo(children[5]).radius, c.carbon) << c.mode;
		EXPECT_DOUBLE_EQ(vh::GetPrimitiveInfo(children[6]).radius, c.chlorine) << c.mode;
		EXPECT_DOUBLE_EQ(vh::GetPrimitiveInfo(children[4]).radius, c.defined ? c.carbon * 0.35 : 1.0) << c.mode;
	}
}

TEST_F(Builder, PresetColoursByElementIndex)
{
	Vireltan* data = Data(op);
	for (Int32 index : {0, 1, 5, 6, 7, 8, 15})
		ASSERT_FALSE(data->atoms.Append(AtomRecord{index, Vector(index, 0, 0)}).Failed());
	op->SetDirty(DIRTYFLAGS::DATA);
	Set(MOLOBJ_COLOR_SOURCE, GeData(Int32(1)));
	Set(MOLOBJ_PRESET, GeData(Int32(3)));
	bc->SetVector(MOLOBJ_PRESET_COLOR_H, data->presets[3].colourH);
	bc->SetVector(MOLOBJ_PRESET_COLOR_C, data->presets[3].colourC);
	bc->SetVector(MOLOBJ_PRESET_COLOR_O, data->presets[3].colourO);
	bc->SetVector(MOLOBJ_PRESET_COLOR_N, data->presets[3].colourN);
	bc->SetVector(MOLOBJ_PRESET_COLOR_OTHER, Vector(0.1, 0.2, 0.3));
	std::vector<BaseObject*> atoms = Children(Evaluate());
	ASSERT_EQ(atoms.size(), 7u);
	const ColourPreset& p = data->presets[3];
	const Vector expected[7] = {p.colourH, Vector(0.1, 0.2, 0.3), p.colourC, p.colourN, p.colourO, Vector(0.1, 0.2, 0.3),
		Vector(0.1, 0.2, 0.3)};
	for (Int i = 0; i < 7; ++i)
		ExpectVector(Colour(atoms[i]).color, expected[i], 0.0);
	EXPECT_EQ(Name(atoms[6]), "S");

	// A preset the object does not hold colours atoms by their element.
	bc->SetInt32(MOLOBJ_PRESET, 9);
	op->SetDirty(DIRTYFLAGS::DATA);
	atoms = Children(Evaluate());
	ExpectVector(Colour(atoms[2]).color, ElementColour(0x909090));
}

TEST_F(Builder, AtomMaterialsFirstMatchWins)
{
	Load("sdf/symbols.mol");
	BaseMaterial* chlorine = AddMaterial("green");
	BaseMaterial* carbon = AddMaterial("black");
	AddGroup(" cl ", chlorine);
	AddGroup("H", nullptr);
	AddGroup("H", carbon);
	AddGroup("C", carbon, false);
	bc->SetInt32(MaterialGroupId(0, MOLOBJ_MAT_PROJECTION), 3);
	bc->SetFloat(MaterialGroupId(0, MOLOBJ_MAT_OFFSET_U), 0.25);
	bc->SetFloat(MaterialGroupId(0, MOLOBJ_MAT_TILES_V), 4.0);
	Set(MOLOBJ_XRAY, GeData(Int32(1)));
	std::vector<BaseObject*> children = Children(Evaluate());
	ASSERT_GE(children.size(), 5u);
	// C: its group is switched off, so it keeps its display colour.
	EXPECT_EQ(TagTypes(children[0]), std::vector<Int32>{Tphong});
	EXPECT_TRUE(Colour(children[0]).xray);
	for (Int i = 1; i <= 3; ++i)
	{
		BaseObject* atom = children[i];
		ASSERT_EQ(TagTypes(atom), (std::vector<Int32>{Ttexture, Tphong})) << i;
		EXPECT_FALSE(vh::HasColorProperties(atom));
		BaseTag* tag = atom->GetFirstTag();
		EXPECT_EQ(static_cast<TextureTag*>(tag)->GetMaterial(), chlorine);
		GeData v;
		tag->GetParameter(DescID(TEXTURETAG_PROJECTION), v, DESCFLAGS_GET::NONE);
		EXPECT_EQ(v.GetInt32(), 3);
		tag->GetParameter(DescID(TEXTURETAG_OFFSETX), v, DESCFLAGS_GET::NONE);
		EXPECT_DOUBLE_EQ(v.GetFloat(), 0.25);
		tag->GetParameter(DescID(TEXTURETAG_OFFSETY), v, DESCFLAGS_GET::NONE);
		EXPECT_DOUBLE_EQ(v.GetFloat(), 0.0);
		tag->GetParameter(DescID(TEXTURETAG_TILESX), v, DESCFLAGS_GET::NONE);
		EXPECT_DOUBLE_EQ(v.GetFloat(), 1.0);
		tag->GetParameter(DescID(TEXTURETAG_TILESY), v, DESCFLAGS_GET::NONE);
		EXPECT_DOUBLE_EQ(v.GetFloat(), 4.0);
	}
	// H: the first group for it has no material and decides.
	EXPECT_EQ(TagTypes(children[4]), std::vector<Int32>{Tphong});
	EXPECT_TRUE(vh::HasColorProperties(children[4]));
}

TEST_F(Builder, BondsNamingNoStoredAtomAreSkipped)
{
	Load("sdf/symbols.mol");
	std::vector<BaseObject*> children = Children(Evaluate());
	Int sweeps = 0;
	for (BaseObject* c : children)
		sweeps += c->GetType() == Osweep;
	// Of nine stored bonds, four name 0, -1, 7 or 12.
	EXPECT_EQ(sweeps, 5);
}

TEST_F(Builder, AtomsOfElementsTheTableLostAreSkipped)
{
	Load("sdf/ring6.mol");
	Data(op)->elements.Flush();
	op->SetDirty(DIRTYFLAGS::DATA);
	std::vector<BaseObject*> children = Children(Evaluate());
	ASSERT_EQ(children.size(), 6u);
	for (BaseObject* c : children)
		EXPECT_EQ(c->GetType(), Osweep);
}

TEST_F(Builder, FarMoleculeIsCentredAndScaled)
{
	Load("sdf/far.mol");
	std::vector<BaseObject*> children = Children(Evaluate());
	ASSERT_EQ(children.size(), 3u);
	ExpectVector(children[0]->GetRelPos(), Vector(-77.0, 0.0, 0.0), 1e-6);
	ExpectVector(children[1]->GetRelPos(), Vector(77.0, 0.0, 0.0), 1e-6);

	Set(MOLOBJ_DISPLAY_MODE, GeData(Int32(2)));
	children = Children(Evaluate());
	ASSERT_EQ(children.size(), 1u);
	EXPECT_EQ(children[0]->GetType(), Osweep);
	SplineObject* path = static_cast<SplineObject*>(children[0]->GetDownLast());
	ExpectVector(path->GetPointR()[0], Vector(-77.0, 0.0, 0.0), 1e-6);

	Set(MOLOBJ_DISPLAY_MODE, GeData(Int32(1)));
	children = Children(Evaluate());
	ASSERT_EQ(children.size(), 2u);
	EXPECT_EQ(children[1]->GetType(), Opolygon);
}

TEST_F(Builder, OneAtomSitsAtTheOrigin)
{
	Load("sdf/empty_name.mol");
	std::vector<BaseObject*> children = Children(Evaluate());
	ASSERT_EQ(children.size(), 1u);
	ExpectVector(children[0]->GetRelPos(), Vector(), 0.0);
	EXPECT_EQ(Name(children[0]), "O");
}

TEST_F(Builder, UnchangedObjectHandsBackItsCache)
{
	Load("sdf/ring6.mol");
	BaseObject* first = Evaluate();
	ASSERT_NE(first, nullptr);
	Vireltan* data = Data(op);
	ASSERT_FALSE(data->materialAssignments.Append(MaterialAssignment{nullptr, 77, 0, 0, 0, 0, 0}).Failed());
	EXPECT_EQ(Evaluate(), first);
	ASSERT_EQ(data->materialAssignments.GetCount(), 1);
	EXPECT_EQ(data->materialAssignments[0].target, 77);

	Set(MOLOBJ_POSITION_SCALE, GeData(50.0));
	BaseObject* second = Evaluate();
	EXPECT_NE(second, first);
	EXPECT_EQ(data->materialAssignments.GetCount(), 0);
	ExpectVector(Children(second)[0]->GetRelPos(), Vector(69.5, 0.0, 0.0), 1e-9);
}

TEST_F(Builder, FailedAllocationsLeaveOnlyThatPartOut)
{
	Load("sdf/ring6.mol");
	Set(MOLOBJ_SHOW_NUCLEUS, GeData(Int32(1)));
	// The first atom's sphere fails: that atom and its nucleus are missing.
	vh::FailAllocations(vh::AllocKind::PRIMITIVE, 0, 1);
	std::vector<BaseObject*> children = Children(Evaluate());
	ASSERT_EQ(children.size(), 5u + 5u + 6u);
	EXPECT_EQ(Name(children[5]), "C");

	// The first bond's path fails after its profile was made.
	vh::FailAllocations(vh::AllocKind::SPLINE, 1, 1);
	op->SetDirty(DIRTYFLAGS::DATA);
	children = Children(Evaluate());
	EXPECT_EQ(children.size(), 6u + 6u + 5u);

	vh::FailAllocations(vh::AllocKind::OBJECT, 0, 1);
	op->SetDirty(DIRTYFLAGS::DATA);
	EXPECT_EQ(Evaluate(), nullptr);
	vh::ResetAllocationFailures();
}

TEST_F(Builder, TextureTagThatCannotBeMadeLeavesTheAtomPlain)
{
	Load("sdf/two_records.sdf");
	AddGroup("N", AddMaterial("blue"));
	Set(MOLOBJ_DISPLAY_MODE, GeData(Int32(1)));
	// Each sphere makes its Phong tag first, then the texture tag.
	vh::FailAllocations(vh::AllocKind::TAG, 1, 1);
	std::vector<BaseObject*> children = Children(Evaluate());
	vh::ResetAllocationFailures();
	ASSERT_EQ(children.size(), 2u);
	EXPECT_EQ(TagTypes(children[0]), std::vector<Int32>{Tphong});
	EXPECT_FALSE(vh::HasColorProperties(children[0]));
	EXPECT_EQ(Name(children[0]), "N");
	EXPECT_EQ(TagTypes(children[1]), (std::vector<Int32>{Ttexture, Tphong}));
}

TEST_F(Builder, ZeroLengthBondIsStillBuilt)
{
	Vireltan* data = Data(op);
	ASSERT_FALSE(data->atoms.Append(AtomRecord{5, Vector(1, 1, 1)}).Failed());
	ASSERT_FALSE(data->atoms.Append(AtomRecord{5, Vector(1, 1, 1)}).Failed());
	ASSERT_FALSE(data->bonds.Append(BondRecord{1, 2, 1}).Failed());
	op->SetDirty(DIRTYFLAGS::DATA);
	std::vector<BaseObject*> children = Children(Evaluate());
	ASSERT_EQ(children.size(), 3u);
	EXPECT_EQ(children[2]->GetType(), Osweep);
}
TEST_F(Builder, CentreIsTheBoundingBoxCentreNotTheCentroid)
{
	SetMolecule({Vector(0, 0, 0), Vector(1, 4, 0), Vector(10, 5, -6)}, {});
	Set(MOLOBJ_POSITION_SCALE, GeData(10.0));
	std::vector<BaseObject*> children = Children(Evaluate());
	ASSERT_EQ(children.size(), 3u);
	// Box centre (5, 2.5, -3); the centroid would be (11/3, 3, -2).
	ExpectVector(children[0]->GetRelPos(), Vector(-50, -25, 30), 1e-12);
	ExpectVector(children[1]->GetRelPos(), Vector(-40, 15, 30), 1e-12);
	ExpectVector(children[2]->GetRelPos(), Vector(50, 25, -30), 1e-12);
}

TEST_F(Builder, CoordinatesThatCannotBePlacedLeaveOnlyTheirAtomOut)
{
	const Float inf = std::numeric_limits<Float>::infinity();
	const Float nan = std::numeric_limits<Float>::quiet_NaN();
	// Atoms 3 and 4 hold values the reader never stores but a model may still carry.
	SetMolecule({Vector(0, 0, 0), Vector(2, 4, 0), Vector(inf, 0, 0), Vector(0, nan, 0)}, {{1, 2, 1}, {1, 3, 1}, {4, 2, 2}});
	BaseObject* root = Evaluate();
	std::vector<BaseObject*> children = Children(root);
	ASSERT_EQ(children.size(), 3u);
	ExpectVector(children[0]->GetRelPos(), Vector(-100, -200, 0), 0.0);
	ExpectVector(children[1]->GetRelPos(), Vector(100, 200, 0), 0.0);
	EXPECT_EQ(children[2]->GetType(), Osweep);
	ExpectFinite(root);

	// A huge but finite pair centres without overflow; scaled, it leaves the float range.
	SetMolecule({Vector(1e308, 0, 0), Vector(-1e308, 0, 0), Vector(1, 0, 0)}, {{1, 2, 1}, {2, 3, 1}});
	root = Evaluate();
	children = Children(root);
	ASSERT_EQ(children.size(), 1u);
	ExpectVector(children[0]->GetRelPos(), Vector(100, 0, 0), 0.0);
	ExpectFinite(root);
	Set(MOLOBJ_POSITION_SCALE, GeData(1e-300));
	children = Children(Evaluate());
	ASSERT_EQ(children.size(), 5u);
	ExpectVector(children[0]->GetRelPos(), Vector(1e8, 0, 0), 1e-6);

	// Whatever the position scale, nothing that is not a finite number is generated.
	SetMolecule({Vector(0, 0, 0), Vector(2, 4, 0), Vector(1, 2, 0)}, {{1, 2, 1}, {2, 3, 1}});
	for (Float scale : {1e308, -1e308, inf, nan})
	{
		Set(MOLOBJ_POSITION_SCALE, GeData(scale));
		root = Evaluate();
		ExpectFinite(root);
		children = Children(root);
		// Only the atom at the centre can be placed by a huge scale; with inf or nan none can.
		EXPECT_EQ(children.size(), std::isfinite(scale) ? 1u : 0u) << scale;
	}
}

// A sphere, nucleus or bond profile whose radius is no finite number is left out, alone.
TEST_F(Builder, RadiiThatAreNoFiniteNumberLeaveOnlyTheirObjectsOut)
{
	const Float inf = std::numeric_limits<Float>::infinity();
	const Float nan = std::numeric_limits<Float>::quiet_NaN();
	SetMolecule({Vector(0, 0, 0), Vector(1, 0, 0)}, {{1, 2, 1}, {1, 2, 2}});
	Set(MOLOBJ_SHOW_NUCLEUS, GeData(true));
	auto types = [this]() {
		std::vector<Int32> t;
		BaseObject* root = Evaluate();
		ExpectFinite(root);
		for (BaseObject* c : Children(root))
			t.push_back(c->GetType());
		return t;
	};
	const std::vector<Int32> all = {Opolygon, Opolygon, Opolygon, Opolygon, Osweep, Osweep};
	ASSERT_EQ(types(), all);
	for (Float bad : {inf, -inf, nan})
	{
		Set(MOLOBJ_ATOM_SIZE, GeData(bad));
		EXPECT_EQ(types(), (std::vector<Int32>{Osweep, Osweep})) << bad;
		Set(MOLOBJ_ATOM_SIZE, GeData(25.0));
		Set(MOLOBJ_NUCLEUS_SIZE, GeData(bad));
		EXPECT_EQ(types(), (std::vector<Int32>{Opolygon, Opolygon, Osweep, Osweep})) << bad;
		Set(MOLOBJ_NUCLEUS_SIZE, GeData(0.35));
		// The double bond's profile radius is the product of two finite numbers beyond the range.
		Set(MOLOBJ_BOND_DOUBLE_FACTOR, GeData(std::isnan(bad) ? bad : 1e308));
		EXPECT_EQ(types(), (std::vector<Int32>{Opolygon, Opolygon, Opolygon, Opolygon, Osweep})) << bad;
		Set(MOLOBJ_BOND_DOUBLE_FACTOR, GeData(2.0));
		Set(MOLOBJ_BOND_RADIUS, GeData(bad));
		EXPECT_EQ(types(), (std::vector<Int32>{Opolygon, Opolygon, Opolygon, Opolygon})) << bad;
		Set(MOLOBJ_BOND_RADIUS, GeData(3.0));
	}
	EXPECT_EQ(types(), all);
}

TEST_F(Builder, BondOrdersAndEveryBondParameter)
{
	SetMolecule({Vector(0, 0, 0), Vector(1, 0, 0), Vector(2, 0, 0), Vector(3, 0, 0), Vector(4, 0, 0)},
		{{1, 2, 1}, {2, 3, 2}, {3, 4, 3}, {4, 5, 4}, {1, 5, 7}});
	Set(MOLOBJ_DISPLAY_MODE, GeData(Int32(2)));
	Set(MOLOBJ_BOND_RADIUS, GeData(2.0));
	Set(MOLOBJ_BOND_DOUBLE_FACTOR, GeData(1.5));
	Set(MOLOBJ_BOND_TRIPLE_FACTOR, GeData(4.0));
	Set(MOLOBJ_BOND_COLOR_SINGLE, GeData(Vector(0.1, 0.2, 0.3)));
	Set(MOLOBJ_BOND_COLOR_DOUBLE, GeData(Vector(0.4, 0.5, 0.6)));
	Set(MOLOBJ_BOND_COLOR_TRIPLE, GeData(Vector(0.7, 0.8, 0.9)));
	Set(MOLOBJ_BOND_COLOR_AROMATIC, GeData(Vector(0.2, 0.9, 0.1)));
	Set(MOLOBJ_BOND_CAPS, GeData(Int32(1)));
	Set(MOLOBJ_BOND_PROFILE_SUBDIV, GeData(Int32(7)));
	std::vector<BaseObject*> sweeps = Children(Evaluate());
	ASSERT_EQ(sweeps.size(), 5u);
	const Float radius[5] = {2.0, 3.0, 8.0, 3.0, 2.0};
	const Vector colour[5] = {Vector(0.1, 0.2, 0.3), Vector(0.4, 0.5, 0.6), Vector(0.7, 0.8, 0.9), Vector(0.2, 0.9, 0.1), Vector()};
	for (Int i = 0; i < 5; ++i)
	{
		SplineObject* profile = static_cast<SplineObject*>(sweeps[i]->GetDown());
		EXPECT_DOUBLE_EQ(profile->GetPointR()[1].y, radius[i]) << i;
		EXPECT_EQ(profile->GetDataInstance()->GetInt32(SPLINEOBJECT_SUB), 7) << i;
		ExpectVector(Colour(sweeps[i]).color, colour[i], 0.0);
		for (Int32 cap : {2999, 3000})
		{
			GeData value;
			sweeps[i]->GetParameter(DescID(cap), value, DESCFLAGS_GET::NONE);
			EXPECT_EQ(value.GetType(), DA_LONG) << cap;
			EXPECT_EQ(value.GetInt32(), 1) << cap;
		}
	}
}

TEST_F(Builder, EveryAtomParameterReachesItsSpheres)
{
	SetMolecule({Vector(0, 0, 0), Vector(1, 0, 0)}, {});
	Set(MOLOBJ_SHOW_NUCLEUS, GeData(Int32(1)));
	Set(MOLOBJ_ATOM_SIZE, GeData(30.0));
	Set(MOLOBJ_ATOM_SEGMENTS, GeData(Int32(10)));
	Set(MOLOBJ_NUCLEUS_SIZE, GeData(0.5));
	Set(MOLOBJ_NUCLEUS_COLOR, GeData(Vector(0.3, 0.6, 0.9)));
	std::vector<BaseObject*> children = Children(Evaluate());
	ASSERT_EQ(children.size(), 4u);
	for (Int i = 0; i < 4; ++i)
	{
		const vh::PrimitiveInfo info = vh::GetPrimitiveInfo(children[i]);
		EXPECT_DOUBLE_EQ(info.radius, i < 2 ? 15.0 : 30.0) << i;
		EXPECT_EQ(info.segments, 10) << i;
	}
	ExpectVector(Colour(children[0]).color, Vector(0.3, 0.6, 0.9), 0.0);
	Set(MOLOBJ_ATOM_RADIUS_MODE, GeData(Int32(2)));
	// The shown preset colour for carbon colours carbon atoms once the preset is the source.
	Set(MOLOBJ_COLOR_SOURCE, GeData(Int32(1)));
	Set(MOLOBJ_PRESET_COLOR_C, GeData(Vector(0.11, 0.22, 0.33)));
	children = Children(Evaluate());
	EXPECT_DOUBLE_EQ(vh::GetPrimitiveInfo(children[2]).radius, 6 * 30.0);
	ExpectVector(Colour(children[2]).color, Vector(0.11, 0.22, 0.33), 0.0);
}

TEST_F(Builder, FailedLoadTakesTheOldGeometryAway)
{
	testfiles::TempDir folder;
	folder.Copy(test::DataPath("sdf/ring6.mol"), "m.mol");
	const std::string path = folder.File("m.mol");
	bc->SetFilename(MOLOBJ_FILE, Filename(vh::FromUtf8(path)));
	DescriptionCommand dc;
	dc._descId = DescID(MOLOBJ_LOAD);
	op->Message(MSG_DESCRIPTION_COMMAND, &dc);
	ASSERT_EQ(Children(Evaluate()).size(), 12u);
	ASSERT_EQ(std::remove(path.c_str()), 0);
	op->Message(MSG_DESCRIPTION_COMMAND, &dc);
	EXPECT_EQ(vh::Dialogs().size(), 2u);
	EXPECT_EQ(Data(op)->atoms.GetCount(), 0);
	EXPECT_TRUE(Children(Evaluate()).empty());
}

TEST_F(Builder, ReopenedSceneKeepsItsMaterials)
{
	testfiles::TempDir folder;
	folder.Copy(test::DataPath("sdf/two_records.sdf"), "m.sdf");
	bc->SetFilename(MOLOBJ_FILE, Filename(vh::FromUtf8(folder.File("m.sdf"))));
	AddGroup("BD3", AddMaterial("triple"));
	AddGroup("n", AddMaterial("nitrogen"));
	BaseDocument* loaded = nullptr;
	BaseObject* back = Reopen(folder, &loaded);
	ASSERT_NE(back, nullptr);
	EXPECT_EQ(Data(back)->materialCount, 2);
	vh::EvaluateDocument(loaded);
	std::vector<BaseObject*> children = Children(back->GetCache());
	ASSERT_EQ(children.size(), 3u);
	for (Int i = 0; i < 3; ++i)
	{
		ASSERT_EQ(TagTypes(children[i]), (std::vector<Int32>{Ttexture, Tphong})) << i;
		BaseMaterial* material = static_cast<TextureTag*>(children[i]->GetFirstTag())->GetMaterial();
		ASSERT_NE(material, nullptr);
		EXPECT_EQ(material->GetDocument(), loaded);
		EXPECT_EQ(vh::ToUtf8(material->GetName()), i < 2 ? "nitrogen" : "triple");
	}
	BaseDocument::Free(loaded);
}

TEST_F(Builder, MoleculeBeyond999AtomsThroughEveryPath)
{
	// Reader, builder, scene file (which keeps the file name; the event reloads it) and export.
	bc->SetFilename(MOLOBJ_FILE, Filename(vh::FromUtf8(test::SourceDir() + "/examples/interleukin2_v3000.mol")));
	DescriptionCommand dc;
	dc._descId = DescID(MOLOBJ_LOAD);
	op->Message(MSG_DESCRIPTION_COMMAND, &dc);
	Set(MOLOBJ_ATOM_SEGMENTS, GeData(Int32(4)));
	ASSERT_EQ(Data(op)->atoms.GetCount(), 2084);
	EXPECT_EQ(Children(Evaluate()).size(), 2084u + 2099u);

	testfiles::TempDir folder;
	BaseDocument* loaded = nullptr;
	BaseObject* back = Reopen(folder, &loaded);
	ASSERT_NE(back, nullptr);
	EXPECT_EQ(Data(back)->atoms.GetCount(), 2084);
	EXPECT_EQ(Data(back)->bonds.GetCount(), 2099);
	vh::EvaluateDocument(loaded);
	std::vector<BaseObject*> children = Children(back->GetCache());
	ASSERT_EQ(children.size(), 2084u + 2099u);
	ExpectVector(children[2083]->GetRelPos(), Children(op->GetCache())[2083]->GetRelPos(), 0.0);

	vh::ExportSummary summary;
	std::string error;
	ASSERT_TRUE(vh::ExportGltf(loaded, Filename(vh::FromUtf8(folder.File("large.glb"))), &summary, &error)) << error;
	EXPECT_EQ(summary.polygonObjects, 2084);
	EXPECT_EQ(summary.sweeps, 2099);
	BaseDocument::Free(loaded);
}
} // namespace
