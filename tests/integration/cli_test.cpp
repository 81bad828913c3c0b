// vireltan-host's limits and exit statuses: values held to the description, failures that exit
// non-zero with a reason, scenes opened safely.
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "c4d.h"
#include "vh/host.h"
#include "vh/loader.h"

#include "support.h"

#ifdef VIRELTAN_HOST_TOOL
namespace
{
using nlohmann::json;
using namespace integration;
using ::testing::HasSubstr;

const std::string EXAMPLES = std::string(VIRELTAN_SOURCE_DIR) + "/examples";
const std::string CAFFEINE = "'" + EXAMPLES + "/caffeine.sdf'";

TEST(Limits, CommandLineAndScriptValuesOutsideTheDescriptionAreRefused)
{
	const std::string HIDDEN_COUNT =
		"MOLOBJ_MATERIAL_COUNT is kept by the object itself and cannot be set (the attribute panel does not show it)";
	const std::string FINITE = " (expected r,g,b, three finite numbers)";
	const std::vector<std::pair<std::string, std::string>> refused = {
		{"MOLOBJ_ATOM_SEGMENTS=100000", "MOLOBJ_ATOM_SEGMENTS must be from 3 to 256, got 100000"},
		{"MOLOBJ_ATOM_SEGMENTS=2", "MOLOBJ_ATOM_SEGMENTS must be from 3 to 256, got 2"},
		{"MOLOBJ_POSITION_SCALE=-100", "MOLOBJ_POSITION_SCALE must be from 0 to 100000, got -100"},
		{"MOLOBJ_ATOM_SIZE=-5", "MOLOBJ_ATOM_SIZE must be from 0 to 10000, got -5"},
		{"MOLOBJ_ATOM_SIZE=nan", "MOLOBJ_ATOM_SIZE must be from 0 to 10000, got nan"},
		{"MOLOBJ_NUCLEUS_SIZE=1.5", "MOLOBJ_NUCLEUS_SIZE must be from 0 to 1, got 1.5"},
		{"MOLOBJ_DISPLAY_MODE=17", "MOLOBJ_DISPLAY_MODE must be one of 0, 1, 2, got 17"},
		{"MOLOBJ_PRESET=-1", "MOLOBJ_PRESET must be one of 0, 1, 2, 3, 4, 5, got -1"},
		// The panel never shows the group count, and a colour is three finite numbers.
		{"MOLOBJ_MATERIAL_COUNT=-1", HIDDEN_COUNT},
		{"MOLOBJ_MATERIAL_COUNT=2147483647", HIDDEN_COUNT},
		{"MOLOBJ_NUCLEUS_COLOR=nan,0,0", "bad colour for MOLOBJ_NUCLEUS_COLOR: 'nan,0,0'" + FINITE},
		{"MOLOBJ_BOND_COLOR_SINGLE=0,inf,0", "bad colour for MOLOBJ_BOND_COLOR_SINGLE: '0,inf,0'" + FINITE},
		{"MOLOBJ_PRESET_COLOR_H=0,0,-inf", "bad colour for MOLOBJ_PRESET_COLOR_H: '0,0,-inf'" + FINITE},
	};
	for (const auto& [set, message] : refused)
	{
		Output out = Tool("dump " + CAFFEINE + " --set " + set);
		EXPECT_EQ(out.status, 2) << set;
		EXPECT_THAT(out.out, HasSubstr("vireltan-host: " + message + "\n")) << set;
	}
	// The bounds themselves are allowed.
	Output edge = Shell("'" + TOOL + "' --plugins '" + PLUGINS + "' dump " + CAFFEINE +
		" --set MOLOBJ_ATOM_SEGMENTS=256 --set MOLOBJ_POSITION_SCALE=0 --set MOLOBJ_DISPLAY_MODE=2");
	ASSERT_EQ(edge.status, 0);
	EXPECT_EQ(json::parse(edge.out)["objects"][0]["parameters"]["MOLOBJ_ATOM_SEGMENTS"], 256);

	TempDir dir;
	dir.Write("s.txt", "load " + EXAMPLES + "/caffeine.sdf\nset MOLOBJ_ATOM_SEGMENTS 3\nset MOLOBJ_ATOM_SEGMENTS 257\n");
	Output script = Tool("run '" + dir.Path() + "/s.txt'");
	EXPECT_EQ(script.status, 2);
	EXPECT_THAT(script.out, HasSubstr("vireltan-host: line 3: MOLOBJ_ATOM_SEGMENTS must be from 3 to 256, got 257\n"));
	dir.Write("count.txt", "set MOLOBJ_MATERIAL_COUNT 2\n");
	Output count = Tool("run '" + dir.Path() + "/count.txt'");
	EXPECT_EQ(count.status, 2);
	EXPECT_THAT(count.out, HasSubstr("vireltan-host: line 1: MOLOBJ_MATERIAL_COUNT is kept by the object itself"));
}

// A name or a record's first line in a message cannot break the line or send the terminal an escape.
TEST(ExitStatus, MessagesEscapeControlBytesInNamesAndFirstLines)
{
	TempDir dir;
	dir.Write("s.txt", "open a\x1b[31mb.scene\n");
	Output open = Tool("run '" + dir.Path() + "/s.txt'");
	EXPECT_EQ(open.status, 1);
	EXPECT_THAT(open.out, HasSubstr("/a\\x1b[31mb.scene could not be opened: No such file or directory\n"));
	Output set = Tool("dump " + CAFFEINE + " --set \"$(printf 'MOLOBJ_\\r\\tX=1')\"");
	EXPECT_EQ(set.status, 2);
	EXPECT_THAT(set.out, HasSubstr("vireltan-host: unknown parameter 'MOLOBJ_\\x0d\\x09X'\n"));
	dir.Write("new\nline.sdf", "name\n\n\n  0  0  0  0  0  0  0  0  0  0999 V2000\nM  END\n");
	Output none = Tool("export \"$(printf '%s/new\\nline.sdf' '" + dir.Path() + "')\" -o '" + dir.Path() + "/x.glb'");
	EXPECT_EQ(none.status, 1);
	EXPECT_THAT(none.out, HasSubstr("/new\\x0aline.sdf gave no atoms"));
	for (const char c : none.out + open.out + set.out)
		EXPECT_TRUE(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)) << int(c);
}

TEST(ExitStatus, VersionNamesTheToolAndTheModule)
{
	Output version = Tool("--version");
	EXPECT_EQ(version.status, 0) << version.out;
	EXPECT_EQ(version.out, "vireltan-host " VIRELTAN_VERSION "\nmodule " VIRELTAN_VERSION " " + PLUGINS + "/vireltan/vireltan.xso64\n");
	TempDir dir;
	Output none = Tool("--version", dir.Path());
	EXPECT_EQ(none.status, 1);
	EXPECT_THAT(none.out, HasSubstr("vireltan-host " VIRELTAN_VERSION "\n"));
	EXPECT_THAT(none.out, HasSubstr("the Vireltan module could not be loaded from " + dir.Path()));
	EXPECT_EQ(Tool("").status, 2) << "no command at all is still a usage error";
}

// Writes a scene holding the objects make() puts into a new document, with the module loaded here.
template <typename Make>
void WriteScene(const std::string& path, Make make)
{
	vh::SetEcho(false);
	ASSERT_GT(vh::LoadPlugins(PLUGINS), 0);
	BaseDocument* doc = BaseDocument::Alloc();
	make(doc);
	EXPECT_TRUE(vh::SaveDocument(doc, Filename(vh::FromUtf8(path))));
	BaseDocument::Free(doc);
	vh::UnloadPlugins();
}

Int32 Id(const char* symbol) { return vh::DescriptionSymbolId("oxvireltan"_s, symbol); }

TEST(Limits, SceneValuesAreHeldToTheDescription)
{
	TempDir dir;
	WriteScene(dir.Path() + "/wild.scene", [&](BaseDocument* doc) {
		BaseObject* op = vh::AllocPluginObject(vh::ObjectPlugins().front().id);
		ASSERT_NE(op, nullptr);
		BaseContainer* bc = op->GetDataInstance();
		bc->SetFilename(Id("MOLOBJ_FILE"), Filename(vh::FromUtf8(EXAMPLES + "/caffeine.sdf")));
		bc->SetInt32(Id("MOLOBJ_ATOM_SEGMENTS"), 100000);
		bc->SetFloat(Id("MOLOBJ_POSITION_SCALE"), -100.0);
		bc->SetFloat(Id("MOLOBJ_ATOM_SIZE"), std::numeric_limits<double>::quiet_NaN());
		bc->SetFloat(Id("MOLOBJ_NUCLEUS_SIZE"), 7.0);
		bc->SetInt32(Id("MOLOBJ_DISPLAY_MODE"), 17);
		bc->SetInt32(Id("MOLOBJ_BOND_PROFILE_SUBDIV"), -4);
		doc->InsertObject(op, nullptr, nullptr);
	});
	dir.Write("open.txt", "open wild.scene\nevaluate\ndump\n");
	Output out = Shell("'" + TOOL + "' --plugins '" + PLUGINS + "' run '" + dir.Path() + "/open.txt'");
	ASSERT_EQ(out.status, 0);
	const json object = json::parse(out.out)["objects"][0];
	const json& p = object["parameters"];
	EXPECT_EQ(p["MOLOBJ_ATOM_SEGMENTS"], 256);
	EXPECT_EQ(p["MOLOBJ_POSITION_SCALE"], 0.0);
	EXPECT_EQ(p["MOLOBJ_ATOM_SIZE"], 0.0);
	EXPECT_EQ(p["MOLOBJ_NUCLEUS_SIZE"], 1.0);
	EXPECT_EQ(p["MOLOBJ_DISPLAY_MODE"], 0);
	EXPECT_EQ(p["MOLOBJ_BOND_PROFILE_SUBDIV"], 0);
	// The object builds with the held values.
	ASSERT_TRUE(object["cache"].is_object());
	EXPECT_EQ(object["cache"]["children"][0]["sphere"]["segments"], 256);
}

TEST(ExitStatus, ExportFailsWhenTheElementTableCannotServe)
{
	const std::vector<std::pair<std::string, std::string>> tables = {
		{"rm ptable.csv", "is missing or unreadable"},
		{"rm ptable.csv && mkdir ptable.csv", "is missing or unreadable"},
		{": > ptable.csv", "is empty"},
		{"head -c 4000 /bin/sh > ptable.csv", "the element table"},
		{"printf 'h\\nh\\n12,FFFFFF,1,2\\n' > ptable.csv", "is damaged: record 1 has no element symbol"},
	};
	for (const auto& [damage, message] : tables)
	{
		TempDir dir;
		dir.Copy(PLUGINS + "/vireltan", "vireltan");
		ASSERT_EQ(std::system(("cd '" + dir.Path() + "/vireltan/res' && " + damage).c_str()), 0);
		Output out = Tool("export " + CAFFEINE + " -o '" + dir.Path() + "/c.glb'", dir.Path());
		EXPECT_EQ(out.status, 1) << damage;
		EXPECT_THAT(out.out, HasSubstr(message)) << damage;
		EXPECT_THAT(out.out, HasSubstr("Nothing exported\n")) << damage;
		EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/c.glb")) << damage;
	}
}

TEST(ExitStatus, ExportOfAMoleculeWithoutAtomsFails)
{
	TempDir dir;
	dir.Write("empty.sdf", "nothing\n  made by hand\n\n  0  0  0  0  0  0  0  0  0  0999 V2000\nM  END\n$$$$\n");
	dir.Write("blank.sdf", "");
	dir.Copy(DATA + "/sdf/short_counts.mol", "short.mol");
	for (const char* name : {"empty.sdf", "blank.sdf", "short.mol"})
	{
		Output out = Tool("export '" + dir.Path() + "/" + name + "' -o '" + dir.Path() + "/x.glb'");
		EXPECT_EQ(out.status, 1) << name;
		EXPECT_THAT(out.out, HasSubstr(std::string(name) + " gave no atoms")) << name;
		EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/x.glb")) << name;
		// dump reports what the object holds; a molecule without atoms is not its failure.
		EXPECT_EQ(Tool("dump '" + dir.Path() + "/" + name + "'").status, 0) << name;
	}
}

TEST(ExitStatus, UsageErrorsExitTwo)
{
	TempDir dir;
	const std::vector<std::pair<std::string, std::string>> usage = {
		{"run '" + dir.Path() + "'", "cannot read script '" + dir.Path() + "': not a regular file"},
		{"run /dev/zero", "cannot read script '/dev/zero': not a regular file"},
		{"run '" + dir.Path() + "/none.txt'", "cannot read script '" + dir.Path() + "/none.txt': No such file or directory"},
		{"dump " + CAFFEINE + " --material C:Carbon:336699", "bad material colour '336699' in 'C:Carbon:336699'"},
		{"dump " + CAFFEINE + " --material C:#336699:Carbon", "bad material colour 'Carbon'"},
		{"dump " + CAFFEINE + " --material C:#33669", "bad material colour '#33669' (expected #RRGGBB)"},
		{"export " + CAFFEINE + " --material Qq:Foo:#336699", "unknown symbol 'Qq' in material 'Qq:Foo:#336699'"},
	};
	for (const auto& [args, message] : usage)
	{
		Output out = Tool(args);
		EXPECT_EQ(out.status, 2) << args;
		EXPECT_THAT(out.out, HasSubstr("vireltan-host: " + message)) << args;
	}
	// Symbols match as the object matches them: letter case and blanks aside; bonds and nuclei by name.
	EXPECT_EQ(Tool("dump " + CAFFEINE + " --material 'c:Coal:#101010' --material bd2 --material ' NUC' "
		"--material C:#101010").status, 0);
}

TEST(Scenes, OpenSaysWhyAndFindsTheMoleculeObject)
{
	TempDir dir;
	WriteScene(dir.Path() + "/null-first.scene", [&](BaseDocument* doc) {
		BaseObject* op = vh::AllocPluginObject(vh::ObjectPlugins().front().id);
		ASSERT_NE(op, nullptr);
		op->GetDataInstance()->SetFilename(Id("MOLOBJ_FILE"), Filename(vh::FromUtf8(EXAMPLES + "/caffeine.sdf")));
		doc->InsertObject(op, nullptr, nullptr);
		doc->InsertObject(BaseObject::Alloc(Onull), nullptr, nullptr);
	});
	WriteScene(dir.Path() + "/no-molecule.scene", [&](BaseDocument* doc) { doc->InsertObject(BaseObject::Alloc(Onull), nullptr, nullptr); });

	// The null object comes first; steps act on the molecule object after it.
	dir.Write("first.txt", "open null-first.scene\nset MOLOBJ_ATOM_SEGMENTS 5\nevaluate\nexport c.glb\n");
	Output first = Tool("run '" + dir.Path() + "/first.txt'");
	EXPECT_EQ(first.status, 0) << first.out;
	EXPECT_THAT(first.out, HasSubstr("c.glb: 24 atoms, 25 bonds, "));

	dir.Write("cut.scene", std::string("VHYP\x01\0\0\0", 8));
	dir.Write("magic.scene", "not a scene at all");
	const std::vector<std::pair<std::string, std::string>> refused = {
		{"no-molecule.scene", "holds no molecule object"},
		{"/dev/zero", "could not be opened: not a regular file"},
		{".", "could not be opened: not a regular file"},
		{"cut.scene", "could not be opened: truncated at byte 8"},
		{"magic.scene", "could not be opened: bad magic (not a scene file)"},
		{"gone.scene", "could not be opened: No such file or directory"},
	};
	for (const auto& [scene, message] : refused)
	{
		dir.Write("open.txt", "open " + scene + "\ndump\n");
		Output out = Tool("run '" + dir.Path() + "/open.txt'");
		EXPECT_EQ(out.status, 1) << scene;
		EXPECT_THAT(out.out, HasSubstr("vireltan-host: line 1: the scene ")) << scene;
		EXPECT_THAT(out.out, HasSubstr(message + "\n")) << scene;
		EXPECT_THAT(out.out, ::testing::Not(HasSubstr("\"objects\""))) << scene << ": the script went on";
	}
}

TEST(Scenes, SavedScenesGetTheModeOfExportedFiles)
{
	TempDir dir;
	dir.Write("s.txt", "load " + EXAMPLES + "/acetonitrile.sdf\nevaluate\nexport a.glb\nsave a.scene\n");
	for (const char* mask : {"022", "027"})
	{
		ASSERT_EQ(Shell("umask " + std::string(mask) + " && rm -f '" + dir.Path() + "/a.glb' '" + dir.Path() + "/a.scene' && '" +
			TOOL + "' --plugins '" + PLUGINS + "' run '" + dir.Path() + "/s.txt'").status, 0);
		struct stat glb, scene;
		ASSERT_EQ(stat((dir.Path() + "/a.glb").c_str(), &glb), 0);
		ASSERT_EQ(stat((dir.Path() + "/a.scene").c_str(), &scene), 0);
		EXPECT_EQ(scene.st_mode & 0777, glb.st_mode & 0777) << mask;
		EXPECT_EQ(scene.st_mode & 0777, mode_t(0666 & ~std::stoi(mask, nullptr, 8))) << mask;
	}
}
} // namespace
#endif
