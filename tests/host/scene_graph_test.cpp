// Scene graph: trees, tags, links, tracks, dirty counting, materials and allocation failures.
#include "scene_support.h"

using namespace scene_test;
using ::testing::ElementsAre;

namespace
{
BaseObject* Named(const char* name, Int32 type = Onull)
{
	BaseObject* op = BaseObject::Alloc(type);
	if (op)
		op->SetName(String(name));
	return op;
}

class SceneGraph : public ProbeTest
{
};

TEST_F(SceneGraph, InsertUnderPutsFirstAndInsertUnderLastPutsLast)
{
	BaseObject* root = Named("root");
	Named("a")->InsertUnderLast(root);
	Named("b")->InsertUnderLast(root);
	Named("c")->InsertUnder(root);
	EXPECT_THAT(ChildNames(root), ElementsAre("c", "a", "b"));
	EXPECT_EQ(root->GetDownLast()->GetName(), "b");
	EXPECT_EQ(root->GetDown()->GetUp(), root);
	EXPECT_EQ(root->GetDown()->GetPred(), nullptr);
	EXPECT_EQ(root->GetDownLast()->GetNext(), nullptr);

	BaseObject* a = root->GetDown()->GetNext();
	Named("after-a")->InsertAfter(a);
	Named("before-a")->InsertBefore(a);
	EXPECT_THAT(ChildNames(root), ElementsAre("c", "before-a", "a", "after-a", "b"));
	BaseObject::Free(root);
}

TEST_F(SceneGraph, ReinsertingMovesTheNodeAndCyclesAreRefused)
{
	BaseObject* root = Named("root");
	BaseObject* a = Named("a");
	BaseObject* b = Named("b");
	a->InsertUnderLast(root);
	b->InsertUnderLast(root);
	a->InsertUnderLast(b);
	EXPECT_THAT(ChildNames(root), ElementsAre("b"));
	EXPECT_EQ(a->GetUp(), b);

	// b under its own child a, or root under itself, would make a cycle: nothing changes.
	b->InsertUnder(a);
	root->InsertUnder(root);
	EXPECT_EQ(b->GetUp(), root);
	EXPECT_EQ(a->GetUp(), b);
	EXPECT_EQ(root->GetUp(), nullptr);
	BaseObject::Free(root);
}

TEST_F(SceneGraph, RemoveDetachesSubtreeAndFreeReleasesItAll)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* root = Named("root");
	doc->InsertObject(root, nullptr, nullptr);
	BaseObject* mid = Named("mid");
	mid->InsertUnder(root);
	BaseObject* leaf = Named("leaf");
	leaf->InsertUnder(mid);
	leaf->MakeTag(Tphong);
	CTrack::Alloc(leaf, DescID(PROBE_VALUE));
	EXPECT_EQ(leaf->GetDocument(), doc);
	EXPECT_EQ(leaf->GetFirstTag()->GetDocument(), doc);

	mid->Remove();
	EXPECT_EQ(root->GetDown(), nullptr);
	EXPECT_EQ(mid->GetUp(), nullptr);
	EXPECT_EQ(leaf->GetUp(), mid);
	EXPECT_EQ(mid->GetDocument(), nullptr);
	EXPECT_EQ(leaf->GetDocument(), nullptr);
	EXPECT_EQ(leaf->GetFirstTag()->GetDocument(), nullptr);

	// Freeing the removed subtree frees leaf, its tag and its track too (ASan reports a leak otherwise).
	BaseLink* link = BaseLink::Alloc();
	link->SetLink(leaf);
	BaseObject::Free(mid);
	EXPECT_EQ(mid, nullptr);
	EXPECT_EQ(link->ForceGetLink(), nullptr);
	BaseLink::Free(link);

	// Freeing an object still in a tree unlinks it from its siblings first.
	BaseObject* x = Named("x");
	BaseObject* y = Named("y");
	x->InsertUnderLast(root);
	y->InsertUnderLast(root);
	BaseObject::Free(x);
	EXPECT_THAT(ChildNames(root), ElementsAre("y"));
	EXPECT_EQ(root->GetDown()->GetPred(), nullptr);
	BaseDocument::Free(doc);
}

TEST_F(SceneGraph, DocumentListsObjectsAndMaterials)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* a = Named("a");
	BaseObject* b = Named("b");
	BaseObject* c = Named("c");
	doc->InsertObject(a, nullptr, nullptr);
	doc->InsertObject(b, nullptr, nullptr);
	doc->InsertObject(c, nullptr, b);
	EXPECT_THAT(TopNames(doc), ElementsAre("b", "c", "a"));
	EXPECT_EQ(b->GetUp(), nullptr);
	EXPECT_EQ(b->GetDocument(), doc);

	BaseObject* child = Named("child");
	doc->InsertObject(child, a, nullptr);
	EXPECT_EQ(child->GetUp(), a);
	EXPECT_EQ(child->GetDocument(), doc);

	BaseMaterial* m1 = BaseMaterial::Alloc(Mmaterial);
	BaseMaterial* m2 = BaseMaterial::Alloc(Mmaterial);
	m1->SetName("m1"_s);
	m2->SetName("m2"_s);
	doc->InsertMaterial(m1);
	doc->InsertMaterial(m2, m1);
	EXPECT_EQ(doc->GetFirstMaterial(), m1);
	EXPECT_EQ(m1->GetNext(), m2);
	EXPECT_EQ(m2->GetDocument(), doc);
	EXPECT_TRUE(m1->IsInstanceOf(Mbase));
	EXPECT_TRUE(m1->IsInstanceOf(Mmaterial));
	EXPECT_FALSE(m1->IsInstanceOf(Obase));
	EXPECT_EQ(m1->GetDataInstance()->GetVector(MATERIAL_COLOR_COLOR), Vector(0.8, 0.8, 0.8));
	// Materials and objects never mix: a material does not go under an object.
	BaseMaterial* stray = BaseMaterial::Alloc(Mmaterial);
	stray->InsertUnder(a);
	EXPECT_EQ(stray->GetDocument(), nullptr);
	EXPECT_EQ(a->GetDown(), child);
	BaseMaterial::Free(stray);

	BaseLink* link = BaseLink::Alloc();
	link->SetLink(m2);
	BaseDocument::Free(doc);
	EXPECT_EQ(link->ForceGetLink(), nullptr);
	BaseLink::Free(link);
}

TEST_F(SceneGraph, TypesAndInstanceChecks)
{
	BaseObject* sweep = BaseObject::Alloc(Osweep);
	EXPECT_EQ(sweep->GetType(), Osweep);
	EXPECT_TRUE(sweep->IsInstanceOf(Osweep));
	EXPECT_TRUE(sweep->IsInstanceOf(Obase));
	EXPECT_FALSE(sweep->IsInstanceOf(Onull));
	EXPECT_EQ(sweep->GetName(), "Sweep");
	BaseObject::Free(sweep);

	BaseList2D* tag = BaseList2D::Alloc(Ttexture);
	EXPECT_EQ(tag->GetType(), Ttexture);
	EXPECT_FALSE(tag->IsInstanceOf(Obase));
	BaseList2D::Free(tag);
	EXPECT_EQ(tag, nullptr);
}

TEST_F(SceneGraph, MakeTagOrdersByPredecessorAndPhongIsUnique)
{
	BaseObject* op = Named("op");
	BaseTag* phong = op->MakeTag(Tphong);
	BaseTag* tex1 = op->MakeTag(Ttexture);
	EXPECT_THAT(TagTypes(op), ElementsAre("texture", "phong"));
	BaseTag* tex2 = op->MakeTag(Ttexture, phong);
	EXPECT_THAT(TagTypes(op), ElementsAre("texture", "phong", "texture"));
	EXPECT_EQ(op->GetTag(Ttexture, 0), tex1);
	EXPECT_EQ(op->GetTag(Ttexture, 1), tex2);
	EXPECT_EQ(op->GetTag(Ttexture, 2), nullptr);
	EXPECT_EQ(tex2->GetObject(), op);
	EXPECT_EQ(tex2->GetPred(), phong);

	// A second Phong tag replaces the first; the texture tags allow multiples.
	BaseTag* phong2 = BaseTag::Alloc(Tphong);
	op->InsertTag(phong2);
	EXPECT_THAT(TagTypes(op), ElementsAre("phong", "texture", "texture"));
	EXPECT_EQ(op->GetTag(Tphong), phong2);
	TextureTag* tex3 = TextureTag::Alloc();
	op->InsertTag(tex3, tex2);
	EXPECT_THAT(TagTypes(op), ElementsAre("phong", "texture", "texture", "texture"));
	EXPECT_EQ(op->GetTag(Ttexture, 2), tex3);

	op->KillTag(Ttexture, 1);
	EXPECT_EQ(op->GetTag(Ttexture, 1), tex3);
	op->KillTag(Tphong);
	EXPECT_THAT(TagTypes(op), ElementsAre("texture", "texture"));
	BaseObject::Free(op);
}

TEST_F(SceneGraph, SetPhongAddsOrRemovesTheOnePhongTag)
{
	BaseObject* op = Named("op");
	op->MakeTag(Ttexture);
	EXPECT_TRUE(op->SetPhong(true, true, 0.5));
	EXPECT_TRUE(op->SetPhong(true, false, 0.25));
	EXPECT_THAT(TagTypes(op), ElementsAre("phong", "texture"));
	EXPECT_TRUE(op->SetPhong(false, false, 0.0));
	EXPECT_THAT(TagTypes(op), ElementsAre("texture"));
	BaseObject::Free(op);
}

TEST_F(SceneGraph, TextureTagResolvesItsMaterialInTheTagsDocument)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseDocument* other = BaseDocument::Alloc();
	BaseMaterial* mat = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(mat);
	BaseObject* op = Named("op");
	TextureTag* tag = static_cast<TextureTag*>(op->MakeTag(Ttexture));
	tag->SetMaterial(mat);
	// Outside any document (like a generator's cache) the link resolves wherever the material is.
	EXPECT_EQ(tag->GetMaterial(), mat);
	other->InsertObject(op, nullptr, nullptr);
	EXPECT_EQ(tag->GetMaterial(), nullptr);
	EXPECT_EQ(tag->GetMaterial(true), mat);
	op->Remove();
	doc->InsertObject(op, nullptr, nullptr);
	EXPECT_EQ(tag->GetMaterial(), mat);

	BaseMaterial::Free(mat);
	EXPECT_EQ(tag->GetMaterial(true), nullptr);
	BaseDocument::Free(doc);
	BaseDocument::Free(other);
}

TEST_F(SceneGraph, LinksDieWithTheirTargetAndFilterByDocumentAndType)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseDocument* other = BaseDocument::Alloc();
	BaseObject* op = Named("target");
	doc->InsertObject(op, nullptr, nullptr);
	BaseLink* link = BaseLink::Alloc();
	link->SetLink(op);
	EXPECT_EQ(link->GetLink(doc), op);
	EXPECT_EQ(link->GetLink(nullptr), op);
	EXPECT_EQ(link->GetLink(other), nullptr);
	EXPECT_EQ(link->ForceGetLink(), op);
	EXPECT_EQ(link->GetLink(doc, Obase), op);
	EXPECT_EQ(link->GetLink(doc, Onull), op);
	EXPECT_EQ(link->GetLink(doc, Mbase), nullptr);

	BaseLink* clone = link->GetClone();
	BaseContainer bc;
	bc.SetLink(5, op);
	BaseObject::Free(op);
	EXPECT_EQ(link->GetLink(doc), nullptr);
	EXPECT_EQ(link->ForceGetLink(), nullptr);
	EXPECT_EQ(clone->ForceGetLink(), nullptr);
	EXPECT_EQ(bc.GetLink(5, nullptr), nullptr);

	// A new object never takes over the id of a freed one.
	BaseObject* again = Named("again");
	doc->InsertObject(again, nullptr, nullptr);
	EXPECT_EQ(link->GetLink(doc), nullptr);
	link->SetLink(nullptr);
	EXPECT_EQ(link->_target, 0);
	BaseLink::Free(link);
	BaseLink::Free(clone);
	BaseDocument::Free(doc);
	BaseDocument::Free(other);
}

TEST_F(SceneGraph, TracksAreFoundByDescIdAndRemoved)
{
	BaseObject* op = Named("op");
	CTrack* t1 = CTrack::Alloc(op, DescID(DescLevel(15025, DTYPE_STRING, 0)));
	CTrack* t2 = CTrack::Alloc(op, DescID(15024));
	ASSERT_NE(t1, nullptr);
	ASSERT_NE(t2, nullptr);
	EXPECT_EQ(op->GetFirstCTrack(), t1);
	EXPECT_EQ(t1->GetNext(), t2);
	EXPECT_EQ(t2->GetPred(), t1);
	// A dtype of 0 matches any dtype.
	EXPECT_EQ(op->FindCTrack(DescID(15025)), t1);
	EXPECT_EQ(op->FindCTrack(DescID(DescLevel(15025, DTYPE_LONG, 0))), nullptr);
	EXPECT_EQ(op->FindCTrack(DescID(15024)), t2);
	EXPECT_EQ(op->FindCTrack(DescID(15026)), nullptr);
	EXPECT_EQ(t1->GetDescriptionID()[0].id, 15025);

	t1->Remove();
	EXPECT_EQ(op->FindCTrack(DescID(15025)), nullptr);
	EXPECT_EQ(op->GetFirstCTrack(), t2);
	EXPECT_EQ(t2->GetPred(), nullptr);
	CTrack::Free(t1);
	EXPECT_EQ(t1, nullptr);
	// t2 stays with op and goes when op is freed.
	BaseObject::Free(op);
}

TEST_F(SceneGraph, ParametersLiveInTheContainerAndCountAsDataChanges)
{
	BaseObject* op = Named("op");
	UInt32 before = op->GetDirty(DIRTYFLAGS::DATA);
	EXPECT_TRUE(op->SetParameter(DescID(2000), GeData(Float(2.5)), DESCFLAGS_SET::NONE));
	EXPECT_EQ(op->GetDirty(DIRTYFLAGS::DATA), before + 1);
	EXPECT_EQ(op->GetDataInstance()->GetFloat(2000), 2.5);
	GeData d;
	EXPECT_TRUE(op->GetParameter(DescID(DescLevel(2000, DTYPE_REAL, 0)), d, DESCFLAGS_GET::NONE));
	EXPECT_EQ(d.GetFloat(), 2.5);
	EXPECT_FALSE(op->GetParameter(DescID(2001), d, DESCFLAGS_GET::NONE));
	EXPECT_EQ(d.GetType(), DA_NIL);
	EXPECT_TRUE(op->GetParameter(DescID(ID_BASELIST_NAME), d, DESCFLAGS_GET::NONE));
	EXPECT_EQ(d.GetString(), "op");
	EXPECT_FALSE(op->SetParameter(DescID(), GeData(Int32(1)), DESCFLAGS_SET::NONE));
	BaseObject::Free(op);
}

TEST_F(SceneGraph, DirtyCountsAndTouch)
{
	BaseObject* op = Named("op");
	EXPECT_TRUE(op->IsDirty(DIRTYFLAGS::DATA)) << "a new object is dirty";
	op->Touch();
	EXPECT_FALSE(op->IsDirty(DIRTYFLAGS::DATA));
	EXPECT_FALSE(op->IsDirty(DIRTYFLAGS::MATRIX));

	UInt32 data = op->GetDirty(DIRTYFLAGS::DATA);
	UInt32 matrix = op->GetDirty(DIRTYFLAGS::MATRIX);
	op->SetRelPos(Vector(1, 2, 3));
	EXPECT_EQ(op->GetRelPos(), Vector(1, 2, 3));
	EXPECT_EQ(op->GetDirty(DIRTYFLAGS::MATRIX), matrix + 1);
	EXPECT_EQ(op->GetDirty(DIRTYFLAGS::DATA), data);
	EXPECT_FALSE(op->IsDirty(DIRTYFLAGS::DATA));
	EXPECT_TRUE(op->IsDirty(DIRTYFLAGS::MATRIX));

	op->SetDirty(DIRTYFLAGS::DATA);
	op->SetDirty(DIRTYFLAGS::DATA);
	EXPECT_EQ(op->GetDirty(DIRTYFLAGS::DATA), data + 2);
	EXPECT_TRUE(op->IsDirty(DIRTYFLAGS::DATA));
	op->Touch();
	EXPECT_FALSE(op->IsDirty(DIRTYFLAGS::DATA | DIRTYFLAGS::MATRIX));
	// Writing through the container pointer is not noticed; the plug-in says SetDirty itself.
	op->GetDataInstance()->SetInt32(1, 1);
	EXPECT_FALSE(op->IsDirty(DIRTYFLAGS::DATA));
	BaseObject::Free(op);
}

TEST_F(SceneGraph, SplinesAndPolygonObjects)
{
	SplineObject* bezier = SplineObject::Alloc(4, SPLINETYPE::BEZIER);
	ASSERT_NE(bezier, nullptr);
	EXPECT_EQ(bezier->GetType(), Ospline);
	EXPECT_EQ(bezier->GetPointCount(), 4);
	EXPECT_EQ(bezier->GetTangentCount(), 4);
	ASSERT_NE(bezier->GetTangentW(), nullptr);
	EXPECT_EQ(bezier->GetPointR()[3], Vector());
	EXPECT_EQ(bezier->GetDataInstance()->GetInt32(SPLINEOBJECT_TYPE, -1), SPLINEOBJECT_TYPE_BEZIER);

	Vector* p = bezier->GetPointW();
	p[0] = Vector(0, 0, 0);
	p[1] = Vector(3, 0, 0);
	p[2] = Vector(6, 0, 0);
	p[3] = Vector(9, 0, 0);
	EXPECT_TRUE(bezier->SetDefaultCoeff());
	// Handles point along the line through the neighbours, opposite on both sides.
	const Tangent* t = bezier->GetTangentR();
	EXPECT_EQ(t[1].vr, Vector(1, 0, 0));
	EXPECT_EQ(t[1].vl, Vector(-1, 0, 0));
	EXPECT_FALSE(t[0].IsBroken());
	EXPECT_GT(t[0].vr.x, 0.0);
	SplineObject::Free(bezier);

	SplineObject* linear = SplineObject::Alloc(2, SPLINETYPE::LINEAR);
	EXPECT_EQ(linear->GetTangentCount(), 0);
	EXPECT_EQ(linear->GetTangentW(), nullptr);
	EXPECT_EQ(linear->GetDataInstance()->GetInt32(SPLINEOBJECT_TYPE, -1), SPLINEOBJECT_TYPE_LINEAR);
	SplineObject::Free(linear);
	SplineObject* empty = SplineObject::Alloc(0, SPLINETYPE::BEZIER);
	EXPECT_EQ(empty->GetTangentW(), nullptr);
	EXPECT_EQ(empty->GetPointW(), nullptr);
	SplineObject::Free(empty);
	EXPECT_EQ(SplineObject::Alloc(-1, SPLINETYPE::LINEAR), nullptr);

	PolygonObject* poly = PolygonObject::Alloc(8, 6);
	EXPECT_EQ(poly->GetType(), Opolygon);
	EXPECT_EQ(poly->GetPointCount(), 8);
	EXPECT_EQ(poly->GetPolygonCount(), 6);
	EXPECT_TRUE(poly->IsInstanceOf(Obase));
	PolygonObject::Free(poly);
}

TEST_F(SceneGraph, InjectedAllocationFailuresGiveNullptr)
{
	vh::FailAllocations(vh::AllocKind::OBJECT);
	EXPECT_EQ(BaseObject::Alloc(Onull), nullptr);
	BaseObject* after = BaseObject::Alloc(Onull);
	EXPECT_NE(after, nullptr) << "only one failure was asked for";
	BaseObject::Free(after);

	vh::FailAllocations(vh::AllocKind::OBJECT, 1, 1);
	BaseObject* ok = BaseObject::Alloc(Onull);
	EXPECT_NE(ok, nullptr);
	EXPECT_EQ(PolygonObject::Alloc(3, 1), nullptr);

	// Splines count as SPLINE, not OBJECT.
	vh::FailAllocations(vh::AllocKind::SPLINE);
	Int objects = vh::AllocationCount(vh::AllocKind::OBJECT);
	EXPECT_EQ(SplineObject::Alloc(4, SPLINETYPE::BEZIER), nullptr);
	EXPECT_EQ(vh::AllocationCount(vh::AllocKind::OBJECT), objects);

	vh::FailAllocations(vh::AllocKind::TAG, 0, 4);
	EXPECT_EQ(ok->MakeTag(Tphong), nullptr);
	EXPECT_EQ(TextureTag::Alloc(), nullptr);
	EXPECT_EQ(BaseTag::Alloc(Tphong), nullptr);
	EXPECT_EQ(ok->GetFirstTag(), nullptr);
	EXPECT_FALSE(ok->SetPhong(true, false, 0.0));
	EXPECT_NE(ok->MakeTag(Tphong), nullptr);
	BaseObject::Free(ok);
}
} // namespace
