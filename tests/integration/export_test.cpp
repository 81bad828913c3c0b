// vireltan-host export: the file holds what the generator made, passes the Khronos validator,
// and a molecule or an output that fails leaves nothing behind.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "support.h"
#include "validator.h"

#ifdef VIRELTAN_HOST_TOOL
namespace
{
using nlohmann::json;
using namespace integration;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

const std::string EXAMPLES = std::string(VIRELTAN_SOURCE_DIR) + "/examples";

std::string Tool(const std::string& args) { return "'" + TOOL + "' --plugins '" + PLUGINS + "' " + args; }

uint32_t Word(const std::string& bytes, size_t at)
{
	uint32_t v = 0;
	std::memcpy(&v, bytes.data() + at, 4);
	return v;
}

// The JSON chunk of a binary glTF file, after checking the container's framing.
::testing::AssertionResult ReadGlb(const std::string& file, json* out)
{
	const std::string bytes = testfiles::ReadFile(file);
	if (bytes.size() < 20)
		return ::testing::AssertionFailure() << file << ": " << bytes.size() << " bytes";
	if (bytes.compare(0, 4, "glTF") != 0 || Word(bytes, 4) != 2 || Word(bytes, 8) != bytes.size())
		return ::testing::AssertionFailure() << file << ": bad header";
	const uint32_t length = Word(bytes, 12);
	if (Word(bytes, 16) != 0x4E4F534A || 20 + size_t(length) > bytes.size())
		return ::testing::AssertionFailure() << file << ": bad JSON chunk";
	*out = json::parse(bytes.substr(20, length), nullptr, false);
	if (out->is_discarded())
		return ::testing::AssertionFailure() << file << ": JSON does not parse";
	return ::testing::AssertionSuccess();
}

json Translation(const json& node)
{
	return node.contains("translation") ? node["translation"] : json::array({0.0, 0.0, 0.0});
}

// Walks a dumped object tree and the file's nodes side by side; counts the file's triangles.
void Compare(const json& gltf, const json& dumped, const json& node, const std::string& where, long* triangles)
{
	ASSERT_EQ(node.value("name", ""), dumped["name"]) << where;
	// A straight bond tube's node places the shared unit tube: from the path's start, along the
	// path, stretched to its length. Every other node carries the object's position alone.
	json position = dumped["position"];
	if (node.contains("scale"))
	{
		ASSERT_EQ(dumped["type"], "Osweep") << where;
		const json& path = dumped["children"].at(1)["spline"]["points"];
		ASSERT_EQ(path.size(), 2u) << where;
		double axis[3], length = 0.0;
		for (size_t k = 0; k < 3; ++k)
		{
			axis[k] = path[1][k].get<double>() - path[0][k].get<double>();
			length += axis[k] * axis[k];
			position[k] = position[k].get<double>() + path[0][k].get<double>();
		}
		length = std::sqrt(length);
		EXPECT_NEAR(node["scale"][2].get<double>(), length, 1e-6 * length) << where;
		// The rotation turns +Z onto the path's direction.
		const json& q = node["rotation"];
		const double x = q[0], y = q[1], z = q[2], w = q[3];
		const double turned[3] = { 2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y) };
		for (size_t k = 0; k < 3; ++k)
			EXPECT_NEAR(turned[k], axis[k] / length, 1e-6) << where;
	}
	const json t = Translation(node);
	for (size_t k = 0; k < 3; ++k)
	{
		const double e = position[k].get<double>();
		// Nodes hold float precision, as the vertices do.
		EXPECT_NEAR(t[k].get<double>(), e, 1e-6 * std::max(1.0, std::fabs(e))) << where;
	}

	const long expected = dumped.value("triangleCount", 0L);
	if (node.contains("mesh"))
	{
		long count = 0;
		for (const json& p : gltf["meshes"][node["mesh"].get<size_t>()]["primitives"])
			count += gltf["accessors"][p["indices"].get<size_t>()]["count"].get<long>() / 3;
		EXPECT_EQ(count, expected) << where;
		*triangles += count;
	}
	else
	{
		EXPECT_EQ(expected, 0) << where << ": geometry left out";
	}

	const json& children = dumped["children"];
	const json kids = node.value("children", json::array());
	ASSERT_EQ(kids.size(), children.size()) << where;
	for (size_t i = 0; i < kids.size(); ++i)
		Compare(gltf, children[i], gltf["nodes"][kids[i].get<size_t>()], where + "/" + children[i]["name"].get<std::string>(),
			triangles);
}

struct Variant
{
	const char* name;
	std::string options;
};

const std::vector<Variant>& Variants()
{
	static const std::vector<Variant> variants = {
		{"defaults", ""},
		{"atoms", "--set MOLOBJ_DISPLAY_MODE=1"},
		{"bonds", "--set MOLOBJ_DISPLAY_MODE=2 --set MOLOBJ_BOND_CAPS=1"},
		{"nuclei", "--set MOLOBJ_SHOW_NUCLEUS=true --set MOLOBJ_ATOM_RADIUS_MODE=1"},
		{"xray", "--set MOLOBJ_XRAY=true --set MOLOBJ_SHOW_NUCLEUS=true"},
		{"preset", "--set MOLOBJ_COLOR_SOURCE=1 --set MOLOBJ_PRESET=3 --set MOLOBJ_ATOM_SEGMENTS=8"},
		{"materials", "--material 'C:Carbon:#333333' --material 'H:Hydrogen' --material 'O:Oxygen:#FF2010' "
					  "--material 'BD1:Single:#AAAAAA' --material 'BD2:Double' --material 'BD4:Ring:#FFD000' "
					  "--material 'NUC:Core:#000080' --set MOLOBJ_SHOW_NUCLEUS=true --set MOLOBJ_XRAY=true"},
	};
	return variants;
}

const std::vector<std::string>& Examples()
{
	static const std::vector<std::string> examples = [] {
		std::vector<std::string> names;
		for (const auto& e : std::filesystem::directory_iterator(EXAMPLES))
			if (e.path().extension() == ".sdf")
				names.push_back(e.path().stem().string());
		std::sort(names.begin(), names.end());
		return names;
	}();
	return examples;
}

TEST(Export, EveryExampleInEveryModeMatchesItsDumpAndPassesTheValidator)
{
	ASSERT_FALSE(validator::Script().empty()) << "gltf-validator is not installed: run tools/setup.sh";
	ASSERT_GE(Examples().size(), 4u);
	TempDir dir;
	std::vector<std::string> files;
	for (const std::string& example : Examples())
	{
		for (const Variant& v : Variants())
		{
			SCOPED_TRACE(example + " " + v.name);
			const std::string molfile = "'" + EXAMPLES + "/" + example + ".sdf' ";
			const std::string file = dir.Path() + "/" + example + "-" + v.name + ".glb";
			Output exported = Shell(Tool("export " + molfile + "-o '" + file + "' " + v.options));
			ASSERT_EQ(exported.status, 0) << exported.out;
			Output dumped = Shell(Tool("dump " + molfile + v.options));
			ASSERT_EQ(dumped.status, 0);
			const json dump = json::parse(dumped.out);
			const json& object = dump["objects"][0];
			ASSERT_TRUE(object["cache"].is_object());

			json gltf;
			ASSERT_TRUE(ReadGlb(file, &gltf));
			const json& root = gltf["nodes"][gltf["scenes"][0]["nodes"][0].get<size_t>()];
			EXPECT_EQ(root["scale"], json::array({0.01, 0.01, 0.01}));
			ASSERT_EQ(root["children"].size(), 1u);
			const json& molecule = gltf["nodes"][root["children"][0].get<size_t>()];
			EXPECT_EQ(molecule["name"], object["name"]);
			ASSERT_EQ(molecule["children"].size(), 1u);
			long triangles = 0;
			Compare(gltf, object["cache"], gltf["nodes"][molecule["children"][0].get<size_t>()], example, &triangles);
			EXPECT_GT(triangles, 0);

			// The summary line reports the same figures.
			const size_t atoms = object["molecule"]["atoms"].size();
			const size_t bonds = object["molecule"]["bonds"].size();
			EXPECT_THAT(exported.out, HasSubstr(": " + std::to_string(atoms) + " atoms, " + std::to_string(bonds) + " bonds, "));
			EXPECT_THAT(exported.out, HasSubstr(" meshes, " + std::to_string(triangles) + " triangles, " +
											std::to_string(std::filesystem::file_size(file)) + " bytes, "));
			files.push_back(file);
		}
	}

	std::string log;
	EXPECT_EQ(validator::Run(files, &log), 0) << log;
	for (const std::string& file : files)
		EXPECT_THAT(log, HasSubstr(file + ": 0 errors, 0 warnings")) << log;
}

TEST(Export, MaterialsOfTheGroupsReachTheFileWithTheirColours)
{
	TempDir dir;
	const std::string file = dir.Path() + "/caffeine.glb";
	ASSERT_EQ(Shell(Tool("export '" + EXAMPLES + "/caffeine.sdf' -o '" + file +
					  "' --material 'C:Carbon:#336699' --material 'BD2:Double:#FF0000' --set MOLOBJ_XRAY=true"))
				  .status,
		0);
	json gltf;
	ASSERT_TRUE(ReadGlb(file, &gltf));
	std::map<std::string, json> byName;
	for (const json& m : gltf["materials"])
		byName[m["name"]] = m;
	ASSERT_TRUE(byName.count("Carbon"));
	ASSERT_TRUE(byName.count("Double"));
	const json carbon = byName["Carbon"]["pbrMetallicRoughness"]["baseColorFactor"];
	// #336699 is sRGB 0.2, 0.4, 0.6; the file holds linear factors.
	EXPECT_NEAR(carbon[0].get<double>(), 0.033104766570885055, 1e-9);
	EXPECT_NEAR(carbon[1].get<double>(), 0.13286832155381798, 1e-9);
	EXPECT_NEAR(carbon[2].get<double>(), 0.31854677812509186, 1e-9);
	// Atoms that get a material carry no X-ray flag; bonds always do.
	EXPECT_EQ(carbon[3].get<double>(), 1.0);
	EXPECT_FALSE(byName["Carbon"].contains("alphaMode"));
	EXPECT_EQ(byName["Double"]["alphaMode"], "BLEND");
	EXPECT_EQ(byName["Double"]["pbrMetallicRoughness"]["baseColorFactor"], json::array({1.0, 0.0, 0.0, 0.5}));

	// Every carbon sphere uses the group's material, and nothing else does.
	size_t carbons = 0;
	for (const json& n : gltf["nodes"])
	{
		if (!n.contains("mesh"))
			continue;
		const json& p = gltf["meshes"][n["mesh"].get<size_t>()]["primitives"][0];
		const bool isCarbon = p.contains("material") && gltf["materials"][p["material"].get<size_t>()]["name"] == "Carbon";
		EXPECT_EQ(isCarbon, n["name"] == "C") << n["name"];
		carbons += isCarbon;
	}
	EXPECT_EQ(carbons, 8u);
}

// Without material groups each role gets a material of its own, named as a group would name it.
TEST(Export, DisplayColourMaterialsAreNamedAfterTheirRoleOnePerRole)
{
	TempDir dir;
	const std::string file = dir.Path() + "/caffeine.glb";
	// Hydrogen and single bonds are both white: they still get two materials.
	ASSERT_EQ(Shell(Tool("export '" + EXAMPLES + "/caffeine.sdf' -o '" + file + "' --set MOLOBJ_SHOW_NUCLEUS=true")).status, 0);
	json gltf;
	ASSERT_TRUE(ReadGlb(file, &gltf));
	std::map<std::string, size_t> uses;
	for (const json& n : gltf["nodes"])
	{
		if (!n.contains("mesh"))
			continue;
		const json& p = gltf["meshes"][n["mesh"].get<size_t>()]["primitives"][0];
		ASSERT_TRUE(p.contains("material")) << n["name"];
		const std::string material = gltf["materials"][p["material"].get<size_t>()]["name"];
		++uses[material];
		const std::string name = n["name"];
		const bool nucleus = name.size() > 8 && name.substr(name.size() - 8) == " nucleus";
		if (nucleus || name != "Sweep")
		{
			EXPECT_EQ(material, nucleus ? "NUC" : name);
		}
	}
	// Caffeine: C8H10N4O2, 21 single and 4 double bonds.
	EXPECT_EQ(uses, (std::map<std::string, size_t>{
						{"C", 8}, {"H", 10}, {"N", 4}, {"O", 2}, {"NUC", 24}, {"BD1", 21}, {"BD2", 4}}));
	EXPECT_EQ(gltf["materials"].size(), uses.size());
}

TEST(Export, MergedFormHasANodePerMaterialAndTheTrianglesOfItsSpheres)
{
	ASSERT_FALSE(validator::Script().empty()) << "gltf-validator is not installed: run tools/setup.sh";
	TempDir dir;
	const std::string tree = dir.Path() + "/tree.glb", merged = dir.Path() + "/merged.glb";
	const std::string molfile = "'" + EXAMPLES + "/caffeine.sdf' --set MOLOBJ_SHOW_NUCLEUS=true ";
	// The same summary but for the file's name and size and the time.
	const auto figures = [&](const std::string& options, const std::string& out) {
		Output o = Shell(Tool("export " + molfile + options + " -o '" + out + "'"));
		EXPECT_EQ(o.status, 0) << o.out;
		const size_t from = o.out.find(": "), to = o.out.find(" triangles, ");
		return o.out.substr(from, to - from);
	};
	// Merged spheres have 16 segments unless the command sets them.
	EXPECT_EQ(figures("--set MOLOBJ_ATOM_SEGMENTS=16", tree), figures("--merge", merged));
	EXPECT_EQ(figures("", tree), figures("--merge --set MOLOBJ_ATOM_SEGMENTS=24", dir.Path() + "/merged24.glb"));

	json gltf;
	ASSERT_TRUE(ReadGlb(merged, &gltf));
	std::vector<std::string> names;
	for (const json& c : gltf["nodes"][0]["children"])
	{
		const json& node = gltf["nodes"][c.get<size_t>()];
		const json& p = gltf["meshes"][node["mesh"].get<size_t>()]["primitives"][0];
		EXPECT_EQ(node["name"], gltf["materials"][p["material"].get<size_t>()]["name"]);
		names.push_back(node["name"]);
	}
	std::sort(names.begin(), names.end());
	EXPECT_EQ(names, (std::vector<std::string>{"BD1", "BD2", "C", "H", "N", "NUC", "O"}));
	EXPECT_EQ(gltf["nodes"].size(), names.size() + 1);
	std::string log;
	EXPECT_EQ(validator::Run({merged}, &log), 0) << log;
	EXPECT_THAT(log, HasSubstr("0 errors, 0 warnings")) << log;

	Output both = Shell(Tool("export " + molfile + "--merge --all"), true);
	EXPECT_EQ(both.status, 2) << both.out;
}

TEST(Export, OneAtomIsAValidFile)
{
	ASSERT_FALSE(validator::Script().empty()) << "gltf-validator is not installed: run tools/setup.sh";
	TempDir dir;
	dir.Write("one.sdf", "neon\n  made by hand\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n"
						 "    0.0000    0.0000    0.0000 Ne  0  0  0  0  0  0  0  0  0  0  0  0\nM  END\n$$$$\n");
	Output one = Shell(Tool("export '" + dir.Path() + "/one.sdf' -o '" + dir.Path() + "/neon.glb'"));
	ASSERT_EQ(one.status, 0);
	EXPECT_THAT(one.out, HasSubstr("neon.glb: 1 atoms, 0 bonds, 3 objects, "));

	json gltf;
	ASSERT_TRUE(ReadGlb(dir.Path() + "/neon.glb", &gltf));
	ASSERT_EQ(gltf["meshes"].size(), 1u);
	std::string log;
	EXPECT_EQ(validator::Run({dir.Path() + "/neon.glb"}, &log), 0) << log;
}

TEST(Export, FailedLoadOrUnwritableOutputExportsNothingAndSaysWhy)
{
	TempDir dir;
	const std::string out = dir.Path() + "/out.glb";
	Output missing = Shell(Tool("export '" + dir.Path() + "/none.sdf' -o '" + out + "'"), true);
	EXPECT_EQ(missing.status, 1);
	EXPECT_THAT(missing.out, HasSubstr("message box: The .sdf file specified does not exist."));
	EXPECT_THAT(missing.out, HasSubstr("message box: An error was encountered when loading the molecule definition file."));
	EXPECT_THAT(missing.out, HasSubstr("nothing exported"));

	dir.Write("x.mol2", "@<TRIPOS>MOLECULE\n");
	Output mol2 = Shell(Tool("export '" + dir.Path() + "/x.mol2' -o '" + out + "'"), true);
	EXPECT_EQ(mol2.status, 1);
	EXPECT_THAT(mol2.out, HasSubstr("An error was encountered when loading the molecule definition file."));
	// XYZ files are read now (structure_cli_test.cpp); a format neither the object nor the tool reads:
	dir.Write("x.cml", "<molecule><atomArray><atom id=\"a1\" elementType=\"C\" x3=\"0\" y3=\"0\" z3=\"0\"/></atomArray></molecule>\n");
	EXPECT_EQ(Shell(Tool("export '" + dir.Path() + "/x.cml' -o '" + out + "'")).status, 1);
	EXPECT_FALSE(std::filesystem::exists(out));

	Output unwritable = Shell(Tool("export '" + EXAMPLES + "/caffeine.sdf' -o '" + dir.Path() + "/no/such/folder/c.glb'"), true);
	EXPECT_EQ(unwritable.status, 1);
	EXPECT_THAT(unwritable.out,
		MatchesRegex("(.|\n)*vireltan-host: export failed: cannot write .*/no/such/folder/c.glb: No such file or directory\n"));
	EXPECT_THAT(dir.Names(), ::testing::UnorderedElementsAre("x.cml", "x.mol2"));
}

TEST(Export, DefaultOutputIsTheMoleculeFileWithTheGlbSuffix)
{
	TempDir dir;
	dir.Copy(EXAMPLES + "/benzene.sdf", "ring.v1.sdf");
	Output out = Shell(Tool("export '" + dir.Path() + "/ring.v1.sdf'"));
	ASSERT_EQ(out.status, 0);
	EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/ring.v1.glb"));
	EXPECT_THAT(out.out, MatchesRegex(".*/ring\\.v1\\.glb: 12 atoms, 12 bonds, [0-9]+ objects, [0-9]+ meshes, [0-9]+ triangles, [0-9]+ bytes, [0-9.]+ s\n"));
}
TEST(Export, PreviewPageBesideTheFileAndConsoleLineOnlyWhenVerbose)
{
	TempDir dir;
	Output quiet = Shell(Tool("export " + EXAMPLES + "/benzene.sdf -o '" + dir.Path() + "/a&b<c>.glb' --html"), true);
	ASSERT_EQ(quiet.status, 0) << quiet.out;
	EXPECT_THAT(quiet.out, Not(HasSubstr("console:")));
	const std::string page = testfiles::ReadFile(dir.Path() + "/a&b<c>.html");
	// The summary line is shown as text, not read as markup; the model follows as base64 ("glTF", version 2).
	const std::string summary = "<pre id=\"summary\">" + dir.Path() + "/a&amp;b&lt;c&gt;.glb: 12 atoms, 12 bonds, ";
	EXPECT_NE(page.find(summary), std::string::npos) << page.substr(0, 2000);
	EXPECT_NE(page.find("<script id=\"model\" type=\"application/octet-stream\">Z2xURgIAAA"), std::string::npos);
	// three.js travels inside every page, and its licence asks for its notice in every copy.
	const size_t licence = page.find("@license");
	EXPECT_THAT(licence == std::string::npos ? std::string() : page.substr(licence, 200),
		ContainsRegex("^@license\n *\\* Copyright [0-9-]+ Three\\.js Authors\n *\\* SPDX-License-Identifier: MIT"));

	Output verbose = Shell(Tool("export " + EXAMPLES + "/benzene.sdf -o '" + dir.Path() + "/v.glb' --verbose"), true);
	ASSERT_EQ(verbose.status, 0) << verbose.out;
	EXPECT_THAT(verbose.out, HasSubstr("console: Tarnwick Software : Vireltan successfully loaded. (main.cpp:"));
	EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/v.html"));
}

TEST(Export, ScriptStepWritesEveryObjectOfTheDocument)
{
	TempDir dir;
	dir.Write("steps.txt", "load " + EXAMPLES + "/acetonitrile.sdf\nexport one.glb\ncopy\nevaluate\nexport two.glb\n");
	Output ran = Shell(Tool("run '" + dir.Path() + "/steps.txt'"));
	ASSERT_EQ(ran.status, 0);
	json one, two;
	ASSERT_TRUE(ReadGlb(dir.Path() + "/one.glb", &one));
	ASSERT_TRUE(ReadGlb(dir.Path() + "/two.glb", &two));
	const auto topLevel = [](const json& gltf) {
		std::vector<std::string> names;
		for (const json& c : gltf["nodes"][0]["children"])
			names.push_back(gltf["nodes"][c.get<size_t>()]["name"]);
		return names;
	};
	EXPECT_EQ(topLevel(one), std::vector<std::string>({"acetonitrile"}));
	EXPECT_EQ(topLevel(two), std::vector<std::string>({"acetonitrile", "acetonitrile"}));

	// A step that cannot write makes the run fail, after the other steps ran.
	dir.Write("bad.txt", "load " + EXAMPLES + "/acetonitrile.sdf\nexport missing/x.glb\nexport three.glb\n");
	EXPECT_EQ(Shell(Tool("run '" + dir.Path() + "/bad.txt'")).status, 1);
	EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/three.glb"));
}
} // namespace
#endif
