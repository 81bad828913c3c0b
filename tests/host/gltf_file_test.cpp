// ExportGltf's files: edge cases, failures that leave nothing behind, and the Khronos validator.
#include <filesystem>
#include <fstream>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include "gltf_support.h"

using namespace gltf_test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace
{
std::string Export(BaseDocument* doc, const std::string& file, Bool* ok, vh::ExportSummary* s = nullptr)
{
	std::string error;
	*ok = vh::ExportGltf(doc, Filename(vh::FromUtf8(file)), s, &error);
	return error;
}

TEST_F(ExportTest, EmptyDocumentIsASceneWithOnlyTheRootAndNoBuffer)
{
	Doc d;
	tinygltf::Model m;
	vh::ExportSummary s;
	ASSERT_TRUE(ExportAndLoad(d.doc, m, &s));
	ASSERT_EQ(m.nodes.size(), 1u);
	EXPECT_EQ(m.nodes[0].name, "scene");
	EXPECT_TRUE(m.meshes.empty());
	EXPECT_TRUE(m.buffers.empty());
	EXPECT_TRUE(m.accessors.empty());
	EXPECT_EQ(m.asset.version, "2.0");
	EXPECT_EQ(s.objects, 0);
	EXPECT_EQ(s.triangles, 0);
	EXPECT_GT(s.bytes, 0);
}

TEST_F(ExportTest, GeneratorWithoutACacheAndEmptyPolygonObjectsGetNodesWithoutMeshes)
{
	Doc d;
	AddGenerator(d.doc, "Nothing", Vector(5.0, 0.0, 0.0), [] { return nullptr; });
	d.doc->InsertObject(Named(PolygonObject::Alloc(0, 0), "Empty"), nullptr, nullptr);
	// A sweep without its splines makes no tube.
	d.doc->InsertObject(Named(BaseObject::Alloc(Osweep), "Bare"), nullptr, nullptr);
	tinygltf::Model m;
	vh::ExportSummary s;
	ASSERT_TRUE(ExportAndLoad(d.doc, m, &s));
	for (const char* name : { "Nothing", "Empty", "Bare" })
	{
		ASSERT_NE(FindNode(m, name), nullptr) << name;
		EXPECT_EQ(FindNode(m, name)->mesh, -1) << name;
	}
	EXPECT_THAT(FindNode(m, "Nothing")->translation, ElementsAre(5.0, 0.0, 0.0));
	EXPECT_TRUE(m.meshes.empty());
	EXPECT_TRUE(m.buffers.empty());
	EXPECT_EQ(s.objects, 3);
	EXPECT_EQ(s.polygonObjects, 0);
	EXPECT_EQ(s.sweeps, 0);
}

TEST_F(ExportTest, PolygonsWithIndicesOutsideThePointsAreLeftOut)
{
	Doc d;
	PolygonObject* op = PolygonObject::Alloc(4, 3);
	const Vector pts[4] = { { 0, 0, 0 }, { 10, 0, 0 }, { 10, 10, 0 }, { 0, 10, 0 } };
	std::copy(pts, pts + 4, op->GetPointW());
	op->GetPolygonW()[0] = CPolygon { 0, 1, 2, 3 };
	op->GetPolygonW()[1] = CPolygon { 0, 1, 7, 7 };
	op->GetPolygonW()[2] = CPolygon { -1, 1, 2, 3 };
	d.doc->InsertObject(Named(op, "Quad"), nullptr, nullptr);
	tinygltf::Model m;
	vh::ExportSummary s;
	ASSERT_TRUE(ExportAndLoad(d.doc, m, &s));
	EXPECT_EQ(s.triangles, 2);
	EXPECT_EQ(FileTriangles(m), 2);
	const tinygltf::Primitive* p = PrimitiveOf(m, "Quad");
	ASSERT_NE(p, nullptr);
	EXPECT_THAT(Indices(m, p->indices), ElementsAre(0, 1, 2, 0, 2, 3));
	// A flat quad: every normal is the face's.
	const std::vector<float> n = Floats(m, p->attributes.at("NORMAL"));
	EXPECT_THAT(n, ElementsAre(0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1));
}

TEST_F(ExportTest, MissingFolderFailsWithTheReasonAndLeavesNoFile)
{
	Doc d;
	d.doc->InsertObject(Named(Sphere(10.0), "S"), nullptr, nullptr);
	const std::string file = Path("missing/out.glb");
	Bool ok = true;
	const std::string error = Export(d.doc, file, &ok);
	EXPECT_FALSE(ok);
	EXPECT_EQ(error, "cannot write " + file + ": No such file or directory");
	EXPECT_THAT(Entries(), IsEmpty());
}

TEST_F(ExportTest, DirectoryAsTargetFailsAndLeavesTheDirectoryAndNoTemporary)
{
	Doc d;
	d.doc->InsertObject(Named(Sphere(10.0), "S"), nullptr, nullptr);
	const std::string target = Path("folder.glb");
	std::filesystem::create_directory(target);
	Bool ok = true;
	const std::string error = Export(d.doc, target, &ok);
	EXPECT_FALSE(ok);
	EXPECT_THAT(error, HasSubstr("cannot write " + target + ": "));
	EXPECT_THAT(error, HasSubstr("directory"));
	EXPECT_TRUE(std::filesystem::is_directory(target));
	EXPECT_THAT(Entries(), ElementsAre("folder.glb"));
}

TEST_F(ExportTest, UnwritableFolderFailsAndKeepsTheOldFile)
{
	if (geteuid() == 0)
		GTEST_SKIP() << "root writes into read-only folders";
	Doc d;
	const std::string file = Path("out.glb");
	std::ofstream(file) << "old";
	std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
	Bool ok = true;
	const std::string error = Export(d.doc, file, &ok);
	std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
	EXPECT_FALSE(ok);
	EXPECT_EQ(error, "cannot write " + file + ": Permission denied");
	std::ifstream in(file);
	std::string text;
	in >> text;
	EXPECT_EQ(text, "old");
}

TEST_F(ExportTest, ExistingFileIsReplacedWholeAndNoTemporaryStays)
{
	const std::string file = Path("out.glb");
	std::ofstream(file) << std::string(100000, 'x');
	Doc d;
	Bool ok = false;
	vh::ExportSummary s;
	EXPECT_EQ(Export(d.doc, file, &ok, &s), "");
	ASSERT_TRUE(ok);
	EXPECT_EQ(Int64(std::filesystem::file_size(file)), s.bytes);
	EXPECT_LT(s.bytes, 100000);
	EXPECT_THAT(Entries(), ElementsAre("out.glb"));
	tinygltf::Model m;
	tinygltf::TinyGLTF loader;
	std::string err, warn;
	EXPECT_TRUE(loader.LoadBinaryFromFile(&m, &err, &warn, file)) << err;
}

TEST_F(ExportTest, LongAndNonAsciiFileNamesAreWrittenAsGiven)
{
	Doc d;
	d.doc->InsertObject(Named(Sphere(10.0), "S"), nullptr, nullptr);
	// The longest name a Linux folder takes, and UTF-8 beyond Latin-1.
	for (const std::string& name : { std::string(251, 'm') + ".glb", std::string("Koffein-\xC3\xBC-\xE5\x88\x86\xE5\xAD\x90.glb") })
	{
		Bool ok = false;
		EXPECT_EQ(Export(d.doc, Path(name), &ok), "");
		EXPECT_TRUE(ok);
		EXPECT_TRUE(std::filesystem::exists(Path(name))) << name;
	}
	EXPECT_EQ(Entries().size(), 2u);
}

TEST_F(ExportTest, FailedWriteLeavesNoTemporaryEvenForRoot)
{
	// A file-size limit makes the write fail whoever runs the test; the child process takes it.
	Doc d;
	d.doc->InsertObject(Named(Sphere(100.0, 64), "Big"), nullptr, nullptr);
	const std::string file = Path("big.glb");
	const pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0)
	{
		signal(SIGXFSZ, SIG_IGN);
		const rlimit limit { 4096, 4096 };
		setrlimit(RLIMIT_FSIZE, &limit);
		Bool ok = true;
		const std::string error = Export(d.doc, file, &ok);
		_exit(ok ? 1 : error == "cannot write " + file + ": File too large" ? 0 : 2);
	}
	int status = 0;
	ASSERT_EQ(waitpid(child, &status, 0), child);
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported success, 2: other reason";
	EXPECT_THAT(Entries(), IsEmpty());
}

TEST(GltfExportArguments, NoDocumentOrNoFileNameIsAnErrorNotACrash)
{
	std::string error;
	EXPECT_FALSE(vh::ExportGltf(nullptr, Filename("/tmp/never-written.glb"), nullptr, &error));
	EXPECT_EQ(error, "no document to export");
	EXPECT_FALSE(std::filesystem::exists("/tmp/never-written.glb"));
	Doc d;
	EXPECT_FALSE(vh::ExportGltf(d.doc, Filename(), nullptr, &error));
	EXPECT_EQ(error, "no output file given");
	EXPECT_FALSE(vh::ExportGltf(d.doc, Filename(), nullptr, nullptr));
}

// ---- the Khronos validator ------------------------------------------------------------------

class Validated : public ExportTest
{
protected:
	void SetUp() override
	{
		ExportTest::SetUp();
		// Fails rather than skips: a missing validator must not pass unnoticed.
		if (validator::Script().empty())
			FAIL() << "gltf-validator is not installed: run tools/setup.sh (npm ci in tools/)";
	}
	// Exports the document and runs the validator on the file.
	void ExpectValid(BaseDocument* doc, const vh::ExportOptions& options = {})
	{
		const std::string file = Path("out.glb");
		std::string error, log;
		ASSERT_TRUE(vh::ExportGltf(doc, Filename(vh::FromUtf8(file)), nullptr, &error, nullptr, options)) << error;
		EXPECT_EQ(validator::Run({ file }, &log), 0) << log;
		EXPECT_THAT(log, HasSubstr("0 errors, 0 warnings")) << log;
	}
};

TEST_F(Validated, EmptyDocument)
{
	Doc d;
	ExpectValid(d.doc);
}

TEST_F(Validated, OneSphere)
{
	Doc d;
	d.doc->InsertObject(Named(Sphere(100.0, 24), "Sphere"), nullptr, nullptr);
	ExpectValid(d.doc);
}

TEST_F(Validated, BondsOnly)
{
	Doc d;
	BaseObject* root = Named(BaseObject::Alloc(Onull), "Bonds");
	Bond(Vector(0, 0, 0), Vector(0, 40, 0), 3.0, 0)->InsertUnderLast(root);
	Bond(Vector(0, 40, 0), Vector(30, 40, 10), 2.0, 1)->InsertUnderLast(root);
	d.doc->InsertObject(root, nullptr, nullptr);
	ExpectValid(d.doc);
}

TEST_F(Validated, MoleculeWithMaterialsXrayAndAnEmptyGenerator)
{
	Doc d;
	BaseMaterial* mat = AddMaterial(d.doc, "Oxygen", Vector(1.0, 0.1, 0.1));
	AddGenerator(d.doc, "Molecule", Vector(1, 2, 3), [mat] {
		BaseObject* root = Named(BaseObject::Alloc(Onull), "Root");
		BaseObject* c = Named(Sphere(20.0), "C", Vector(10, 0, 0));
		BaseObject* o = Named(Sphere(15.0), "O", Vector(-10, 0, 0));
		BaseObject* b = Bond(Vector(10, 0, 0), Vector(-10, 0, 0));
		SetColour(c, Vector(0.2, 0.2, 0.2), true);
		Assign(o, mat);
		SetColour(b, Vector(0.7, 0.7, 0.7));
		for (BaseObject* op : { c, o, b })
			op->InsertUnderLast(root);
		return root;
	});
	AddGenerator(d.doc, "Unloaded", Vector(), [] { return nullptr; });
	ExpectValid(d.doc);
}

TEST_F(Validated, SharedTubesInEveryDirectionAndTheMergedForm)
{
	Doc d;
	BaseObject* root = Named(BaseObject::Alloc(Onull), "Bonds");
	const Vector ends[] = { { 40, 0, 0 }, { -40, 0, 0 }, { 0, 40, 0 }, { 0, -40, 0 }, { 0, 0, 40 }, { 0, 0, -40 }, { 13, -7, 29 } };
	for (const Vector& end : ends)
		Bond(Vector(1, 2, 3), end, 3.0, 1)->InsertUnderLast(root);
	SetColour(root->GetDown(), Vector(0.2, 0.4, 0.6), true);
	Named(Sphere(10.0), "C", Vector(1, 2, 3))->InsertUnderLast(root);
	d.doc->InsertObject(root, nullptr, nullptr);
	ExpectValid(d.doc);
	ExpectValid(d.doc, vh::ExportOptions { true });
}

TEST_F(Validated, MergedFormWithThirtyTwoBitIndices)
{
	Doc d;
	// Two grids of one material pass the 16-bit index range only together.
	for (const double x : { 0.0, 400.0 })
		d.doc->InsertObject(Named(Grid(200, 180), "Grid", Vector(x, 0.0, 0.0)), nullptr, nullptr);
	ExpectValid(d.doc, vh::ExportOptions { true });
}

TEST_F(Validated, ThirtyTwoBitIndices)
{
	Doc d;
	d.doc->InsertObject(Named(Grid(300, 300), "Grid"), nullptr, nullptr);
	ExpectValid(d.doc);
}

TEST_F(Validated, TheValidatorRejectsABrokenFile)
{
	// A cut-off file must fail, or the checks above prove nothing.
	Doc d;
	d.doc->InsertObject(Named(Sphere(10.0), "S"), nullptr, nullptr);
	const std::string file = Path("out.glb");
	std::string error, log;
	ASSERT_TRUE(vh::ExportGltf(d.doc, Filename(vh::FromUtf8(file)), nullptr, &error)) << error;
	std::filesystem::resize_file(file, std::filesystem::file_size(file) - 64);
	EXPECT_NE(validator::Run({ file }, &log), 0) << log;
}
} // namespace
