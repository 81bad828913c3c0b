// The structure reader of the command line: PDB and mmCIF through gemmi, XYZ, perceived bonds and
// the MDL tables written of them.
#include <cmath>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>

#include "structure.h"
#include "testfiles.h"

namespace
{
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using structure::Atom;
using structure::Record;

const std::string DATA = std::string(VIRELTAN_TEST_DATA) + "/structures/";
const std::string DEMO = "/usr/share/pymol/data/demo/"; // Debian's pymol-data

const structure::RadiusTable& Radii()
{
	static const structure::RadiusTable table = structure::RadiusTable::Load(std::string(VIRELTAN_SOURCE_DIR) + "/res/ptable.csv");
	return table;
}

std::vector<Record> Read(const std::string& path)
{
	return structure::ReadStructure(path, Radii());
}

// The reader's message for a file, or "" when it reads.
std::string Problem(const std::string& path)
{
	try
	{
		Read(path);
	}
	catch (const structure::ReadError& e)
	{
		return e.what();
	}
	return "";
}

using BondSet = std::set<std::tuple<int, int, int>>;
BondSet Bonds(const Record& r)
{
	BondSet bonds;
	for (const structure::Bond& b : r.bonds)
		bonds.emplace(b.a, b.b, b.order);
	return bonds;
}

Atom At(const char* symbol, double x, double y, double z)
{
	Atom a;
	std::snprintf(a.symbol, sizeof a.symbol, "%s", symbol);
	a.x = x;
	a.y = y;
	a.z = z;
	return a;
}

// Two records hold the same molecule: names, elements, coordinates to the file's precision, bonds.
void ExpectSameMolecule(const Record& a, const Record& b)
{
	EXPECT_EQ(a.name, b.name);
	ASSERT_EQ(a.atoms.size(), b.atoms.size());
	for (size_t i = 0; i < a.atoms.size(); ++i)
	{
		EXPECT_STREQ(a.atoms[i].symbol, b.atoms[i].symbol) << "atom " << i;
		EXPECT_NEAR(a.atoms[i].x, b.atoms[i].x, 1e-6) << "atom " << i;
		EXPECT_NEAR(a.atoms[i].y, b.atoms[i].y, 1e-6) << "atom " << i;
		EXPECT_NEAR(a.atoms[i].z, b.atoms[i].z, 1e-6) << "atom " << i;
	}
	EXPECT_EQ(Bonds(a), Bonds(b));
}

// ATOM lines of a PDB file, as the fixed columns give them.
std::string AtomLine(int serial, const char* name, const char* residue, int seq, double x, double y, double z, const char* element)
{
	char line[96];
	std::snprintf(line, sizeof line, "HETATM%5d %-4s %3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00          %2s\n", serial, name,
		residue, seq, x, y, z, element);
	return line;
}

TEST(StructureBonds, PerceivedWhenWithinTheRadiiPlusToleranceAndFartherThanTheMinimum)
{
	// Carbon's covalent radius is 0.76 Å: bonded up to 0.76 + 0.76 + 0.45 = 1.97 Å, from 0.4 Å.
	Record r;
	r.atoms = {At("C", 0, 0, 0), At("C", 1.96, 0, 0), // bonded, near the reach
		At("C", 10, 0, 0), At("C", 11.98, 0, 0), // just beyond it
		At("C", 20, 0, 0), At("C", 20.35, 0, 0), // on top of each other
		At("H", 30, 0, 0), At("H", 31.0, 0, 0), // 0.31 + 0.31 + 0.45 = 1.07 Å
		At("*", 40, 0, 0), At("C", 41, 0, 0)}; // an element without radius gets no bond
	structure::PerceiveBonds(r, Radii());
	EXPECT_EQ(Bonds(r), (BondSet{{0, 1, 1}, {6, 7, 1}}));

	structure::BondRule tight;
	tight.tolerance = 0.40;
	Record again = r;
	again.bonds.clear();
	structure::PerceiveBonds(again, Radii(), tight);
	EXPECT_EQ(Bonds(again), (BondSet{{6, 7, 1}}));
}

// Every pair the grid finds is one all pairs give, and none is missed: on a protein and on atoms
// spread far apart, where the cells grow so that there are not more of them than atoms.
TEST(StructureBonds, TheGridFindsExactlyThePairsAllPairsGive)
{
	Record protein = Read(DEMO + "1tii.pdb").at(0);
	protein.bonds.clear();
	Record sparse;
	std::mt19937 random(7);
	std::uniform_real_distribution<double> far(-5e4, 5e4), near(-1.5, 1.5);
	for (int cluster = 0; cluster < 300; ++cluster)
	{
		const double cx = far(random), cy = far(random), cz = far(random);
		for (int i = 0; i < 6; ++i)
			sparse.atoms.push_back(At(i % 3 ? "C" : "O", cx + near(random), cy + near(random), cz + near(random)));
	}
	for (Record* r : {&protein, &sparse})
	{
		BondSet expected;
		for (size_t i = 0; i < r->atoms.size(); ++i)
			for (size_t j = i + 1; j < r->atoms.size(); ++j)
			{
				const Atom &a = r->atoms[i], &b = r->atoms[j];
				const double reach = Radii().Covalent(a.symbol) + Radii().Covalent(b.symbol) + 0.45;
				const double d = std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
				if (d > 0.4 && d <= reach)
					expected.emplace(int(i), int(j), 1);
			}
		structure::PerceiveBonds(*r, Radii());
		EXPECT_GT(expected.size(), r->atoms.size() / 2);
		EXPECT_EQ(Bonds(*r), expected);
	}
}

TEST(StructureBonds, ConectRepeatsGiveOrdersTwoAndThreeAndTheRestIsPerceived)
{
	testfiles::TempDir dir;
	// Acetic acid and acetonitrile with CONECT records; a water far off, bonded by distance alone;
	// a CONECT bond longer than any perceived one is kept as the file gives it.
	std::string text = AtomLine(1, "C1", "ACY", 1, 0, 0, 0, "C") + AtomLine(2, "C2", "ACY", 1, 1.52, 0, 0, "C") +
		AtomLine(3, "O1", "ACY", 1, 2.12, 1.06, 0, "O") + AtomLine(4, "O2", "ACY", 1, 2.12, -1.16, 0, "O") +
		AtomLine(5, "C1", "CCN", 2, 0, 0, 10, "C") + AtomLine(6, "C2", "CCN", 2, 1.46, 0, 10, "C") +
		AtomLine(7, "N1", "CCN", 2, 2.62, 0, 10, "N") + AtomLine(8, "O", "HOH", 3, 0, 20, 0, "O") +
		AtomLine(9, "H1", "HOH", 3, 0.96, 20, 0, "H") + AtomLine(10, "ZN", "ZN", 4, 0, 0, 30, "ZN");
	text += "CONECT    1    2\nCONECT    2    1    3    3    4\nCONECT    3    2    2\nCONECT    4    2\n"
			"CONECT    5    6\nCONECT    6    5    7    7    7\nCONECT    7    6    6    6\n"
			"CONECT   10    7\nEND\n";
	dir.Write("ligands.pdb", text);
	const std::vector<Record> records = Read(dir.File("ligands.pdb"));
	ASSERT_EQ(records.size(), 1u);
	EXPECT_EQ(Bonds(records[0]), (BondSet{{0, 1, 1}, {1, 2, 2}, {1, 3, 1}, {4, 5, 1}, {5, 6, 3}, {6, 9, 1}, {7, 8, 1}}));
	EXPECT_EQ(records[0].name, "ligands");
	EXPECT_STREQ(records[0].atoms[9].symbol, "Zn");
}

TEST(StructureBonds, ACAlphaOnlyModelHasNoBonds)
{
	testfiles::TempDir dir;
	std::istringstream in(testfiles::ReadFile(DEMO + "pept.pdb"));
	std::string line, text;
	while (std::getline(in, line))
		if (line.compare(0, 4, "ATOM") == 0 && line.substr(12, 4) == " CA ")
			text += line + "\n";
	dir.Write("ca.pdb", text);
	const Record r = Read(dir.File("ca.pdb")).at(0);
	EXPECT_EQ(r.atoms.size(), 13u);
	EXPECT_TRUE(r.bonds.empty());
}

TEST(StructurePdb, OnlyTheFirstConformerOfEachResidueIsRead)
{
	const Record plain = Read(DEMO + "pept.pdb").at(0);
	Record alternates = Read(DATA + "pept_altloc.pdb").at(0);
	// Residue 2 has conformers A and B, residue 3 B and C: A and B are read, at their own places.
	alternates.name = plain.name;
	ExpectSameMolecule(alternates, plain);
}

TEST(StructurePdb, EveryModelIsARecordAsIsEveryMmcifModel)
{
	const Record pept = Read(DEMO + "pept.pdb").at(0);
	const double offsets[3][3] = {{0, 0, 0}, {1.5, 0, 0}, {0, -2.25, 3}};
	for (const std::string file : {"pept_models.pdb", "pept_models.cif"})
	{
		SCOPED_TRACE(file);
		const std::vector<Record> models = Read(DATA + file);
		ASSERT_EQ(models.size(), 3u);
		for (size_t m = 0; m < 3; ++m)
		{
			Record expected = pept;
			expected.name = "PEPM";
			for (Atom& a : expected.atoms)
			{
				a.x += offsets[m][0];
				a.y += offsets[m][1];
				a.z += offsets[m][2];
			}
			ExpectSameMolecule(models[m], expected);
		}
	}
}

TEST(StructurePdb, OldFilesWithTextInColumns73To80AndNoElementColumnsRead)
{
	// Serial numbers of 10 and more in columns 79-80 are what gemmi would take for a bad charge.
	Record old = Read(DATA + "pept_old.pdb").at(0);
	const Record plain = Read(DEMO + "pept.pdb").at(0);
	EXPECT_EQ(old.name, "PEPO");
	old.name = plain.name;
	ExpectSameMolecule(old, plain);
}

TEST(StructureMmcif, TheMmcifTwinOfAPdbFileGivesTheSameMolecule)
{
	for (const auto& twin : {std::make_pair(DEMO + "pept.pdb", DATA + "pept.cif"), std::make_pair(DEMO + "1tii.pdb", DATA + "1tii.cif.gz")})
	{
		SCOPED_TRACE(twin.second);
		const std::vector<Record> pdb = Read(twin.first), cif = Read(twin.second);
		ASSERT_EQ(pdb.size(), 1u);
		ASSERT_EQ(cif.size(), 1u);
		ExpectSameMolecule(cif[0], pdb[0]);
	}
	const Record tii = Read(DEMO + "1tii.pdb").at(0);
	EXPECT_EQ(tii.name, "1TII");
	EXPECT_EQ(tii.atoms.size(), 5684u); // 5469 ATOM and 215 HETATM records
}

TEST(StructureXyz, EveryFrameIsARecordNamedByItsComment)
{
	testfiles::TempDir dir;
	dir.Write("water.xyz", "3\nwater\nO 0 0 0\nH 0.96 0 0\nh -0.24 0.93 0.0\n\n 3 \n\n8 0 0 0\n1 0.96 0 0\nD -0.24 0.93 0\n");
	const std::vector<Record> frames = Read(dir.File("water.xyz"));
	ASSERT_EQ(frames.size(), 2u);
	EXPECT_EQ(frames[0].name, "water");
	EXPECT_EQ(frames[1].name, "water"); // no comment: the file's name
	for (const Record& r : frames)
	{
		ASSERT_EQ(r.atoms.size(), 3u);
		EXPECT_STREQ(r.atoms[0].symbol, "O");
		EXPECT_STREQ(r.atoms[2].symbol, "H");
		EXPECT_EQ(Bonds(r), (BondSet{{0, 1, 1}, {0, 2, 1}}));
	}
}

TEST(StructureReading, BadInputIsRefusedWithTheFileAndTheLine)
{
	testfiles::TempDir dir;
	const std::string pept = testfiles::ReadFile(DEMO + "pept.pdb");
	const std::string cif = testfiles::ReadFile(DATA + "pept.cif");
	const std::string gz = testfiles::ReadFile(DATA + "1tii.cif.gz");
	std::string badCoordinate = pept;
	badCoordinate.replace(badCoordinate.find("25.698"), 6, "25.6x8");
	std::string shortLine = pept;
	shortLine.insert(shortLine.find("ATOM      3 "), "ATOM      3  CB  ASP E   1       4.633 -16.020\n");
	std::string badCif = cif;
	badCif.insert(badCif.find("loop_"), "loop_\n_a.b\n_a.c\n1\n");
	const std::string fractional = "data_salt\n_cell_length_a 5.64\n_cell_length_b 5.64\n_cell_length_c 5.64\n"
								   "loop_\n_atom_site_label\n_atom_site_fract_x\n_atom_site_fract_y\n_atom_site_fract_z\n"
								   "Na1 0 0 0\nCl1 0.5 0.5 0.5\n";
	const struct
	{
		const char* name;
		std::string content;
		const char* problem;
	} cases[] = {
		{"empty.pdb", "", "empty.pdb: the file is empty"},
		{"empty.xyz", "\n\n", "empty.xyz: no frame: the file holds only blank lines"},
		{"truncated.cif.gz", gz.substr(0, gz.size() / 2), "truncated.cif.gz: the gzip data is truncated"},
		{"plain.pdb.gz", pept, "plain.pdb.gz: not gzip-compressed data"},
		{"coordinate.pdb", badCoordinate, "coordinate.pdb: line 2: the z coordinate \\(columns 47-54\\) is not a number: '  25.6x8'"},
		{"short.pdb", shortLine, "short.pdb: line 3: ATOM   record too short"},
		{"caffeine.pdb", testfiles::ReadFile(std::string(VIRELTAN_SOURCE_DIR) + "/examples/caffeine.sdf"), "caffeine.pdb: no ATOM or HETATM records"},
		{"twin.pdb", cif, "twin.pdb: .*perhaps it is cif"},
		{"conect.pdb", pept.substr(0, pept.rfind("END")) + "CONECT    1  1.5\nEND\n", "conect.pdb: line 108: CONECT partner \\(columns 12-16\\)"},
		{"syntax.cif", badCif, "syntax.cif: line 1[0-9]: Wrong number of values in the loop"},
		{"pept.cif", pept, "pept.cif: "},
		{"salt.cif", fractional, "salt.cif: a small-molecule crystal CIF with fractional coordinates, which is not read"},
		{"count.xyz", "3\nwater\nO 0 0 0\nH 0.96 0 0\n", "count.xyz: line 4: the file ends after 2 of the frame's 3 atoms"},
		{"element.xyz", "1\n\nQq 0 0 0\n", "element.xyz: line 3: 'Qq' is not an element symbol"},
		{"number.xyz", "1\n\nC 0 nan 0\n", "number.xyz: line 3: expected an element and three coordinates"},
	};
	for (const auto& c : cases)
	{
		SCOPED_TRACE(c.name);
		dir.Write(c.name, c.content);
		const std::string problem = Problem(dir.File(c.name));
		EXPECT_THAT(problem, MatchesRegex(".*/" + std::string(c.problem) + ".*"));
		EXPECT_EQ(problem.find('\n'), std::string::npos);
	}
}

TEST(StructureMdl, V2000WhileTheCountsAndCoordinatesFitV3000Beyond)
{
	Record r;
	r.name = "chain";
	for (int i = 0; i < 999; ++i)
		r.atoms.push_back(At("C", 1.5 * i, 0, 0));
	for (int i = 0; i + 1 < 999; ++i)
		r.bonds.push_back(structure::Bond{i, i + 1, 1 + i % 3});
	const auto written = [](const Record& record) {
		std::ostringstream out;
		structure::WriteMdl(out, record, "a comment");
		return out.str();
	};
	const std::string v2000 = written(r);
	EXPECT_THAT(v2000, MatchesRegex("chain\n  Vireltan          3D\na comment\n999998  0  0  0  0  0  0  0  0999 V2000\n"
									"    0.0000    0.0000    0.0000 C   0  0  0(.|\n)*\n  1  2  1  0\n  2  3  2  0\n(.|\n)*M  END\n"));
	Record more = r;
	more.atoms.push_back(At("N", 0, 3, 0));
	EXPECT_THAT(written(more), MatchesRegex("(.|\n)*V3000\nM  V30 BEGIN CTAB\nM  V30 COUNTS 1000 998 0 0 0\n(.|\n)*"
											"M  V30 1000 N 0.0000 3.0000 0.0000 0\n(.|\n)*M  V30 998 2 998 999\nM  V30 END BOND\n"
											"M  V30 END CTAB\nM  END\n"));
	Record wide = r;
	wide.atoms.resize(2);
	wide.bonds.resize(1);
	wide.atoms[1].x = -10000;
	EXPECT_THAT(written(wide), HasSubstr("V3000"));
	wide.atoms[1].x = -9999.99;
	EXPECT_THAT(written(wide), HasSubstr("-9999.9900    0.0000"));
}
} // namespace
