// The built module through the host's loader, its entry point, and the command line.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "c4d.h"
#include "vh/host.h"
#include "vh/loader.h"

#include "support.h"

namespace
{
using nlohmann::json;

using namespace integration;

const std::string MODULE = PLUGINS + "/vireltan/vireltan.xso64";

Bool ConsoleHas(const std::string& part)
{
	for (const std::string& line : vh::ConsoleLines())
		if (line.find(part) != std::string::npos)
			return true;
	return false;
}

TEST(ModuleSymbols, OnlyTheEntryPointsAreExported)
{
	Output nm = Shell("nm -D --defined-only '" + MODULE + "'");
	ASSERT_EQ(nm.status, 0);
	for (const char* symbol : {" c4d_main", " g_maxon", " g_CpuYieldDelegate"})
		EXPECT_NE(nm.out.find(symbol), std::string::npos) << symbol;
	EXPECT_EQ(nm.out.find("Vireltan"), std::string::npos);
	EXPECT_EQ(nm.out.find("SDFLoader"), std::string::npos);
	EXPECT_EQ(nm.out.find("PluginStart"), std::string::npos);
}

// Each test attaches a private copy of the module, so its counters start fresh.
class EntryPoint : public ::testing::Test
{
protected:
	void SetUp() override
	{
		vh::SetEcho(false);
		vh::ClearConsoleAndDialogs();
		dir.Copy(PLUGINS + "/vireltan", "vireltan");
		handle = dlopen((dir.Path() + "/vireltan/vireltan.xso64").c_str(), RTLD_NOW | RTLD_LOCAL);
		ASSERT_NE(handle, nullptr) << dlerror();
		entry = reinterpret_cast<Int32 (*)(Int32, void*, void*, void*)>(dlsym(handle, "c4d_main"));
		ASSERT_NE(entry, nullptr);
		location = Filename(vh::FromUtf8(dir.Path() + "/vireltan/vireltan.xso64"));
	}
	void TearDown() override
	{
		vh::UnregisterAllPlugins();
		if (handle)
			dlclose(handle);
	}
	TempDir dir;
	void* handle = nullptr;
	Int32 (*entry)(Int32, void*, void*, void*) = nullptr;
	Filename location;
};

TEST_F(EntryPoint, ActionTable)
{
	EXPECT_EQ(entry(4, nullptr, nullptr, nullptr), 5);
	EXPECT_EQ(entry(99, nullptr, nullptr, nullptr), -1);
	EXPECT_EQ(entry(1, vh::HostFunctionTable(26099), nullptr, &location), -3);
	EXPECT_EQ(entry(1, vh::HostFunctionTable(26100), nullptr, nullptr), -3);
	EXPECT_EQ(entry(1, vh::HostFunctionTable(26100), nullptr, &location), 1);
	// A second attach does not check again.
	EXPECT_EQ(entry(1, vh::HostFunctionTable(1), nullptr, nullptr), 1);
	EXPECT_EQ(entry(6, reinterpret_cast<void*>(Int(0)), nullptr, nullptr), 1);
	EXPECT_EQ(entry(6, reinterpret_cast<void*>(Int(7)), nullptr, nullptr), -1);
	EXPECT_EQ(entry(6, reinterpret_cast<void*>(Int(1)), nullptr, nullptr), 1);
	EXPECT_EQ(entry(2, nullptr, nullptr, nullptr), 1);
	EXPECT_TRUE(ConsoleHas("Tarnwick Software : Vireltan successfully loaded."));

	const vh::ObjectPlugin* plugin = vh::FindObjectPlugin(1060013);
	ASSERT_NE(plugin, nullptr);
	EXPECT_EQ(plugin->info, 0x8404);
	EXPECT_EQ(vh::ToUtf8(plugin->name), "Vireltan");
	EXPECT_EQ(vh::ToUtf8(plugin->description), "oxvireltan");
	EXPECT_EQ(plugin->disklevel, 0);
	EXPECT_GT(plugin->iconWidth, 0);
	EXPECT_GT(plugin->iconHeight, 0);

	// Detach balances the attaches: the resources go only with the last one.
	EXPECT_EQ(entry(3, nullptr, nullptr, nullptr), 1);
	EXPECT_EQ(entry(6, reinterpret_cast<void*>(Int(1)), nullptr, nullptr), 1);
	EXPECT_EQ(entry(3, nullptr, nullptr, nullptr), 1);
	EXPECT_EQ(entry(6, reinterpret_cast<void*>(Int(1)), nullptr, nullptr), -1);
	EXPECT_TRUE(ConsoleHas("Vireltan: failed to load resource file."));
}

TEST_F(EntryPoint, MissingResourcesAndRefusedRegistration)
{
	ASSERT_EQ(std::system(("rm -rf '" + dir.Path() + "/vireltan/res'").c_str()), 0);
	EXPECT_EQ(entry(1, vh::HostFunctionTable(), nullptr, &location), 1);
	EXPECT_EQ(entry(6, reinterpret_cast<void*>(Int(1)), nullptr, nullptr), -1);
	EXPECT_TRUE(ConsoleHas("Vireltan: failed to load resource file."));
	// Without its string table the object has no name, and the host refuses it.
	EXPECT_EQ(entry(2, nullptr, nullptr, nullptr), 0);
	EXPECT_TRUE(ConsoleHas("Tarnwick Software: Failed to load Vireltan"));
	EXPECT_EQ(vh::FindObjectPlugin(1060013), nullptr);
	EXPECT_EQ(entry(3, nullptr, nullptr, nullptr), 1);
}

TEST(Loader, BadModulesAreReportedAndSkipped)
{
	vh::SetEcho(false);
	vh::ClearConsoleAndDialogs();
	TempDir dir;
	dir.Copy(PLUGINS + "/vireltan", "good");
	dir.Write("text.xso64", "this is not a library\n");
	{
		std::ifstream in(MODULE, std::ios::binary);
		std::string head(1000, '\0');
		in.read(&head[0], 1000);
		dir.Write("truncated.xso64", head);
	}
	EXPECT_FALSE(vh::LoadModule(dir.Path() + "/missing.xso64"));
	EXPECT_TRUE(ConsoleHas("missing.xso64 skipped: the file does not exist"));
	EXPECT_EQ(vh::LoadPlugins(dir.Path()), 1);
	EXPECT_TRUE(ConsoleHas("text.xso64 skipped: not a loadable module"));
	EXPECT_TRUE(ConsoleHas("truncated.xso64 skipped: not a loadable module"));
	EXPECT_NE(vh::FindObjectPlugin(1060013), nullptr);

	Bool ok = false;
	BaseObject* op = vh::AllocPluginObject(1060013, &ok);
	ASSERT_NE(op, nullptr);
	EXPECT_TRUE(ok);
	BaseObject::Free(op);
	vh::UnloadPlugins();
	EXPECT_EQ(vh::FindObjectPlugin(1060013), nullptr);
}

TEST(Loader, ModuleRefusingTheHostVersionIsSkipped)
{
	vh::SetEcho(false);
	vh::ClearConsoleAndDialogs();
	TempDir dir;
	dir.Copy(PLUGINS + "/vireltan", "old");
	EXPECT_EQ(vh::LoadPlugins(dir.Path(), 26099), 0);
	EXPECT_TRUE(ConsoleHas("refused to attach (API version 26099)"));
	EXPECT_EQ(vh::FindObjectPlugin(1060013), nullptr);
}

#ifdef VIRELTAN_HOST_TOOL

// Runs a script and returns the dumps it printed, in order.
std::vector<json> RunScript(const std::string& script, int* status = nullptr)
{
	Output out = Shell("'" + TOOL + "' --plugins '" + PLUGINS + "' run '" + script + "'");
	if (status)
		*status = out.status;
	EXPECT_EQ(out.status, 0) << script;
	std::vector<json> dumps;
	size_t pos = 0;
	while ((pos = out.out.find("{\n", pos)) != std::string::npos)
	{
		size_t end = out.out.find("\n}\n", pos);
		if (end == std::string::npos)
			break;
		dumps.push_back(json::parse(out.out.substr(pos, end + 2 - pos)));
		pos = end + 2;
	}
	return dumps;
}

std::vector<std::string> Texts(const json& dump)
{
	std::vector<std::string> texts;
	for (const json& d : dump["dialogs"])
		texts.push_back(d["text"]);
	return texts;
}

TEST(CommandLine, LoadRefuseColourAndRestore)
{
	std::vector<json> d = RunScript(DATA + "/scripts/roads.txt");
	ASSERT_EQ(d.size(), 5u);
	const json& first = d[0]["objects"][0];
	EXPECT_EQ(first["name"], "cyclohexane ring");
	EXPECT_EQ(first["pluginId"], 1060013);
	EXPECT_EQ(first["molecule"]["atoms"].size(), 6u);
	EXPECT_EQ(first["cache"]["children"].size(), 12u);
	EXPECT_EQ(first["parameters"]["MOLOBJ_ATOM_SEGMENTS"], 24);
	EXPECT_EQ(first["parameters"]["MOLOBJ_XRAY"], false);

	// mol2 and unknown suffixes are refused; the molecule stays.
	EXPECT_EQ(Texts(d[1]), (std::vector<std::string>{"An error was encountered when loading the molecule definition file.",
							   "Unrecognised file format, molecule definition file cannot be loaded."}));
	EXPECT_EQ(d[1]["objects"][0]["molecule"]["atoms"].size(), 6u);
	for (const json& box : d[1]["dialogs"])
		EXPECT_EQ(box["flags"], 48);

	// Preset 2 is shown in the five colour parameters and colours the atoms.
	const json& preset = d[2]["objects"][0];
	EXPECT_EQ(preset["parameters"]["MOLOBJ_PRESET_COLOR_C"], json::array({0.09, 0.09, 0.09}));
	EXPECT_EQ(preset["cache"]["children"][0]["color"]["color"], json::array({0.09, 0.09, 0.09}));

	// "no" keeps the edit, "yes" restores the defaults.
	EXPECT_EQ(d[3]["objects"][0]["parameters"]["MOLOBJ_PRESET_COLOR_H"], json::array({0.1, 0.2, 0.3}));
	EXPECT_EQ(d[3]["objects"][0]["presets"][2][0], json::array({0.1, 0.2, 0.3}));
	const json& question = d[3]["dialogs"].back();
	EXPECT_EQ(question["kind"], "question");
	EXPECT_EQ(question["text"], "Are you sure you want to restore this preset to its default colors?");
	EXPECT_EQ(question["flags"], 36);
	EXPECT_EQ(question["answer"], "no");
	EXPECT_EQ(d[4]["objects"][0]["parameters"]["MOLOBJ_PRESET_COLOR_H"], json::array({0.95, 0.95, 0.95}));
	EXPECT_EQ(d[4]["dialogs"].back()["answer"], "yes");
}

TEST(CommandLine, MaterialGroupsAddRemoveAndAssign)
{
	std::vector<json> d = RunScript(DATA + "/scripts/groups.txt");
	ASSERT_EQ(d.size(), 2u);
	const json& removed = d[0]["objects"][0];
	EXPECT_EQ(removed["parameters"]["MOLOBJ_MATERIAL_COUNT"], 2);
	ASSERT_EQ(removed["materialGroups"].size(), 2u);
	EXPECT_EQ(removed["materialGroups"][1]["symbol"], "BD4");

	const json& again = d[1]["objects"][0];
	ASSERT_EQ(again["materialGroups"].size(), 3u);
	const json& fresh = again["materialGroups"][2];
	EXPECT_EQ(fresh["symbol"], "");
	EXPECT_EQ(fresh["material"], nullptr);
	EXPECT_EQ(fresh["offsetU"], 0.0);
	EXPECT_EQ(fresh["tilesV"], 1.0);
	EXPECT_EQ(fresh["projection"], 6);

	// Carbon atoms carry the first group's material; the aromatic bond the second's.
	const json& children = again["cache"]["children"];
	ASSERT_EQ(children.size(), 6u);
	EXPECT_EQ(children[0]["tags"][0]["material"], "coal");
	EXPECT_EQ(children[5]["tags"][0]["material"], "ring");
	EXPECT_EQ(children[5]["tags"][1]["type"], "Tphong");
	EXPECT_EQ(children[3]["tags"].size(), 1u);
}

TEST(CommandLine, DocumentEventsReloadTheFile)
{
	std::vector<json> d = RunScript(DATA + "/scripts/docinfo.txt");
	ASSERT_EQ(d.size(), 4u);
	EXPECT_EQ(d[0]["objects"][0]["molecule"]["atoms"].size(), 6u);
	EXPECT_EQ(d[1]["objects"][0]["molecule"]["atoms"].size(), 2u);
	EXPECT_EQ(d[2]["objects"][0]["molecule"]["atoms"].size(), 3u);
	EXPECT_EQ(d[3]["objects"][0]["molecule"]["atoms"].size(), 0u);
	const std::vector<std::string> texts = Texts(d[3]);
	ASSERT_GE(texts.size(), 2u);
	EXPECT_EQ(texts[texts.size() - 2], "The .sdf file specified does not exist.");
	EXPECT_EQ(texts.back(), "An error was encountered when loading the molecule definition file.");
}

TEST(CommandLine, SavedSceneReopensAndCopies)
{
	TempDir dir;
	dir.Write("scene.txt", "load " + DATA + "/sdf/two_records.sdf\nset MOLOBJ_PRESET_COLOR_N 0.5,0.25,0.125\nevaluate\n"
		"save " + dir.Path() + "/m.scene\nopen " + dir.Path() + "/m.scene\nevaluate\ndump\ncopy\nevaluate\ndump\n");
	std::vector<json> d = RunScript(dir.Path() + "/scene.txt");
	ASSERT_EQ(d.size(), 2u);
	const json& reopened = d[0]["objects"][0];
	EXPECT_EQ(reopened["presets"].size(), 6u);
	EXPECT_EQ(reopened["presets"][0][3], json::array({0.5, 0.25, 0.125}));
	// The molecule is not stored: opening the scene read the file again.
	EXPECT_EQ(reopened["molecule"]["atoms"].size(), 2u);
	EXPECT_EQ(reopened["cache"]["children"].size(), 3u);
	ASSERT_EQ(d[1]["objects"].size(), 2u);
	EXPECT_EQ(d[1]["objects"][1]["molecule"]["atoms"].size(), 2u);
}

TEST(CommandLine, CheckUpdateIsNotAPostSetAndEmptyFileDoesNothing)
{
	TempDir dir;
	dir.Write("s.txt", "press MOLOBJ_LOAD\ndump\n");
	std::vector<json> d = RunScript(dir.Path() + "/s.txt");
	ASSERT_EQ(d.size(), 1u);
	EXPECT_TRUE(d[0]["dialogs"].empty());
	EXPECT_TRUE(d[0]["objects"][0]["molecule"]["atoms"].empty());
}

TEST(CommandLine, UpperCaseSuffixLoads)
{
	Output out = Shell("'" + TOOL + "' --plugins '" + PLUGINS + "' dump '" + DATA + "/sdf/suffix_upper.SDF'");
	ASSERT_EQ(out.status, 0);
	json d = json::parse(out.out);
	EXPECT_EQ(d["objects"][0]["molecule"]["atoms"].size(), 2u);
	EXPECT_TRUE(d["dialogs"].empty());
}

TEST(CommandLine, ExitStatuses)
{
	EXPECT_EQ(Shell("'" + TOOL + "' --plugins '" + PLUGINS + "' dump x.sdf --set NOPE=1").status, 2);
	EXPECT_EQ(Shell("'" + TOOL + "' --plugins '" + PLUGINS + "' dump x.sdf --set MOLOBJ_ATOM_SIZE=big").status, 2);
	EXPECT_EQ(Shell("'" + TOOL + "' --plugins '" + PLUGINS + "' frobnicate").status, 2);
	TempDir empty;
	EXPECT_EQ(Shell("'" + TOOL + "' --plugins '" + empty.Path() + "' dump x.sdf").status, 1);
	empty.Write("bad.txt", "load x.mol\nfly away\n");
	EXPECT_EQ(Shell("'" + TOOL + "' --plugins '" + PLUGINS + "' run '" + empty.Path() + "/bad.txt'").status, 2);
	// A molecule that fails to load is not a host failure for dump.
	EXPECT_EQ(Shell("'" + TOOL + "' --plugins '" + PLUGINS + "' dump '" + empty.Path() + "/none.sdf'").status, 0);
}
#endif
} // namespace
