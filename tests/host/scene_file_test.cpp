// Scene files: round trip, plug-in data blocks, load broadcast, unknown plug-ins and damaged files.
#include <fstream>
#include <iterator>

#include <sys/stat.h>

#include "internal.h"
#include "scene_support.h"
#include "testfiles.h"

using namespace scene_test;
using ::testing::ElementsAre;

namespace
{
Filename File(const std::string& path)
{
	return Filename(vh::FromUtf8(path));
}

BaseObject* Probe(const char* name, Int32 marker)
{
	BaseObject* op = vh::AllocPluginObject(ID_PROBE);
	op->SetName(String(name));
	op->GetDataInstance()->SetInt32(PROBE_VALUE, marker);
	return op;
}

class SceneFile : public ProbeTest
{
protected:
	void SetUp() override
	{
		ProbeTest::SetUp();
		vh::SetEcho(false);
	}
	void TearDown() override
	{
		vh::SetEcho(true);
		ProbeTest::TearDown();
	}
	std::string TempPath(const std::string& name) const { return _scratch.File(name); }

private:
	testfiles::TempDir _scratch;
};

// Materials red and blue; a null "root" with values of every kind in its container (links to
// both materials and to outsider, which the document does not hold), a colour record, a texture
// and a phong tag, and under it a spline and a probe; beside it a sweep that links the probe.
BaseDocument* MixedScene(BaseObject* outsider)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseMaterial* red = BaseMaterial::Alloc(Mmaterial);
	red->SetName("red"_s);
	red->GetDataInstance()->SetVector(MATERIAL_COLOR_COLOR, Vector(1, 0, 0));
	BaseMaterial* blue = BaseMaterial::Alloc(Mmaterial);
	blue->SetName("blue"_s);
	doc->InsertMaterial(red);
	doc->InsertMaterial(blue, red);

	BaseObject* root = BaseObject::Alloc(Onull);
	root->SetName("root"_s);
	root->SetRelPos(Vector(1, 2, 3));
	doc->InsertObject(root, nullptr, nullptr);
	BaseContainer* bc = root->GetDataInstance();
	bc->SetInt32(10, -4);
	bc->SetFloat(11, 0.125);
	bc->SetString(12, "text"_s);
	bc->SetFilename(13, Filename("/a/b.sdf"));
	BaseContainer nested;
	nested.SetLink(1, blue);
	bc->SetContainer(14, nested);
	bc->SetLink(15, red);
	bc->SetLink(16, outsider);
	ObjectColorProperties col;
	col.usecolor = 1;
	col.color = Vector(0, 0.5, 1);
	col.xray = true;
	root->SetColorProperties(&col);
	TextureTag* tex = static_cast<TextureTag*>(root->MakeTag(Ttexture));
	tex->SetMaterial(blue);
	tex->GetDataInstance()->SetInt32(TEXTURETAG_PROJECTION, TEXTURETAG_PROJECTION_UVW);
	root->MakeTag(Tphong, tex);

	SplineObject* spline = SplineObject::Alloc(2, SPLINETYPE::BEZIER);
	spline->GetPointW()[1] = Vector(0, 5, 0);
	spline->GetTangentW()[1].vl = Vector(-1, 0, 0);
	spline->InsertUnderLast(root);
	BaseObject* probe = Probe("probe", 42);
	probe->InsertUnderLast(root);
	BaseObject* second = BaseObject::Alloc(Osweep);
	doc->InsertObject(second, nullptr, root);
	second->GetDataInstance()->SetLink(1, probe);
	return doc;
}

TEST_F(SceneFile, RoundTripKeepsTreeContainersMaterialsAndLinks)
{
	BaseObject* outsider = BaseObject::Alloc(Onull);
	BaseDocument* doc = MixedScene(outsider);
	std::string path = TempPath("roundtrip.vhs");
	ASSERT_TRUE(vh::SaveDocument(doc, File(path)));
	BaseDocument* loaded = vh::LoadDocument(File(path));
	ASSERT_NE(loaded, nullptr);

	BaseMaterial* lred = loaded->GetFirstMaterial();
	ASSERT_NE(lred, nullptr);
	BaseMaterial* lblue = lred->GetNext();
	ASSERT_NE(lblue, nullptr);
	EXPECT_EQ(lblue->GetNext(), nullptr);
	EXPECT_NE(lred, doc->GetFirstMaterial());
	EXPECT_EQ(lred->GetName(), "red");
	EXPECT_EQ(lblue->GetName(), "blue");
	EXPECT_EQ(lred->GetDataInstance()->GetVector(MATERIAL_COLOR_COLOR), Vector(1, 0, 0));
	EXPECT_EQ(lred->GetDocument(), loaded);

	EXPECT_THAT(TopNames(loaded), ElementsAre("root", "Sweep"));
	BaseObject* lroot = loaded->GetFirstObject();
	EXPECT_EQ(lroot->GetRelPos(), Vector(1, 2, 3));
	const BaseContainer* lbc = lroot->GetDataInstance();
	EXPECT_EQ(lbc->GetInt32(10), -4);
	EXPECT_EQ(lbc->GetFloat(11), 0.125);
	EXPECT_EQ(lbc->GetString(12), "text");
	EXPECT_EQ(lbc->GetFilename(13).GetString(), "/a/b.sdf");
	// Links point at the loaded copies, in the loaded document; a link to what was not saved points nowhere.
	EXPECT_EQ(lbc->GetLink(15, loaded), lred);
	EXPECT_EQ(lbc->GetContainer(14).GetLink(1, loaded), lblue);
	EXPECT_EQ(lbc->GetLink(16, nullptr), nullptr);
	ObjectColorProperties lcol;
	lroot->GetColorProperties(&lcol);
	EXPECT_EQ(lcol.usecolor, 1);
	EXPECT_EQ(lcol.color, Vector(0, 0.5, 1));
	EXPECT_TRUE(lcol.xray);

	EXPECT_THAT(TagTypes(lroot), ElementsAre("texture", "phong"));
	TextureTag* ltex = static_cast<TextureTag*>(lroot->GetFirstTag());
	EXPECT_EQ(ltex->GetMaterial(), lblue);
	EXPECT_EQ(ltex->GetDataInstance()->GetInt32(TEXTURETAG_PROJECTION), TEXTURETAG_PROJECTION_UVW);

	EXPECT_THAT(ChildNames(lroot), ElementsAre("Spline", "probe"));
	SplineObject* lspline = static_cast<SplineObject*>(lroot->GetDown());
	ASSERT_EQ(lspline->GetType(), Ospline);
	EXPECT_EQ(lspline->GetPointCount(), 2);
	EXPECT_EQ(lspline->GetPointR()[1], Vector(0, 5, 0));
	ASSERT_EQ(lspline->GetTangentCount(), 2);
	EXPECT_EQ(lspline->GetTangentR()[1].vl, Vector(-1, 0, 0));
	EXPECT_EQ(lspline->GetDataInstance()->GetInt32(SPLINEOBJECT_TYPE), SPLINEOBJECT_TYPE_BEZIER);
	BaseObject* lprobe = lspline->GetNext();
	EXPECT_NE(lprobe->GetNodeData(), nullptr);
	EXPECT_EQ(lprobe->GetDataInstance()->GetInt32(PROBE_VALUE), 42) << "the stored container replaces Init's";
	EXPECT_EQ(lroot->GetNext()->GetDataInstance()->GetLink(1, loaded), lprobe);

	BaseObject::Free(outsider);
	BaseDocument::Free(doc);
	BaseDocument::Free(loaded);
}

TEST_F(SceneFile, PluginObjectsAreInitialisedThenReadThenToldTheDocumentWasLoaded)
{
	BaseDocument* doc = BaseDocument::Alloc();
	doc->InsertObject(Probe("a", 1), nullptr, nullptr);
	std::string path = TempPath("order.vhs");
	ASSERT_TRUE(vh::SaveDocument(doc, File(path)));
	EXPECT_THAT(Log().calls, ElementsAre("Init", "Write"));
	Log().calls.clear();

	BaseDocument* loaded = vh::LoadDocument(File(path));
	ASSERT_NE(loaded, nullptr);
	EXPECT_THAT(Log().calls, ElementsAre("Init", "Read", "Msg:" + std::to_string(MSG_DOCUMENTINFO)));
	EXPECT_THAT(Log().readLevels, ElementsAre(ID_PROBE_LEVEL));
	EXPECT_THAT(Log().docInfoTypes, ElementsAre(MSG_DOCUMENTINFO_TYPE_LOAD));
	EXPECT_THAT(Log().docInfoDocs, ElementsAre(loaded));
	BaseDocument::Free(doc);
	BaseDocument::Free(loaded);
}

// Two probes with a plain object between and after them, so a misread block shows up in what follows.
BaseDocument* TwoProbes()
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* a = Probe("a", 1);
	BaseObject* b = Probe("b", 2);
	BaseObject* mid = BaseObject::Alloc(Onull);
	mid->SetName("mid"_s);
	BaseObject* last = BaseObject::Alloc(Onull);
	last->SetName("last"_s);
	last->GetDataInstance()->SetInt32(5, 555);
	doc->InsertObject(last, nullptr, nullptr);
	doc->InsertObject(b, nullptr, nullptr);
	doc->InsertObject(mid, nullptr, nullptr);
	doc->InsertObject(a, nullptr, nullptr);
	BaseObject::Alloc(Onull)->InsertUnder(a);
	return doc;
}

TEST_F(SceneFile, ReadThatStopsEarlyDoesNotShiftTheRestOfTheFile)
{
	BaseDocument* doc = TwoProbes();
	Log().writeCount = 3;
	std::string path = TempPath("short.vhs");
	ASSERT_TRUE(vh::SaveDocument(doc, File(path)));
	Log().readCount = 1;
	BaseDocument* loaded = vh::LoadDocument(File(path));
	ASSERT_NE(loaded, nullptr);
	EXPECT_THAT(Log().readValues, ElementsAre(10, 20));
	EXPECT_THAT(TopNames(loaded), ElementsAre("a", "mid", "b", "last"));
	EXPECT_EQ(loaded->GetFirstObject()->GetDown()->GetName(), "Null");
	BaseObject* last = loaded->GetFirstObject()->GetNext()->GetNext()->GetNext();
	EXPECT_EQ(last->GetDataInstance()->GetInt32(5), 555);
	BaseDocument::Free(doc);
	BaseDocument::Free(loaded);
}

TEST_F(SceneFile, ReadPastItsBlockFailsInsteadOfTakingTheNextObjectsData)
{
	BaseDocument* doc = TwoProbes();
	Log().writeCount = 1;
	std::string path = TempPath("long.vhs");
	ASSERT_TRUE(vh::SaveDocument(doc, File(path)));
	Log().readCount = 3;
	BaseDocument* loaded = vh::LoadDocument(File(path));
	ASSERT_NE(loaded, nullptr);
	EXPECT_THAT(Log().readResults, ElementsAre(true, false, false, true, false, false));
	EXPECT_THAT(Log().readValues, ElementsAre(10, -1, -1, 20, -1, -1));
	EXPECT_THAT(TopNames(loaded), ElementsAre("a", "mid", "b", "last"));
	BaseObject* b = loaded->GetFirstObject()->GetNext()->GetNext();
	EXPECT_THAT(static_cast<ProbeData*>(b->GetNodeData())->values, ElementsAre(20));
	BaseDocument::Free(doc);
	BaseDocument::Free(loaded);
}

TEST_F(SceneFile, ObjectOfAnUnregisteredPluginIsSkippedWithAConsoleLine)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* plain = vh::AllocPluginObject(ID_PLAIN);
	plain->SetName("gone"_s);
	BaseObject::Alloc(Onull)->InsertUnder(plain);
	BaseObject* after = Probe("after", 3);
	doc->InsertObject(after, nullptr, nullptr);
	doc->InsertObject(plain, nullptr, nullptr);
	std::string path = TempPath("unknown.vhs");
	ASSERT_TRUE(vh::SaveDocument(doc, File(path)));
	BaseDocument::Free(doc);

	std::vector<vh::ObjectPlugin> saved = vh::ObjectPlugins();
	vh::UnregisterAllPlugins();
	for (const vh::ObjectPlugin& p : saved)
	{
		if (p.id != ID_PLAIN)
		{
			ASSERT_TRUE(vh::RegisterObjectPluginHost(p.id, p.name, p.info, p.allocator, p.description, nullptr,
				p.disklevel, p.resource));
		}
	}
	vh::ClearConsoleAndDialogs();
	Log() = ProbeLog();
	BaseDocument* loaded = vh::LoadDocument(File(path));
	ASSERT_TRUE(vh::RegisterObjectPluginHost(ID_PLAIN, "Plain"_s, 0, ProbeData::Alloc, String(), nullptr, 0, nullptr));

	ASSERT_NE(loaded, nullptr);
	EXPECT_THAT(TopNames(loaded), ElementsAre("after"));
	EXPECT_THAT(Log().readValues, ElementsAre(30)) << "the skipped block is not read by anyone";
	Bool mentioned = false;
	for (const std::string& line : vh::ConsoleLines())
		mentioned = mentioned || (line.find("1999002") != std::string::npos && line.find("gone") != std::string::npos);
	EXPECT_TRUE(mentioned);
	BaseDocument::Free(loaded);
}

TEST_F(SceneFile, TruncatedOrDamagedFilesGiveNothingAndLeakNothing)
{
	BaseDocument* doc = TwoProbes();
	BaseMaterial* mat = BaseMaterial::Alloc(Mmaterial);
	doc->InsertMaterial(mat);
	TextureTag* tex = static_cast<TextureTag*>(doc->GetFirstObject()->MakeTag(Ttexture));
	tex->SetMaterial(mat);
	std::string path = TempPath("whole.vhs");
	ASSERT_TRUE(vh::SaveDocument(doc, File(path)));
	BaseDocument::Free(doc);
	const std::string bytes = testfiles::ReadFile(path);
	ASSERT_GT(bytes.size(), 100u);

	std::string cut = TempPath("cut.vhs");
	for (size_t n = 0; n < bytes.size(); ++n)
	{
		testfiles::WriteFile(cut, bytes.substr(0, n));
		std::string why;
		BaseDocument* d = vh::LoadDocument(File(cut), &why);
		EXPECT_EQ(d, nullptr) << "truncated to " << n << " bytes";
		EXPECT_EQ(why, "truncated at byte " + std::to_string(n));
		BaseDocument::Free(d);
	}
	EXPECT_EQ(Log().docInfoTypes.size(), 0u) << "no broadcast for a document that was not loaded";

	// Any single damaged byte: a document or nothing, never a crash or a leak (ASan checks).
	std::string bad = TempPath("bad.vhs");
	for (size_t i = 0; i < bytes.size(); ++i)
	{
		std::string damaged = bytes;
		damaged[i] = char(damaged[i] ^ 0x5a);
		testfiles::WriteFile(bad, damaged);
		BaseDocument* d = vh::LoadDocument(File(bad));
		BaseDocument::Free(d);
	}

	// The header's own faults, and a value of the wrong type where the scene's version belongs.
	const std::vector<std::pair<size_t, std::string>> reasons = {{0, "bad magic (not a scene file)"},
		{4, "unsupported version 95 (this host reads 1 to 1)"},
		{8, "not a scene file (a file of another kind in the same framing)"}, {12, "damaged at byte 12"}};
	for (const auto& [at, reason] : reasons)
	{
		std::string damaged = bytes;
		damaged[at] = char(damaged[at] ^ 0x5e);
		testfiles::WriteFile(bad, damaged);
		std::string why;
		EXPECT_EQ(vh::LoadDocument(File(bad), &why), nullptr);
		EXPECT_EQ(why, reason);
	}

	std::string garbage(512, '\0');
	for (size_t i = 0; i < garbage.size(); ++i)
		garbage[i] = char((i * 131 + 7) & 0xff);
	testfiles::WriteFile(bad, garbage);
	EXPECT_EQ(vh::LoadDocument(File(bad)), nullptr);
	EXPECT_EQ(vh::LoadDocument(File(TempPath("does-not-exist.vhs"))), nullptr);
}

// The size a file reports when it is opened is no bound on what a read returns (a file that grows,
// a /proc file that says 0): the read stops one byte past the limit.
TEST_F(SceneFile, ReadStopsOneBytePastTheLimitWhateverTheSizeSaid)
{
	struct stat info;
	ASSERT_EQ(stat("/proc/self/status", &info), 0);
	ASSERT_TRUE(S_ISREG(info.st_mode));
	ASSERT_EQ(info.st_size, 0) << "the test needs a file whose size says less than it holds";
	std::vector<unsigned char> bytes;
	std::string why;
	EXPECT_FALSE(vh::ReadFileCapped("/proc/self/status", 64, bytes, why));
	EXPECT_EQ(bytes.size(), 65u);
	EXPECT_EQ(why, "more than 64 bytes, over the limit of 64 bytes");

	const std::string path = TempPath("small.vhs");
	testfiles::WriteFile(path, std::string(64, 'x'));
	EXPECT_TRUE(vh::ReadFileCapped(path, 64, bytes, why));
	EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string(64, 'x'));
	testfiles::WriteFile(path, std::string(65, 'x'));
	EXPECT_FALSE(vh::ReadFileCapped(path, 64, bytes, why));
	EXPECT_EQ(why, "65 bytes, over the limit of 64 bytes");
	EXPECT_TRUE(bytes.empty()) << "a size known to be over the limit is refused before reading";
	const std::string fifo = TempPath("fifo");
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	EXPECT_FALSE(vh::ReadFileCapped(fifo, 64, bytes, why)) << "a pipe with no writer would block the open";
	EXPECT_EQ(why, "not a regular file");
}

TEST_F(SceneFile, SaveToAnUnwritablePlaceFails)
{
	BaseDocument* doc = BaseDocument::Alloc();
	EXPECT_FALSE(vh::SaveDocument(doc, File("/nonexistent-dir-vh/scene.vhs")));
	EXPECT_FALSE(vh::SaveDocument(nullptr, File(TempPath("null.vhs"))));
	BaseDocument::Free(doc);
}

TEST_F(SceneFile, FailedPluginWriteFailsTheSaveAndKeepsTheOldFile)
{
	std::string path = TempPath("failwrite.vhs");
	BaseDocument* first = BaseDocument::Alloc();
	BaseObject* keep = BaseObject::Alloc(Onull);
	keep->SetName("kept"_s);
	first->InsertObject(keep, nullptr, nullptr);
	ASSERT_TRUE(vh::SaveDocument(first, File(path)));
	BaseDocument::Free(first);

	BaseDocument* doc = BaseDocument::Alloc();
	doc->InsertObject(Probe("p", 1), nullptr, nullptr);
	Log().writeResult = false;
	EXPECT_FALSE(vh::SaveDocument(doc, File(path)));
	BaseDocument::Free(doc);

	BaseDocument* loaded = vh::LoadDocument(File(path));
	ASSERT_NE(loaded, nullptr);
	EXPECT_THAT(TopNames(loaded), ElementsAre("kept"));
	BaseDocument::Free(loaded);
}
} // namespace
