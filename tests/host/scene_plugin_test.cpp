// Plug-in registry, plug-in objects, document evaluation, message broadcast and the copy command.
#include "scene_support.h"

#include "resource.h"

using namespace scene_test;
using ::testing::ElementsAre;

namespace
{
NodeData* AllocProbe()
{
	return ProbeData::Alloc();
}

BaseObject* Probe(const char* name, Int32 id = ID_PROBE)
{
	BaseObject* op = vh::AllocPluginObject(id);
	if (op)
		op->SetName(String(name));
	return op;
}

ProbeData* DataOf(BaseObject* op)
{
	return static_cast<ProbeData*>(op->GetNodeData());
}

class ScenePlugins : public ProbeTest
{
};

TEST_F(ScenePlugins, RegistrationRefusesBadArgumentsAndKeepsWhatItWasGiven)
{
	EXPECT_FALSE(vh::RegisterObjectPluginHost(0, "x"_s, 0, AllocProbe, String(), nullptr, 0, nullptr));
	EXPECT_FALSE(vh::RegisterObjectPluginHost(-5, "x"_s, 0, AllocProbe, String(), nullptr, 0, nullptr));
	EXPECT_FALSE(vh::RegisterObjectPluginHost(1999100, "x"_s, 0, nullptr, String(), nullptr, 0, nullptr));
	EXPECT_FALSE(vh::RegisterObjectPluginHost(1999100, String(), 0, AllocProbe, String(), nullptr, 0, nullptr));
	EXPECT_EQ(vh::FindObjectPlugin(1999100), nullptr);
	EXPECT_FALSE(vh::RegisterObjectPluginHost(ID_PROBE, "again"_s, 0, AllocProbe, String(), nullptr, 0, nullptr));

	const vh::ObjectPlugin* p = vh::FindObjectPlugin(ID_PROBE);
	ASSERT_NE(p, nullptr);
	EXPECT_EQ(p->name, "Probe");
	EXPECT_EQ(p->info, OBJECT_GENERATOR | OBJECT_CALL_ADDEXECUTION);
	EXPECT_EQ(p->description, "Oprobe");
	EXPECT_EQ(p->disklevel, ID_PROBE_LEVEL);
	EXPECT_EQ(p->iconWidth, 0);
}

TEST_F(ScenePlugins, RegistrationCopiesTheIconSizeSoTheCallerMayFreeIt)
{
	constexpr Int32 ID_ICON = 1999004;
	if (!vh::FindObjectPlugin(ID_ICON))
	{
		BaseBitmap* icon = BaseBitmap::Alloc();
		ASSERT_NE(icon, nullptr);
		icon->_state->width = 32;
		icon->_state->height = 24;
		ASSERT_TRUE(vh::RegisterObjectPluginHost(ID_ICON, "Icon"_s, 0, AllocProbe, String(), icon, 0, nullptr));
		BaseBitmap::Free(icon);
	}
	const vh::ObjectPlugin* p = vh::FindObjectPlugin(ID_ICON);
	ASSERT_NE(p, nullptr);
	EXPECT_EQ(p->iconWidth, 32);
	EXPECT_EQ(p->iconHeight, 24);
}

TEST_F(ScenePlugins, UnregisterAllForgetsEveryPlugin)
{
	std::vector<vh::ObjectPlugin> saved = vh::ObjectPlugins();
	ASSERT_FALSE(saved.empty());
	vh::UnregisterAllPlugins();
	EXPECT_TRUE(vh::ObjectPlugins().empty());
	EXPECT_EQ(vh::FindObjectPlugin(ID_PROBE), nullptr);
	EXPECT_EQ(vh::AllocPluginObject(ID_PROBE), nullptr);
	for (const vh::ObjectPlugin& p : saved)
		ASSERT_TRUE(vh::RegisterObjectPluginHost(p.id, p.name, p.info, p.allocator, p.description, nullptr, p.disklevel, p.resource));
	EXPECT_EQ(vh::ObjectPlugins().size(), saved.size());
}

TEST_F(ScenePlugins, PluginObjectIsInitialisedAndFreedThroughItsData)
{
	Bool initOk = false;
	BaseObject* op = vh::AllocPluginObject(ID_PROBE, &initOk);
	ASSERT_NE(op, nullptr);
	EXPECT_TRUE(initOk);
	EXPECT_EQ(op->GetType(), ID_PROBE);
	EXPECT_EQ(op->GetName(), "Probe");
	ProbeData* data = DataOf(op);
	ASSERT_NE(data, nullptr);
	EXPECT_EQ(data->Get(), op);
	EXPECT_EQ(op->GetDataInstance()->GetInt32(PROBE_VALUE), 7);
	EXPECT_THAT(Log().calls, ElementsAre("Init"));

	BaseObject::Free(op);
	EXPECT_THAT(Log().calls, ElementsAre("Init", "Free"));
	EXPECT_EQ(Log().destroyed, 1);

	// BaseObject::Alloc of a registered type makes the same plug-in object.
	BaseObject* viaAlloc = BaseObject::Alloc(ID_PROBE);
	ASSERT_NE(viaAlloc, nullptr);
	EXPECT_NE(viaAlloc->GetNodeData(), nullptr);
	BaseObject::Free(viaAlloc);
	EXPECT_EQ(Log().destroyed, 2);
}

TEST_F(ScenePlugins, FailedInitStillGivesTheObject)
{
	Log().initResult = false;
	Bool initOk = true;
	BaseObject* op = vh::AllocPluginObject(ID_PROBE, &initOk);
	ASSERT_NE(op, nullptr);
	EXPECT_FALSE(initOk);
	EXPECT_NE(op->GetNodeData(), nullptr);
	BaseObject::Free(op);
	EXPECT_EQ(Log().destroyed, 1);
}

TEST_F(ScenePlugins, AllocationFailuresOfPluginObjects)
{
	Bool initOk = true;
	EXPECT_EQ(vh::AllocPluginObject(1999999, &initOk), nullptr) << "unknown type";
	EXPECT_FALSE(initOk);

	Int objects = vh::AllocationCount(vh::AllocKind::OBJECT);
	EXPECT_EQ(vh::AllocPluginObject(ID_NOALLOC), nullptr) << "the allocator gave no data";
	EXPECT_EQ(vh::AllocationCount(vh::AllocKind::OBJECT), objects + 1);

	vh::FailAllocations(vh::AllocKind::OBJECT);
	EXPECT_EQ(vh::AllocPluginObject(ID_PROBE), nullptr);
	vh::FailAllocations(vh::AllocKind::MEMORY);
	EXPECT_EQ(vh::AllocPluginObject(ID_PROBE), nullptr) << "NewObjClear ran out of memory";
	EXPECT_TRUE(Log().calls.empty()) << "Init must not run without data";
}

TEST_F(ScenePlugins, MessagesGoToThePluginData)
{
	BaseObject* op = Probe("p");
	EXPECT_TRUE(op->Message(MSG_UPDATE));
	EXPECT_THAT(Log().calls, ElementsAre("Init", "Msg:5"));
	BaseObject* plain = BaseObject::Alloc(Onull);
	EXPECT_TRUE(plain->Message(MSG_UPDATE));
	BaseObject::Free(plain);
	BaseObject::Free(op);
}

TEST_F(ScenePlugins, GeneratorCacheIsKeptWhileNothingChanged)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* op = Probe("gen");
	doc->InsertObject(op, nullptr, nullptr);
	EXPECT_TRUE(op->CheckCache(nullptr));
	EXPECT_EQ(op->GetCache(), nullptr);

	vh::EvaluateDocument(doc);
	BaseObject* first = op->GetCache();
	ASSERT_NE(first, nullptr);
	EXPECT_EQ(Log().builds, 1);
	EXPECT_FALSE(op->CheckCache(nullptr));
	EXPECT_FALSE(op->IsDirty(DIRTYFLAGS::DATA)) << "the host touches the generator after evaluating it";
	EXPECT_EQ(first->GetUp(), nullptr);
	EXPECT_EQ(first->GetDocument(), nullptr);
	EXPECT_EQ(first->GetDown()->GetCacheParent(), op);
	EXPECT_THAT(ChildNames(first), ElementsAre("generated"));

	vh::EvaluateDocument(doc);
	EXPECT_EQ(op->GetCache(), first);
	EXPECT_EQ(Log().builds, 1);

	// A change of the data makes the generator build anew; the host frees the old cache.
	BaseLink* oldChild = BaseLink::Alloc();
	oldChild->SetLink(first->GetDown());
	op->SetDirty(DIRTYFLAGS::DATA);
	vh::EvaluateDocument(doc);
	EXPECT_EQ(Log().builds, 2);
	ASSERT_NE(op->GetCache(), nullptr);
	EXPECT_EQ(oldChild->ForceGetLink(), nullptr);
	EXPECT_FALSE(op->IsDirty(DIRTYFLAGS::DATA));

	// An invalidated cache is rebuilt too.
	op->SetDirty(DIRTYFLAGS::CACHE);
	EXPECT_TRUE(op->CheckCache(nullptr));
	vh::EvaluateDocument(doc);
	EXPECT_EQ(Log().builds, 3);

	// Returning nothing leaves the generator without a cache.
	Log().returnNothing = true;
	vh::EvaluateDocument(doc);
	EXPECT_EQ(op->GetCache(), nullptr);
	EXPECT_TRUE(op->CheckCache(nullptr));
	BaseLink::Free(oldChild);
	BaseDocument::Free(doc);
}

TEST_F(ScenePlugins, GeneratorThatIgnoresItsCacheReplacesItEveryTime)
{
	Log().honourCache = false;
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* op = Probe("gen");
	doc->InsertObject(op, nullptr, nullptr);
	vh::EvaluateDocument(doc);
	BaseLink* link = BaseLink::Alloc();
	link->SetLink(op->GetCache());
	vh::EvaluateDocument(doc);
	EXPECT_EQ(Log().builds, 2);
	EXPECT_EQ(link->ForceGetLink(), nullptr);
	EXPECT_NE(op->GetCache(), nullptr);
	BaseLink::Free(link);
	// Freeing the generator frees its cache with it (ASan checks).
	BaseDocument::Free(doc);
}

TEST_F(ScenePlugins, ExecutionPassRunsByPriorityBeforeTheGenerators)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* late1 = Probe("late1");
	BaseObject* early = Probe("early");
	BaseObject* late2 = Probe("late2");
	BaseObject* plain = Probe("plain", ID_PLAIN);
	late1->GetDataInstance()->SetInt32(PROBE_PRIORITY, EXECUTIONPRIORITY_EXPRESSION);
	early->GetDataInstance()->SetInt32(PROBE_PRIORITY, EXECUTIONPRIORITY_INITIAL);
	late2->GetDataInstance()->SetInt32(PROBE_PRIORITY, EXECUTIONPRIORITY_EXPRESSION);
	doc->InsertObject(late1, nullptr, nullptr);
	doc->InsertObject(plain, nullptr, late1);
	// Nested objects take part too.
	early->InsertUnder(plain);
	late2->InsertUnderLast(early);
	Log().calls.clear();

	vh::EvaluateDocument(doc);
	EXPECT_THAT(Log().calls, ElementsAre("Execute:early", "Execute:late1", "Execute:late2", "GVO:late1", "GVO:early",
		"GVO:late2"));
	EXPECT_EQ(plain->GetCache(), nullptr);
	BaseDocument::Free(doc);
}

TEST_F(ScenePlugins, BroadcastReachesEveryObject)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* a = Probe("a");
	BaseObject* b = Probe("b");
	BaseObject* null = BaseObject::Alloc(Onull);
	doc->InsertObject(null, nullptr, nullptr);
	a->InsertUnder(null);
	b->InsertUnder(a);
	Log().calls.clear();
	vh::BroadcastMessage(doc, MSG_CHANGE, nullptr);
	EXPECT_THAT(Log().calls, ElementsAre("Msg:7", "Msg:7"));
	BaseDocument::Free(doc);
}

TEST_F(ScenePlugins, CloneInitialisesTheCopyThenCallsCopyTo)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseMaterial* mat = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(mat);
	BaseObject* src = Probe("source");
	doc->InsertObject(src, nullptr, nullptr);
	src->GetDataInstance()->SetInt32(PROBE_VALUE, 42);
	src->SetRelPos(Vector(1, 2, 3));
	ObjectColorProperties col;
	col.usecolor = 2;
	col.color = Vector(1, 0, 0);
	src->SetColorProperties(&col);
	src->MakeTag(Tphong);
	TextureTag* tex = static_cast<TextureTag*>(src->MakeTag(Ttexture));
	tex->SetMaterial(mat);
	tex->GetDataInstance()->SetFloat(TEXTURETAG_TILESX, 3.0);
	BaseObject* child = Probe("child");
	child->InsertUnder(src);
	DataOf(src)->values = { 4, 5, 6 };
	vh::EvaluateDocument(doc);
	ASSERT_NE(src->GetCache(), nullptr);
	Log().calls.clear();

	BaseObject* copy = vh::CloneObject(src);
	ASSERT_NE(copy, nullptr);
	// Copy first, then its child; each copy is initialised before the source's data is copied into it.
	EXPECT_THAT(Log().calls, ElementsAre("Init", "Init", "CopyTo", "CopyTo"));
	EXPECT_TRUE(Log().copyToSawInitedDest);
	EXPECT_NE(copy, src);
	EXPECT_EQ(copy->GetType(), ID_PROBE);
	EXPECT_EQ(copy->GetName(), "source");
	EXPECT_EQ(copy->GetDataInstance()->GetInt32(PROBE_VALUE), 42);
	EXPECT_EQ(copy->GetRelPos(), Vector(1, 2, 3));
	ObjectColorProperties got;
	copy->GetColorProperties(&got);
	EXPECT_EQ(got.usecolor, 2);
	EXPECT_EQ(got.color, Vector(1, 0, 0));
	EXPECT_THAT(DataOf(copy)->values, ElementsAre(4, 5, 6));
	EXPECT_EQ(copy->GetCache(), nullptr) << "caches are not copied";
	EXPECT_EQ(copy->GetDocument(), nullptr);

	EXPECT_THAT(TagTypes(copy), ElementsAre("texture", "phong"));
	TextureTag* texCopy = static_cast<TextureTag*>(copy->GetTag(Ttexture));
	EXPECT_NE(texCopy, tex);
	EXPECT_EQ(texCopy->GetMaterial(), mat);
	EXPECT_EQ(texCopy->GetDataInstance()->GetFloat(TEXTURETAG_TILESX), 3.0);
	EXPECT_EQ(texCopy->GetObject(), copy);
	ASSERT_NE(copy->GetDown(), nullptr);
	EXPECT_NE(copy->GetDown(), child);
	EXPECT_EQ(copy->GetDown()->GetName(), "child");
	EXPECT_NE(copy->GetDown()->GetNodeData(), child->GetNodeData());

	// Changing the copy leaves the source alone.
	copy->GetDataInstance()->SetInt32(PROBE_VALUE, 1);
	EXPECT_EQ(src->GetDataInstance()->GetInt32(PROBE_VALUE), 42);
	BaseObject::Free(copy);
	BaseDocument::Free(doc);
}

TEST_F(ScenePlugins, CloneFailuresLeaveNothingBehind)
{
	BaseObject* src = Probe("source");
	src->MakeTag(Tphong);
	BaseObject* child = BaseObject::Alloc(Onull);
	child->InsertUnder(src);

	Log().copyToResult = false;
	EXPECT_EQ(vh::CloneObject(src), nullptr);
	Log().copyToResult = true;

	vh::FailAllocations(vh::AllocKind::TAG);
	EXPECT_EQ(vh::CloneObject(src), nullptr);
	vh::FailAllocations(vh::AllocKind::OBJECT, 1, 1);
	EXPECT_EQ(vh::CloneObject(src), nullptr) << "the child cannot be allocated";
	vh::ResetAllocationFailures();
	Int32 destroyedBefore = Log().destroyed;
	BaseObject* ok = vh::CloneObject(src);
	ASSERT_NE(ok, nullptr);
	EXPECT_EQ(Log().destroyed, destroyedBefore);
	BaseObject::Free(ok);
	BaseObject::Free(src);
	EXPECT_EQ(Log().destroyed, 5) << "three failed copies, one good copy and the source";
}

TEST_F(ScenePlugins, CopyToOverwritesAnExistingObject)
{
	BaseObject* src = Probe("src");
	BaseObject* dst = Probe("dst");
	BaseObject::Alloc(Onull)->InsertUnder(dst);
	dst->MakeTag(Ttexture);
	src->GetDataInstance()->SetInt32(PROBE_VALUE, 9);
	BaseObject* kid = BaseObject::Alloc(Osweep);
	kid->InsertUnder(src);

	EXPECT_TRUE(src->CopyTo(dst, COPYFLAGS::NONE, nullptr));
	EXPECT_EQ(dst->GetName(), "src");
	EXPECT_EQ(dst->GetDataInstance()->GetInt32(PROBE_VALUE), 9);
	EXPECT_EQ(dst->GetFirstTag(), nullptr);
	ASSERT_NE(dst->GetDown(), nullptr);
	EXPECT_EQ(dst->GetDown()->GetType(), Osweep);
	EXPECT_EQ(dst->GetDown()->GetNext(), nullptr);

	BaseObject* other = BaseObject::Alloc(Onull);
	EXPECT_FALSE(src->CopyTo(other, COPYFLAGS::NONE, nullptr)) << "types differ";
	BaseObject::Free(other);
	BaseObject::Free(src);
	BaseObject::Free(dst);
}
} // namespace
