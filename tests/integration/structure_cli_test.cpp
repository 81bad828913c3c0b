// vireltan-host on PDB, mmCIF and XYZ files: convert, and export and dump, which hand each model to
// the object as the table convert writes.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "support.h"

#ifdef VIRELTAN_HOST_TOOL
namespace
{
using namespace integration;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

const std::string STRUCTURES = DATA + "/structures/";
const std::string DEMO = "/usr/share/pymol/data/demo/"; // Debian's pymol-data

// No temporary folder of the tool is left behind under `tmp`.
void ExpectNoScratchLeft(const TempDir& tmp)
{
	for (const std::string& name : tmp.Names())
		ADD_FAILURE() << "left behind: " << name;
}

TEST(StructureCli, ExportOfAStructureIsExportOfWhatConvertWritesOfIt)
{
	TempDir dir, tmp;
	dir.Copy(DEMO + "pept.pdb", "pept.pdb");
	const std::string env = "TMPDIR='" + tmp.Path() + "' ";
	const Output direct = Shell(env + "'" + TOOL + "' --plugins '" + PLUGINS + "' export '" + dir.File("pept.pdb") + "' --html", true);
	ASSERT_EQ(direct.status, 0) << direct.out;
	EXPECT_THAT(direct.out, MatchesRegex(".*/pept.glb: 107 atoms, 112 bonds, [0-9]+ objects, .*\n"));
	EXPECT_TRUE(std::filesystem::exists(dir.File("pept.html")));

	const Output converted = Tool("convert '" + dir.File("pept.pdb") + "' -o '" + dir.File("pept.sdf") + "'");
	ASSERT_EQ(converted.status, 0) << converted.out;
	EXPECT_THAT(converted.out, MatchesRegex(".*/pept.sdf: 1 record, the first 107 atoms, 112 bonds \\(V2000\\), [0-9.]+ s\n"));
	const Output viaSdf = Tool("export '" + dir.File("pept.sdf") + "' -o '" + dir.File("via.glb") + "'");
	ASSERT_EQ(viaSdf.status, 0) << viaSdf.out;
	EXPECT_EQ(testfiles::ReadFile(dir.File("via.glb")), testfiles::ReadFile(dir.File("pept.glb")));

	// A protein beyond the V2000 limits, compressed, and its mmCIF twin as the object reads it.
	const Output protein = Tool("convert '" + DEMO + "1tii.pdb' -o '" + dir.File("1tii.sdf") + "'");
	EXPECT_THAT(protein.out, MatchesRegex(".*/1tii.sdf: 1 record, the first 5684 atoms, 5575 bonds \\(V3000\\), [0-9.]+ s\n"));
	const nlohmann::json dumped =
		nlohmann::json::parse(Tool("dump '" + STRUCTURES + "pept.cif' --set MOLOBJ_DISPLAY_MODE=1").out);
	EXPECT_EQ(dumped["objects"][0]["molecule"]["atoms"].size(), 107u);
	EXPECT_EQ(dumped["objects"][0]["molecule"]["bonds"].size(), 112u);
	EXPECT_EQ(dumped["objects"][0]["name"], "pept");
	ExpectNoScratchLeft(tmp);
}

TEST(StructureCli, ModelsAreRecordsForExportAllAndRecord)
{
	TempDir dir;
	dir.Copy(STRUCTURES + "pept_models.pdb", "pept_models.pdb");
	const Output first = Tool("export '" + dir.File("pept_models.pdb") + "'");
	ASSERT_EQ(first.status, 0) << first.out;
	EXPECT_THAT(first.out, HasSubstr("pept_models.glb: 107 atoms, 112 bonds"));
	EXPECT_THAT(first.out, HasSubstr("the file holds more than one record, only the first was used"));

	const Output second = Tool("export '" + dir.File("pept_models.pdb") + "' --record 2");
	ASSERT_EQ(second.status, 0) << second.out;
	EXPECT_THAT(second.out, HasSubstr("pept_models-2.glb: 107 atoms, 112 bonds"));
	EXPECT_THAT(second.out, HasSubstr("record 2 of 3"));
	const Output past = Tool("export '" + dir.File("pept_models.pdb") + "' --record 4");
	EXPECT_EQ(past.status, 2);
	EXPECT_THAT(past.out, MatchesRegex("vireltan-host: --record 4: .*/pept_models.pdb holds 3 records\n"));

	const Output all = Tool("export '" + dir.File("pept_models.pdb") + "' --all");
	ASSERT_EQ(all.status, 0) << all.out;
	EXPECT_EQ(std::vector<std::string>({"1-PEPM.glb", "2-PEPM.glb", "3-PEPM.glb"}),
		[&] {
			std::vector<std::string> names;
			for (const auto& e : std::filesystem::directory_iterator(dir.File("pept_models")))
				names.push_back(e.path().filename().string());
			std::sort(names.begin(), names.end());
			return names;
		}());
	// A .mol file holds the first model and says so.
	const Output mol = Tool("convert '" + dir.File("pept_models.pdb") + "' -o '" + dir.File("first.mol") + "'");
	ASSERT_EQ(mol.status, 0) << mol.out;
	EXPECT_THAT(mol.out, HasSubstr("holds 3 records, a MOL file only the first"));
	EXPECT_THAT(testfiles::ReadFile(dir.File("first.mol")), MatchesRegex("PEPM\n  Vireltan          3D\nfrom pept_models.pdb, model 1 of 3\n107112  0 (.|\n)*M  END\n"));
}

TEST(StructureCli, BadInputExitsOneWithOneLineAndWritesNothing)
{
	TempDir dir, tmp;
	std::string pept = testfiles::ReadFile(DEMO + "pept.pdb");
	pept.replace(pept.find("-16.723"), 7, "-16.7?3");
	dir.Write("damaged.pdb", pept);
	dir.Write("empty.cif", "");
	dir.Write("notes.xyz", "these are notes\n");
	std::string latin = testfiles::ReadFile(DEMO + "pept.pdb");
	latin[latin.find('\n') + 1] = char(0xC1);
	dir.Write("latin.pdb", latin);
	const std::string env = "TMPDIR='" + tmp.Path() + "' ";
	for (const std::string& command : {"convert '" + dir.File("damaged.pdb") + "' -o '" + dir.File("out.sdf") + "'",
			 "export '" + dir.File("damaged.pdb") + "' -o '" + dir.File("out.glb") + "'",
			 "export '" + dir.File("empty.cif") + "' -o '" + dir.File("out.glb") + "' --all",
			 "dump '" + dir.File("notes.xyz") + "'", "convert '" + dir.File("latin.pdb") + "' -o '" + dir.File("out.sdf") + "'"})
	{
		SCOPED_TRACE(command);
		const Output run = Shell(env + "'" + TOOL + "' --plugins '" + PLUGINS + "' " + command, true);
		EXPECT_EQ(run.status, 1);
		EXPECT_THAT(run.out, MatchesRegex("vireltan-host: .*/(damaged.pdb: line 2: the y coordinate|empty.cif: the file is "
										  "empty|notes.xyz: line 1: expected the atom count|latin.pdb: line 2: a byte that is not ASCII)[^\n]*; nothing (written|exported|printed)\n"));
	}
	EXPECT_EQ(dir.Names(), (std::vector<std::string>{"damaged.pdb", "empty.cif", "latin.pdb", "notes.xyz"}));
	ExpectNoScratchLeft(tmp);
	EXPECT_EQ(Tool("convert '" + DEMO + "pept.pdb' -o '" + dir.File("out.glb") + "'").status, 2);
}
} // namespace
#endif
