#include "sdfloader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"

namespace
{
// Reads molecule files with the project's element table into a null object.
class SdfReader : public ::testing::Test
{
protected:
	void SetUp() override
	{
		vh::SetEcho(false);
		vh::ClearConsoleAndDialogs();
		ASSERT_TRUE(test::Attach(test::SourceDir(), false));
		ASSERT_TRUE(table.LoadElementTable());
		node = BaseObject::Alloc(Onull);
		ASSERT_NE(node, nullptr);
		node->SetName("before"_s);
	}
	void TearDown() override
	{
		BaseObject::Free(node);
		vh::ResetAllocationFailures();
		test::Detach();
	}
	Bool Load(const std::string& path)
	{
		SDFLoader loader;
		return loader.LoadFile(node, Filename(vh::FromUtf8(path)), table.elements, atoms, bonds);
	}
	Bool LoadData(const std::string& name) { return Load(test::DataPath("sdf/" + name)); }
	// Loads the text as the file m.mol of a fresh folder.
	Bool LoadText(const std::string& content)
	{
		testfiles::TempDir folder;
		folder.Write("m.mol", content);
		return Load(folder.File("m.mol"));
	}
	std::string Name() const { return vh::ToUtf8(node->GetName()); }
	void ExpectBond(Int i, Int32 a, Int32 b, Int32 order)
	{
		ASSERT_LT(i, bonds.GetCount());
		EXPECT_EQ(bonds[i].firstAtom, a) << "bond " << i;
		EXPECT_EQ(bonds[i].secondAtom, b) << "bond " << i;
		EXPECT_EQ(bonds[i].order, order) << "bond " << i;
	}
	std::vector<std::string> DialogTexts() const
	{
		std::vector<std::string> texts;
		for (const vh::DialogRecord& d : vh::Dialogs())
			texts.push_back(d.text);
		return texts;
	}

	Vireltan table;
	BaseObject* node = nullptr;
	maxon::BaseArray<AtomRecord> atoms;
	maxon::BaseArray<BondRecord> bonds;
};

// The host's text of the 1-based columns first..last of an ASCII line.
String HostColumns(const std::string& line, Int first, Int last)
{
	String s;
	s.SetCString(line.c_str(), Int(line.size()), STRINGENCODING::XBIT);
	return s.SubStr(first - 1, last - first + 1);
}

// A coordinate field as the reader's rule has it: the host's conversion, and 0 for text that
// gives no finite number.
Float HostCoordinate(const std::string& field)
{
	Bool error = false;
	const Float value = HostColumns(field, 1, Int(field.size())).ToFloat(&error);
	if (!std::isfinite(value) || (error && std::fabs(value) == std::numeric_limits<Float>::max()))
		return 0.0;
	return value;
}

// Bit for bit, so that -0.0 and 0.0 differ.
Bool SameBits(Float a, Float b)
{
	return std::memcmp(&a, &b, sizeof a) == 0;
}

// A V3000 record: the header with the given name, then the lines as written.
std::string V3000File(const std::string& body, const std::string& name = "v3000")
{
	return name + "\n     handwritten\n\n  0  0  0     0  0            999 V3000\n" + body;
}

TEST_F(SdfReader, RingInFileOrderUnscaledAndNamed)
{
	ASSERT_TRUE(LoadData("ring6.mol"));
	EXPECT_EQ(Name(), "cyclohexane ring");
	ASSERT_EQ(atoms.GetCount(), 6);
	ASSERT_EQ(bonds.GetCount(), 6);
	for (Int i = 0; i < 6; ++i)
	{
		EXPECT_EQ(atoms[i].elementIndex, 5);
		ExpectBond(i, Int32(i + 1), Int32((i + 1) % 6 + 1), 1);
	}
	test::ExpectVector(atoms[0].position, Vector(1.39, 0.0, 0.0));
	test::ExpectVector(atoms[1].position, Vector(0.695, 1.2038, 0.0));
	EXPECT_TRUE(vh::Dialogs().empty());
}

TEST_F(SdfReader, WindowsLineEndsReadTheSame)
{
	ASSERT_TRUE(LoadData("ring6_crlf.mol"));
	EXPECT_EQ(Name(), "cyclohexane ring");
	EXPECT_EQ(atoms.GetCount(), 6);
	EXPECT_EQ(bonds.GetCount(), 6);

	// Where the carriage return would show: a V3000 line continued after its "-", here as long as
	// the line before it.
	std::string text = V3000File("M  V30 BEGIN CTAB\nM  V30 BEGIN ATOM\nM  V30 1 C 1.50 -\nM  V30 2.5 3 0\nM  V30 END ATOM\n");
	for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
		text.replace(at, 1, "\r\n");
	ASSERT_TRUE(LoadText(text));
	ASSERT_EQ(atoms.GetCount(), 1);
	test::ExpectVector(atoms[0].position, Vector(1.5, 2.5, 3.0), 0.0);
}

TEST_F(SdfReader, CountsLineColumns)
{
	ASSERT_TRUE(LoadData("counts_9_10.mol"));
	EXPECT_EQ(atoms.GetCount(), 9);
	EXPECT_EQ(bonds.GetCount(), 10);
	ExpectBond(8, 1, 9, 2);
	ExpectBond(9, 3, 7, 3);
}

TEST_F(SdfReader, NameLineRules)
{
	ASSERT_TRUE(LoadData("empty_name.mol"));
	EXPECT_EQ(Name(), "before");
	EXPECT_EQ(atoms.GetCount(), 1);
	ASSERT_TRUE(LoadData("blank_name.mol"));
	EXPECT_EQ(Name(), "   ");
}

TEST_F(SdfReader, ShortCountsLineLoadsEmpty)
{
	ASSERT_TRUE(LoadData("short_counts.mol"));
	EXPECT_EQ(Name(), "short counts");
	EXPECT_EQ(atoms.GetCount(), 0);

	// Six characters are counted without the blanks around them: "1  0" is too short however
	// many blanks pad it, "1  0 0" is long enough.
	const std::string atomLine = "    0.0000    0.0000    0.0000 C   0\n";
	const std::pair<const char*, Int> cases[] = {{"  1  0    ", 0}, {"  1  0\t\t", 0}, {"  1  0  ", 0}, {"  1  0 0", 1}};
	for (const auto& c : cases)
	{
		ASSERT_TRUE(LoadText(std::string("padded\n\n\n") + c.first + "\n" + atomLine));
		EXPECT_EQ(atoms.GetCount(), c.second) << "'" << c.first << "'";
	}
}

TEST_F(SdfReader, FirstRecordOnly)
{
	ASSERT_TRUE(LoadData("two_records.sdf"));
	EXPECT_EQ(Name(), "first record");
	ASSERT_EQ(atoms.GetCount(), 2);
	EXPECT_EQ(atoms[0].elementIndex, 6);
	ASSERT_EQ(bonds.GetCount(), 1);
	ExpectBond(0, 1, 2, 3);
}

TEST_F(SdfReader, SymbolsIgnoreCaseAndUnknownAtomsKeepBondsRight)
{
	ASSERT_TRUE(LoadData("symbols.mol"));
	// Lines: C, Cl, cl, Xq (unknown, left out), CL, H.
	ASSERT_EQ(atoms.GetCount(), 5);
	const Int32 expected[] = {5, 16, 16, 16, 0};
	for (Int i = 0; i < 5; ++i)
		EXPECT_EQ(atoms[i].elementIndex, expected[i]) << i;
	test::ExpectVector(atoms[3].position, Vector(0.0, -1.7, 0.0));
	// Bonds to the left-out atom are dropped; later atom numbers follow the stored atoms;
	// numbers naming no atom line at all stay as read.
	ASSERT_EQ(bonds.GetCount(), 9);
	ExpectBond(0, 1, 2, 1);
	ExpectBond(1, 1, 3, 1);
	ExpectBond(2, 1, 4, 1);
	ExpectBond(3, 1, 5, 1);
	ExpectBond(4, 4, 5, 2);
	ExpectBond(5, 0, 1, 1);
	ExpectBond(6, -1, 2, 1);
	ExpectBond(7, 7, 1, 1);
	ExpectBond(8, 5, 12, 1);
}

TEST_F(SdfReader, LinesEndingInsideAFieldGiveWhatTheyHold)
{
	// Atom lines ending at column 32 ("C") and 33 ("Cl"), one ending after y (no symbol, left
	// out), one with its symbol in column 33, a non-ASCII one ending at column 32 ("O"); a bond
	// line ending after its second atom number.
	ASSERT_TRUE(LoadData("short_lines.mol"));
	ASSERT_EQ(atoms.GetCount(), 4);
	EXPECT_EQ(atoms[3].elementIndex, 7);
	EXPECT_EQ(atoms[0].elementIndex, 5);
	EXPECT_EQ(atoms[1].elementIndex, 16);
	test::ExpectVector(atoms[1].position, Vector(1.5, 0.0, 0.0));
	EXPECT_EQ(atoms[2].elementIndex, 6) << "columns 31-33 of \"  N\" trim to N";
	ASSERT_EQ(bonds.GetCount(), 2);
	ExpectBond(0, 1, 2, 2);
	ExpectBond(1, 1, 3, 0);
}

TEST_F(SdfReader, EmptyElementTableLeavesEveryAtomOut)
{
	table.elements.Flush();
	ASSERT_TRUE(LoadData("ring6.mol"));
	EXPECT_EQ(atoms.GetCount(), 0);
	EXPECT_EQ(bonds.GetCount(), 0);
}

TEST_F(SdfReader, BondOrdersAreKeptAsRead)
{
	ASSERT_TRUE(LoadData("orders.mol"));
	ExpectBond(0, 1, 2, 8);
	ExpectBond(1, 2, 3, 0);
	ExpectBond(2, 1, 3, 4);
}

TEST_F(SdfReader, BlocksCutShortByTheEndOfTheFileStopThere)
{
	// Four atoms and three bonds announced, two atom lines present: no phantom 0-0 bonds.
	ASSERT_TRUE(LoadData("truncated.mol"));
	EXPECT_EQ(atoms.GetCount(), 2);
	EXPECT_EQ(bonds.GetCount(), 0);
	// A bond block that ends early keeps the bonds it holds; a last line without a line end counts.
	ASSERT_TRUE(LoadText("cut\n\n\n  2  3  0  0  0  0  0  0  0  0999 V2000\n"
						 "    0.0000    0.0000    0.0000 C   0\n"
						 "    1.0000    0.0000    0.0000 O   0\n"
						 "  1  2  2"));
	EXPECT_EQ(atoms.GetCount(), 2);
	ASSERT_EQ(bonds.GetCount(), 1);
	ExpectBond(0, 1, 2, 2);
	// An empty line inside the file is still a line.
	ASSERT_TRUE(LoadText("gap\n\n\n  2  2  0  0  0  0  0  0  0  0999 V2000\n"
						 "    0.0000    0.0000    0.0000 C   0\n\n\n  1  1  1\n"));
	EXPECT_EQ(atoms.GetCount(), 1);
	ASSERT_EQ(bonds.GetCount(), 2);
	ExpectBond(0, 0, 0, 0);
	ExpectBond(1, 1, 1, 1);

	// The end of the record ends a block as the end of the file does: counts that overstate the
	// blocks take nothing of "M  END", "$$$$" or the next record.
	const std::string atomLines = "    0.0000    0.0000    0.0000 C   0\n"
								  "    1.0000    0.0000    0.0000 O   0\n";
	const std::string next = "$$$$\nsecond\n\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n"
							 "    0.0000    0.0000    0.0000 N   0\nM  END\n$$$$\n";
	ASSERT_TRUE(LoadText("bonds\n\n\n  2  5  0  0  0  0  0  0  0  0999 V2000\n" + atomLines + "  1  2  2\nM  END\n" + next));
	EXPECT_EQ(atoms.GetCount(), 2);
	ASSERT_EQ(bonds.GetCount(), 1);
	ExpectBond(0, 1, 2, 2);
	ASSERT_TRUE(LoadText("atoms\n\n\n  4  2  0  0  0  0  0  0  0  0999 V2000\n" + atomLines + "  1  2  2\nM  END\n" + next));
	EXPECT_EQ(atoms.GetCount(), 2);
	EXPECT_EQ(bonds.GetCount(), 0);
	ASSERT_TRUE(LoadText("no M  END\n\n\n  3  1  0  0  0  0  0  0  0  0999 V2000\n" + atomLines + next));
	EXPECT_EQ(atoms.GetCount(), 2);
	EXPECT_EQ(bonds.GetCount(), 0);
}

TEST_F(SdfReader, CoordinatesThatAreNoFiniteNumberReadAsZero)
{
	ASSERT_TRUE(LoadText("odd numbers\n\n\n  4  0  0  0  0  0  0  0  0  0999 V2000\n"
						 "       nan    1.5000       inf C   0\n"
						 " -infinity  Infinity       NaN C   0\n"
						 "     1e400   -1e-400   -2.5000 C   0\n"
						 "    1e+308   -1e+308    3.0000 C   0\n"));
	ASSERT_EQ(atoms.GetCount(), 4);
	test::ExpectVector(atoms[0].position, Vector(0.0, 1.5, 0.0), 0.0);
	test::ExpectVector(atoms[1].position, Vector(0.0, 0.0, 0.0), 0.0);
	test::ExpectVector(atoms[2].position, Vector(0.0, 0.0, -2.5), 0.0);
	// Huge but finite values are kept as read.
	test::ExpectVector(atoms[3].position, Vector(1e308, -1e308, 3.0), 0.0);

	// The same in a V3000 table.
	ASSERT_TRUE(LoadText(V3000File("M  V30 BEGIN CTAB\nM  V30 BEGIN ATOM\nM  V30 1 C nan 1.5 inf 0\n"
								   "M  V30 2 C -infinity 1e400 -1e-400 0\nM  V30 3 C 1e+308 -1e+308 NaN 0\n"
								   "M  V30 END ATOM\nM  V30 END CTAB\n")));
	ASSERT_EQ(atoms.GetCount(), 3);
	test::ExpectVector(atoms[0].position, Vector(0.0, 1.5, 0.0), 0.0);
	test::ExpectVector(atoms[1].position, Vector(0.0, 0.0, 0.0), 0.0);
	test::ExpectVector(atoms[2].position, Vector(1e308, -1e308, 0.0), 0.0);
}

TEST_F(SdfReader, FieldsThatFillTheirColumnsExactly)
{
	// Every field filled to both of its edges and with text right beside it, so a reader one
	// column off reads other numbers or no element. Counts: 3 atoms in 1-3, 102 bonds in 4-6.
	std::string content = "columns\n\n\n  3102  0\n";
	content += "-1234.5678-2345.6789-3456.7890Cl  0\n";
	content += "9876.5432118765.432127654.3210  N5\n";
	content += "   12.5000   -0.0001    0.0000 O   0\n";
	content += "123456  31\n";
	content += "  3  1  4  0\n";
	for (Int i = 0; i < 100; ++i)
		content += "  2  3  1  0\n";
	content += "M  END\n";
	ASSERT_TRUE(LoadText(content));
	ASSERT_EQ(atoms.GetCount(), 3);
	EXPECT_EQ(atoms[0].elementIndex, 16);
	test::ExpectVector(atoms[0].position, Vector(-1234.5678, -2345.6789, -3456.789), 0.0);
	EXPECT_EQ(atoms[1].elementIndex, 6);
	test::ExpectVector(atoms[1].position, Vector(9876.54321, 18765.4321, 27654.321), 0.0);
	EXPECT_EQ(atoms[2].elementIndex, 7);
	ASSERT_EQ(bonds.GetCount(), 102);
	// Atom numbers that name no atom line stay as read.
	ExpectBond(0, 123, 456, 3);
	ExpectBond(1, 3, 1, 4);
	ExpectBond(101, 2, 3, 1);
}

TEST_F(SdfReader, MissingFileAndFolderEmptyThePreviousMolecule)
{
	ASSERT_TRUE(LoadData("ring6.mol"));
	ASSERT_EQ(atoms.GetCount(), 6);
	node->SetName("kept"_s);
	EXPECT_FALSE(LoadData("does-not-exist.mol"));
	EXPECT_EQ(atoms.GetCount(), 0);
	EXPECT_EQ(bonds.GetCount(), 0);
	EXPECT_EQ(Name(), "kept");
	EXPECT_FALSE(Load(test::DataPath("sdf")));
	EXPECT_EQ(DialogTexts(),
		(std::vector<std::string>{"The .sdf file specified does not exist.", "The .sdf file specified does not exist."}));
	EXPECT_FALSE(vh::Dialogs()[0].question);
	EXPECT_EQ(vh::Dialogs()[0].flags, Int64(GEMB::OK | GEMB::ICONEXCLAMATION));
}

TEST_F(SdfReader, UnreadableFileFailsToOpen)
{
	test::TempPluginFolder folder(false);
	const std::string path = folder.Path() + "/locked.mol";
	folder.Write("locked.mol", "x\n\n\n  1  0\n");
	ASSERT_EQ(chmod(path.c_str(), 0), 0);
	if (std::ifstream(path).good())
		GTEST_SKIP() << "running with permissions that open any file";
	EXPECT_FALSE(Load(path));
	EXPECT_EQ(DialogTexts(), (std::vector<std::string>{"Failed to open the .sdf file."}));
}

TEST_F(SdfReader, OverlongPathIsRefusedNotTruncated)
{
	// The first 999 bytes of this path name an existing file; the whole path names another.
	test::TempPluginFolder folder(false);
	std::string dir = folder.Path();
	while (dir.size() < 900)
	{
		dir += "/" + std::string(50, 'd');
		ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
	}
	std::string file = dir + "/" + std::string(999 - dir.size() - 1, 'f');
	ASSERT_EQ(file.size(), 999u);
	ASSERT_EQ(std::system(("cp '" + test::DataPath("sdf/ring6.mol") + "' '" + file + "'").c_str()), 0);
	ASSERT_EQ(std::system(("cp '" + test::DataPath("sdf/ring6.mol") + "' '" + file + "x.mol'").c_str()), 0);
	ASSERT_TRUE(Load(file));
	EXPECT_EQ(atoms.GetCount(), 6);
	EXPECT_FALSE(Load(file + "x.mol"));
	EXPECT_EQ(atoms.GetCount(), 0);
	EXPECT_EQ(DialogTexts(), (std::vector<std::string>{"Failed to open the .sdf file."}));
}

TEST_F(SdfReader, OverlongLineStopsReadingWithoutCrash)
{
	test::TempPluginFolder folder(false);
	std::string content = "long\n\n\n  3  1  0  0\n";
	content += "    0.0000    0.0000    0.0000 C   0\n";
	content += "    1.0000    0.0000    0.0000 C   " + std::string(12000, '0') + "\n";
	content += "    2.0000    0.0000    0.0000 C   0\n  1  2  1\n";
	folder.Write("long.mol", content);
	ASSERT_TRUE(Load(folder.Path() + "/long.mol"));
	// The long line reads as its first 9998 characters; the input ends there.
	EXPECT_EQ(atoms.GetCount(), 2);
	EXPECT_EQ(bonds.GetCount(), 0);
}

TEST_F(SdfReader, LineLengthLimitNulBytesAndFilesLongerThanOneReadBlock)
{
	// A comment line of 9998 characters is whole, and 999 atom lines run far past the first
	// 120 KiB of the file, the reader's block; every atom comes out where its line put it.
	std::string text = "many\n\n" + std::string(9998, 'x') + "\n999  1  0  0  0  0  0  0  0  0999 V2000\n";
	for (int i = 0; i < 999; ++i)
	{
		char atomLine[80];
		std::snprintf(atomLine, sizeof atomLine, "%10.4f%10.4f%10.4f %-3s 0  0  0  0  0  0  0  0  0  0  0  0", i * 0.5, -i * 0.25, 1.0,
			i % 2 ? "O" : "C");
		text += atomLine + std::string(size_t(60 + i % 7), ' ') + "\n";
	}
	text += "998999  2\nM  END\n";
	ASSERT_GT(text.size(), 120u * 1024);
	ASSERT_TRUE(LoadText(text));
	ASSERT_EQ(atoms.GetCount(), 999);
	for (int i = 0; i < 999; ++i)
	{
		test::ExpectVector(atoms[i].position, Vector(i * 0.5, -i * 0.25, 1.0));
		EXPECT_EQ(atoms[i].elementIndex, i % 2 ? 7 : 5) << "atom " << i;
	}
	ASSERT_EQ(bonds.GetCount(), 1);
	ExpectBond(0, 998, 999, 2);

	// One character more and the line is cut there; the input ends with it.
	ASSERT_TRUE(LoadText("cut\n\n" + std::string(9999, 'x') + "\n  1  0  0  0  0  0  0  0  0  0999 V2000\n"
							"    0.0000    0.0000    0.0000 C   0\n"));
	EXPECT_EQ(atoms.GetCount(), 0);
	EXPECT_EQ(Name(), "cut");

	// A NUL byte ends its line's text: the second atom line holds no symbol.
	ASSERT_TRUE(LoadText(std::string("nul\n\n\n  2  0  0  0  0  0  0  0  0  0999 V2000\n"
									 "    0.0000    0.0000    0.0000 C   0\n"
									 "    1.0000    0.0000\0   0.0000 C   0\n",
		120)));
	ASSERT_EQ(atoms.GetCount(), 1);
	EXPECT_EQ(Name(), "nul");
}

TEST_F(SdfReader, BinaryAndEmptyFilesDoNotCrash)
{
	test::TempPluginFolder folder(false);
	std::string binary;
	for (Int i = 0; i < 70000; ++i)
		binary.push_back(char((i * 7919 + 13) % 256));
	folder.Write("binary.mol", binary);
	folder.Write("empty.mol", "");
	EXPECT_TRUE(Load(folder.Path() + "/binary.mol"));
	EXPECT_LE(atoms.GetCount(), 999);
	const std::string binaryName = Name();
	EXPECT_TRUE(Load(folder.Path() + "/empty.mol"));
	EXPECT_EQ(atoms.GetCount(), 0);
	EXPECT_EQ(bonds.GetCount(), 0);
	EXPECT_EQ(Name(), binaryName);
}

TEST_F(SdfReader, AtomThatCannotBeStoredIsDroppedWithItsBonds)
{
	// The reader's first allocation is the block it reads the file into; the second is the atoms'.
	vh::FailAllocations(vh::AllocKind::MEMORY, 1, 1);
	ASSERT_TRUE(LoadData("ring6.mol"));
	ASSERT_EQ(atoms.GetCount(), 5);
	test::ExpectVector(atoms[0].position, Vector(0.695, 1.2038, 0.0));
	// Bonds 6-1 and 1-2 named the dropped first atom.
	ASSERT_EQ(bonds.GetCount(), 4);
	ExpectBond(0, 1, 2, 1);
	ExpectBond(3, 4, 5, 1);
}

// Every field reads as the host's conversion of its columns, in plain and in unusual forms, and
// a line that is not ASCII keeps the columns of its decoded text.
TEST_F(SdfReader, FieldsReadAsTheHostConvertsTheirColumns)
{
	const std::vector<std::string> xs = {"    1.5000", "   -0.0000", "  1.5e+001", "    +2.000", "     0x1A ", "  12345678",
		"1.23456789", "  -1.5 xyz", "    .50000", "   5.     ", "          ", "   1..2   ", "   --1.0  ", "-123456.78",
		"\xc3\xa9  1.5000"};
	const std::vector<std::string> bondFields = {"  1", " +2", "0x3", " 4 ", "-1 ", "  ", "1 2", "009"};
	std::vector<std::string> atomLines, bondLines;
	for (const std::string& x : xs)
		atomLines.push_back(x + "-2.25000001.12500000 C   0  0"); // full fields: a shifted column reads other digits
	for (const std::string& b : bondFields)
		bondLines.push_back(b + "  1" + b + "  0");
	std::string content = "fields\n\n\n " + std::to_string(xs.size()) + "  " + std::to_string(bondFields.size()) + "  0  0\n";
	for (const std::string& l : atomLines)
		content += l + "\n";
	for (const std::string& l : bondLines)
		content += l + "\n";
	test::TempPluginFolder folder(false);
	folder.Write("fields.mol", content);
	ASSERT_TRUE(Load(folder.Path() + "/fields.mol"));
	ASSERT_EQ(atoms.GetCount(), Int(xs.size()));
	ASSERT_EQ(bonds.GetCount(), Int(bondFields.size()));

	const auto columns = HostColumns;
	Bool error = false;
	for (size_t i = 0; i < xs.size(); ++i)
	{
		const Float x = columns(atomLines[i], 1, 10).ToFloat(&error);
		const Float y = columns(atomLines[i], 11, 20).ToFloat(&error);
		const Float z = columns(atomLines[i], 21, 30).ToFloat(&error);
		EXPECT_EQ(std::memcmp(&atoms[Int(i)].position.x, &x, sizeof x), 0) << "'" << xs[i] << "' read as " << atoms[Int(i)].position.x << ", not " << x;
		EXPECT_EQ(atoms[Int(i)].position.y, y) << "line " << i;
		EXPECT_EQ(atoms[Int(i)].position.z, z) << "line " << i;
	}
	for (size_t i = 0; i < bondFields.size(); ++i)
		ExpectBond(Int(i), columns(bondLines[i], 1, 3).ToInt32(&error), columns(bondLines[i], 4, 6).ToInt32(&error),
			columns(bondLines[i], 7, 9).ToInt32(&error));
}

// Ten-column coordinates by the thousand: every text of the characters numbers are made of in the
// five columns before a point, and random texts of those characters. Each reads, to the bit, as
// the host converts its columns, whichever way the reader takes.
TEST_F(SdfReader, GeneratedCoordinateFieldsReadAsTheHostConvertsThem)
{
	std::vector<std::string> fields = {"   -0.0000", "    0.0000", "-0.0000   ", "    1.5   ", "   1.50000", "      -0.0", "   00.0001",
		"99999.9999", "-9999.9999", "    -.5000", "    1.5e01", "    +1.500", "   - 1.000", "  --1.0000", "   1.-0000"};
	const std::string head = " 	-+0.7";
	const std::string tails[] = {".4433", ".0000", ". 433", ".44e3", "44.33", " 4433"};
	for (Int code = 0; code < 8 * 8 * 8 * 8 * 8; ++code)
	{
		std::string field;
		for (Int c = code, i = 0; i < 5; ++i, c /= 8)
			field += head[size_t(c % 8)];
		fields.push_back(field + tails[size_t(code % 6)]);
	}
	const std::string characters = " -+.0123456789eE	x";
	std::mt19937 random(20);
	for (Int i = 0; i < 3000; ++i)
	{
		std::string field;
		for (Int j = 0; j < 10; ++j)
			field += characters[random() % characters.size()];
		fields.push_back(field);
	}

	Int checked = 0;
	for (size_t begin = 0; begin < fields.size(); begin += 3 * 999)
	{
		const size_t end = std::min(fields.size(), begin + 3 * 999);
		std::string content = "fields\n\n\n" + std::to_string((end - begin + 2) / 3 + 1000).substr(1) + "  0  0  0  0  0  0  0  0  0999 V2000\n";
		for (size_t i = begin; i < end; i += 3)
			content += fields[i] + fields[std::min(i + 1, end - 1)] + fields[std::min(i + 2, end - 1)] + " C   0  0  0\n";
		ASSERT_TRUE(LoadText(content));
		ASSERT_EQ(atoms.GetCount(), Int((end - begin + 2) / 3));
		for (size_t i = begin; i < end; i += 3, ++checked)
		{
			const AtomRecord& atom = atoms[Int(i - begin) / 3];
			const Float expected[] = {HostCoordinate(fields[i]), HostCoordinate(fields[std::min(i + 1, end - 1)]),
				HostCoordinate(fields[std::min(i + 2, end - 1)])};
			const Float read[] = {atom.position.x, atom.position.y, atom.position.z};
			for (Int k = 0; k < 3; ++k)
			{
				EXPECT_TRUE(SameBits(read[k], expected[k]))
					<< "'" << fields[std::min(i + size_t(k), end - 1)] << "' read as " << read[k] << ", not " << expected[k];
			}
		}
	}
	EXPECT_EQ(checked, Int((fields.size() + 2) / 3));
}

// Every three-column text of the characters a number is made of, as each field of a bond line,
// reads as the host converts its columns (no atom lines, so atom numbers stay as read).
TEST_F(SdfReader, GeneratedThreeColumnNumbersReadAsTheHostConvertsThem)
{
	const std::string characters = " 019-+x\t\x01";
	std::vector<std::string> fields;
	for (size_t a = 0; a < characters.size(); ++a)
	{
		for (size_t b = 0; b < characters.size(); ++b)
		{
			for (size_t c = 0; c < characters.size(); ++c)
				fields.push_back({characters[a], characters[b], characters[c]});
		}
	}
	ASSERT_LE(fields.size(), 999u);
	std::string content = "numbers\n\n\n  0" + std::to_string(fields.size()) + "  0  0  0  0  0  0  0  0999 V2000\n";
	std::vector<std::string> lines;
	for (size_t i = 0; i < fields.size(); ++i)
		lines.push_back(fields[i] + fields[(i + 7) % fields.size()] + fields[(i + 311) % fields.size()] + "  0");
	for (const std::string& line : lines)
		content += line + "\n";
	ASSERT_TRUE(LoadText(content));
	ASSERT_EQ(bonds.GetCount(), Int(lines.size()));
	Bool error = false;
	for (size_t i = 0; i < lines.size(); ++i)
	{
		ExpectBond(Int(i), HostColumns(lines[i], 1, 3).ToInt32(&error), HostColumns(lines[i], 4, 6).ToInt32(&error),
			HostColumns(lines[i], 7, 9).ToInt32(&error));
	}
}

// A line as long as the line before it reads as it does after a line of another length, whatever
// byte it holds where: a NUL, a line feed, a carriage return, a tab or other control byte, a byte
// that is not ASCII, at each column of the line and at its end. Atom lines, and bond lines
// shorter than eight characters.
TEST_F(SdfReader, LinesAsLongAsTheOneBeforeReadAsAnyOther)
{
	const std::string bytes[] = {std::string(1, '\0'), "\n", "\r", "\t", "\x0b", "\x01", "\x7f", "\x80", "\xc3\xa9"};
	auto changedLines = [&](const std::string& line, size_t step) {
		std::vector<std::string> lines;
		for (const std::string& byte : bytes)
		{
			for (size_t column = 0; column <= line.size(); column += byte == "\r" ? 1 : step)
				lines.push_back(line.substr(0, column) + byte + line.substr(std::min(line.size(), column + 1)));
		}
		return lines;
	};
	const std::string atomLine = "   -1.2500    2.5000   -0.1250 C   0  0  0  0  0  0";
	const std::vector<std::string> atomLines = changedLines(atomLine, 3);
	const std::vector<std::string> bondLines = changedLines("  1  3", 1);
	ASSERT_LE(2 * atomLines.size(), 999u);
	ASSERT_LE(2 * bondLines.size(), 999u);
	// Before each changed line a plain one as long as it, or a plain one of another length.
	auto file = [&](Bool sameLength) {
		std::string content = "lines\n\n\n" + std::to_string(2 * atomLines.size()) + std::to_string(2 * bondLines.size()) +
			"  0  0  0  0  0  0  0  0999 V2000\n";
		for (const std::string& line : atomLines)
			content += atomLine.substr(0, 34) + std::string(line.size() - 34 + (sameLength ? 0 : 3), ' ') + "\n" + line + "\n";
		for (const std::string& line : bondLines)
			content += "  5  7" + std::string(line.size() - 6 + (sameLength ? 0 : 1), ' ') + "\n" + line + "\n";
		return content;
	};
	ASSERT_TRUE(LoadText(file(false)));
	const std::vector<AtomRecord> otherAtoms(atoms.begin(), atoms.end());
	const std::vector<BondRecord> otherBonds(bonds.begin(), bonds.end());
	ASSERT_TRUE(LoadText(file(true)));
	ASSERT_EQ(atoms.GetCount(), Int(otherAtoms.size()));
	// Lines cut by a NUL before their symbol lose their atom; most keep it.
	EXPECT_LT(atoms.GetCount(), Int(2 * atomLines.size()));
	EXPECT_GT(atoms.GetCount(), Int(3 * atomLines.size() / 2));
	for (Int i = 0; i < atoms.GetCount(); ++i)
	{
		EXPECT_EQ(atoms[i].elementIndex, otherAtoms[size_t(i)].elementIndex) << "atom " << i;
		EXPECT_TRUE(SameBits(atoms[i].position.x, otherAtoms[size_t(i)].position.x)) << "atom " << i;
		EXPECT_TRUE(SameBits(atoms[i].position.y, otherAtoms[size_t(i)].position.y)) << "atom " << i;
		EXPECT_TRUE(SameBits(atoms[i].position.z, otherAtoms[size_t(i)].position.z)) << "atom " << i;
	}
	ASSERT_EQ(bonds.GetCount(), Int(otherBonds.size()));
	EXPECT_GT(bonds.GetCount(), Int(bondLines.size()));
	for (Int i = 0; i < bonds.GetCount(); ++i)
		ExpectBond(i, otherBonds[size_t(i)].firstAtom, otherBonds[size_t(i)].secondAtom, otherBonds[size_t(i)].order);
}

TEST_F(SdfReader, NoMemoryToReadTheFileFailsWithAMessage)
{
	ASSERT_TRUE(LoadData("ring6.mol"));
	vh::ClearConsoleAndDialogs();
	vh::FailAllocations(vh::AllocKind::MEMORY, 0, 1);
	EXPECT_FALSE(LoadData("ring6.mol"));
	EXPECT_EQ(atoms.GetCount(), 0);
	EXPECT_EQ(bonds.GetCount(), 0);
	EXPECT_EQ(DialogTexts(), (std::vector<std::string>{"Not enough memory to read the .sdf file."}));
}

TEST_F(SdfReader, RealToolkitFile)
{
	ASSERT_TRUE(Load(test::SourceDir() + "/examples/caffeine.sdf"));
	EXPECT_EQ(atoms.GetCount(), 24);
	EXPECT_EQ(bonds.GetCount(), 25);
}

TEST_F(SdfReader, V3000FilesWrittenByAToolkitMatchTheirV2000Form)
{
	for (const char* base : {"cyanobenzoyl", "blocks"})
	{
		ASSERT_TRUE(Load(test::DataPath(std::string("rdkit/") + base + "_v2000.mol")));
		const std::string name = Name();
		std::vector<AtomRecord> v2000Atoms(atoms.begin(), atoms.end());
		std::vector<BondRecord> v2000Bonds(bonds.begin(), bonds.end());
		node->SetName("before"_s);
		ASSERT_TRUE(Load(test::DataPath(std::string("rdkit/") + base + "_v3000.mol")));
		EXPECT_EQ(Name(), name);
		ASSERT_EQ(atoms.GetCount(), Int(v2000Atoms.size())) << base;
		ASSERT_EQ(bonds.GetCount(), Int(v2000Bonds.size())) << base;
		for (Int i = 0; i < atoms.GetCount(); ++i)
		{
			EXPECT_EQ(atoms[i].elementIndex, v2000Atoms[i].elementIndex) << base << " atom " << i;
			// V2000 keeps four decimals, V3000 six.
			test::ExpectVector(atoms[i].position, v2000Atoms[i].position, 0.5e-4 + 1e-12);
		}
		for (Int i = 0; i < bonds.GetCount(); ++i)
			ExpectBond(i, v2000Bonds[i].firstAtom, v2000Bonds[i].secondAtom, v2000Bonds[i].order);
		EXPECT_TRUE(vh::Dialogs().empty());
	}
	// The first pair holds every bond order and chlorine; the second passes blocks over.
	std::set<Int32> orders;
	ASSERT_TRUE(Load(test::DataPath("rdkit/cyanobenzoyl_v3000.mol")));
	for (const BondRecord& b : bonds)
		orders.insert(b.order);
	EXPECT_EQ(orders, (std::set<Int32>{1, 2, 3, 4}));
	// N#Cc1ccc(cc1)C(=O)Cl: the eleventh atom is the chlorine.
	EXPECT_EQ(atoms[10].elementIndex, 16);
}

TEST_F(SdfReader, V3000BeyondTheThreeColumnCounts)
{
	ASSERT_TRUE(Load(test::SourceDir() + "/examples/interleukin2_v3000.mol"));
	EXPECT_EQ(Name(), "interleukin-2 (pymol-data demo il2.pdb)");
	ASSERT_EQ(atoms.GetCount(), 2084);
	ASSERT_EQ(bonds.GetCount(), 2099);
	// First and last atom lines of the structure file the example was made from.
	EXPECT_EQ(atoms[0].elementIndex, 6);
	test::ExpectVector(atoms[0].position, Vector(17.166, -7.606, -4.933), 1e-9);
	Int32 highest = 0;
	for (const BondRecord& b : bonds)
	{
		highest = std::max({highest, b.firstAtom, b.secondAtom});
		EXPECT_GE(std::min(b.firstAtom, b.secondAtom), 1);
	}
	EXPECT_EQ(highest, 2084);
}

TEST_F(SdfReader, V3000AtomAndBondLines)
{
	// Free-format numbers, KEY=VALUE fields, a quoted type, an unknown symbol and a list (both
	// left out, their bonds dropped, later atoms renumbered), atom numbers that are not 1..n,
	// a bond naming no atom (dropped), unknown bond orders kept, and a line continued inside a
	// number.
	ASSERT_TRUE(LoadText(V3000File("M  V30 BEGIN CTAB\n"
								   "M  V30 COUNTS 6 6 0 0 1\n"
								   "M  V30 BEGIN ATOM\n"
								   "M  V30 10 C 1.5 -2 3e1 0 CHG=1 MASS=13\n"
								   "M  V30 20 Xq 0 0 0 0\n"
								   "M  V30 30 \"cl\" 0.25 0 0 0\n"
								   "M  V30 35 [C,N] 0 0 0 0\n"
								   "M  V30 40 O 1.2-\n"
								   "M  V30 5 -0.5 0 0\n"
								   "M  V30 50   N   7  8  9  0\n"
								   "M  V30 END ATOM\n"
								   "M  V30 BEGIN BOND\n"
								   "M  V30 1 1 10 30\n"
								   "M  V30 2 2 10 20\n"
								   "M  V30 3 3 30 40 CFG=2\n"
								   "M  V30 4 9 40 50\n"
								   "M  V30 5 1 10 2\n"
								   "M  V30 6 4 50 -\n"
								   "M  V30 10\n"
								   "M  V30 END BOND\n"
								   "M  V30 END CTAB\n"
								   "M  END\n")));
	ASSERT_EQ(atoms.GetCount(), 4);
	const Int32 elements[] = {5, 16, 7, 6};
	const Vector positions[] = {Vector(1.5, -2, 30), Vector(0.25, 0, 0), Vector(1.25, -0.5, 0), Vector(7, 8, 9)};
	for (Int i = 0; i < 4; ++i)
	{
		EXPECT_EQ(atoms[i].elementIndex, elements[i]) << i;
		test::ExpectVector(atoms[i].position, positions[i], 0.0);
	}
	ASSERT_EQ(bonds.GetCount(), 4);
	ExpectBond(0, 1, 2, 1);
	ExpectBond(1, 2, 3, 3);
	ExpectBond(2, 3, 4, 9);
	ExpectBond(3, 4, 1, 4);
}

TEST_F(SdfReader, DamagedV3000GivesWhatCouldBeRead)
{
	const std::string atomBlock = "M  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 2 O 1 0 0 0\nM  V30 END ATOM\n";
	const std::string bondBlock = "M  V30 BEGIN BOND\nM  V30 1 2 1 2\nM  V30 END BOND\n";
	struct Case
	{
		const char* what;
		std::string body;
		Int atoms;
		Int bonds;
	};
	const Case cases[] = {
		{"tiny hand-made file", "", 1, 0},
		{"no END CTAB", "M  V30 BEGIN CTAB\nM  V30 COUNTS 2 1 0 0 0\n" + atomBlock + bondBlock + "M  END\n", 2, 1},
		{"no END CTAB, no M  END", "M  V30 BEGIN CTAB\n" + atomBlock + bondBlock, 2, 1},
		{"counts larger than the blocks", "M  V30 BEGIN CTAB\nM  V30 COUNTS 9 7 0 0 0\n" + atomBlock + bondBlock + "M  V30 END CTAB\n", 2, 1},
		{"counts smaller than the blocks", "M  V30 BEGIN CTAB\nM  V30 COUNTS 1 0 0 0 0\n" + atomBlock + bondBlock + "M  V30 END CTAB\n", 2, 1},
		{"counts of zero", "M  V30 BEGIN CTAB\nM  V30 COUNTS 0 0 0 0 0\n" + atomBlock + bondBlock + "M  V30 END CTAB\n", 2, 1},
		{"counts that are no numbers", "M  V30 BEGIN CTAB\nM  V30 COUNTS x -1 0 0 0\n" + atomBlock + bondBlock + "M  V30 END CTAB\n", 2, 1},
		{"no COUNTS line", "M  V30 BEGIN CTAB\n" + atomBlock + bondBlock + "M  V30 END CTAB\n", 2, 1},
		{"no BEGIN CTAB", "M  V30 COUNTS 2 1 0 0 0\n" + atomBlock + bondBlock + "M  END\n", 2, 1},
		{"keywords in lower case", "m  v30 begin ctab\nm  v30 counts 2 1 0 0 0\nm  v30 begin atom\nm  v30 1 c 0 0 0 0\n"
								   "m  v30 2 o 1 0 0 0\nm  v30 end atom\nm  v30 begin bond\nm  v30 1 2 1 2\nm  v30 end bond\n"
								   "m  v30 end ctab\nm  end\nM  V30 3 C 9 9 9 0\n", 2, 1},
		{"a tab after the prefix", "M  V30\tBEGIN CTAB\nM  V30\tBEGIN ATOM\nM  V30\t1 C 0 0 0 0\nM  V30\t2 O 1 0 0 0\n"
								   "M  V30\tEND ATOM\n" + bondBlock + "M  V30\tEND CTAB\n", 2, 1},
		{"blanks after the continuation mark", "M  V30 BEGIN CTAB\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 -  \t\nM  V30 0\n"
											  "M  V30 2 O 1 0 0 0\nM  V30 END ATOM\n" + bondBlock + "M  V30 END CTAB\n", 2, 1},
		{"prefix run into the text", "M  V30BEGIN CTAB\nM  V30 BEGIN CTAB\n" + atomBlock + "M  V301 1 1 2\n" + bondBlock, 2, 1},
		{"file ends inside the atom block", "M  V30 BEGIN CTAB\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0 0 0\nM  V30 2 N", 1, 0},
		{"short atom and bond lines", "M  V30 BEGIN CTAB\nM  V30 BEGIN ATOM\nM  V30 1 C 0 0\nM  V30 2 C 0 0 0\n"
									  "M  V30 END ATOM\nM  V30 BEGIN BOND\nM  V30 1 1 2\nM  V30 END BOND\nM  V30 END CTAB\n", 1, 0},
		{"record ends inside a continued line", "M  V30 BEGIN CTAB\n" + atomBlock + "M  V30 BEGIN BOND\nM  V30 1 1 1 2 -\nM  END\nM  V30 2 1 1 2\n", 2, 1},
		{"continuation at the end of the file", "M  V30 BEGIN CTAB\n" + atomBlock + "M  V30 BEGIN BOND\nM  V30 1 1 1 2 -", 2, 1},
		{"blocks passed over", "M  V30 BEGIN CTAB\nM  V30 COUNTS 3 1 1 0 0\n"
								   "M  V30 BEGIN TEMPLATE\nM  V30 BEGIN ATOM\nM  V30 1 N 9 9 9 0\nM  V30 END ATOM\nM  V30 END TEMPLATE\n" +
									   atomBlock +
								   "M  V30 BEGIN SGROUP\nM  V30 1 SUP 0 ATOMS=(2 1 2) -\nM  V30 LABEL=x\nM  V30 END SGROUP\n"
								   "M  V30 BEGIN OBJ3D\nM  V30 BEGIN COLLECTION\nM  V30 END COLLECTION\nM  V30 END OBJ3D\n"
								   "M  V30 LINKNODE 1 2 2 1 2 1 2\n"
								   "M  V30 BEGIN ATOM\nM  V30 3 C 5 5 5 0\nM  V30 END ATOM\n" + bondBlock +
								   "M  V30 BEGIN COLLECTION\nM  V30 MDLV30/STEABS ATOMS=(1 1)\nM  V30 END COLLECTION\nM  V30 END CTAB\n", 2, 1},
		{"second record not read", "M  V30 BEGIN CTAB\n" + atomBlock + "M  END\n$$$$\nsecond\n\n\n  1  0  0  0  0  0  0  0  0  0999 V2000\n"
																		"    0.0000    0.0000    0.0000 N   0\nM  END\n", 2, 0},
	};
	for (const Case& c : cases)
	{
		if (c.body.empty())
			ASSERT_TRUE(LoadData("v3000.mol")) << c.what;
		else
			ASSERT_TRUE(LoadText(V3000File(c.body))) << c.what;
		EXPECT_EQ(atoms.GetCount(), c.atoms) << c.what;
		EXPECT_EQ(bonds.GetCount(), c.bonds) << c.what;
	}
	EXPECT_TRUE(vh::Dialogs().empty());
}

TEST_F(SdfReader, V3000AtomNumbersAndTags)
{
	// Atom numbers and bond references that are no positive number name no atom; the atoms are kept.
	ASSERT_TRUE(LoadText(V3000File("M  V30 BEGIN CTAB\nM  V30 BEGIN ATOM\n"
								   "M  V30 x C 0 0 0 0\nM  V30 0 O 1 0 0 0\nM  V30 -1 N 2 0 0 0\n"
								   "M  V30 1 S 3 0 0 0\nM  V30 2 P 4 0 0 0\nM  V30 END ATOM\nM  V30 BEGIN BOND\n"
								   "M  V30 1 1 x 1\nM  V30 2 1 0 1\nM  V30 3 1 -1 2\nM  V30 4 1 2x 1\nM  V30 5 2 1 2\n"
								   "M  V30 END BOND\nM  V30 END CTAB\nM  END\n")));
	EXPECT_EQ(atoms.GetCount(), 5);
	ASSERT_EQ(bonds.GetCount(), 1);
	ExpectBond(0, 4, 5, 2);
	// A line continued inside a number gives the whole number.
	ASSERT_TRUE(LoadText(V3000File("M  V30 BEGIN CTAB\nM  V30 BEGIN ATOM\nM  V30 1 C 1 2 - \nM  V30 3 0\n"
								   "M  V30 END ATOM\nM  V30 END CTAB\n")));
	ASSERT_EQ(atoms.GetCount(), 1);
	test::ExpectVector(atoms[0].position, Vector(1, 2, 3), 0.0);

	// A tag in lower case leads a V3000 table; a V3000 tag over V2000 lines reads them as V2000.
	ASSERT_TRUE(LoadText("lower\n\n\n  0  0  0     0  0            999 v3000\nM  V30 BEGIN CTAB\nM  V30 BEGIN ATOM\n"
						 "M  V30 1 C 0 0 0 0\nM  V30 END ATOM\nM  V30 END CTAB\nM  END\n"));
	EXPECT_EQ(atoms.GetCount(), 1);
	ASSERT_TRUE(LoadText("tagged\n\n\n  2  1  0  0  0  0            999 V3000\n"
						 "    0.0000    0.0000    0.0000 C   0\n"
						 "    1.0000    0.0000    0.0000 O   0\n"
						 "  1  2  2\nM  END\n"));
	ASSERT_EQ(atoms.GetCount(), 2);
	EXPECT_EQ(atoms[1].elementIndex, 7);
	ASSERT_EQ(bonds.GetCount(), 1);
	ExpectBond(0, 1, 2, 2);
	EXPECT_TRUE(vh::Dialogs().empty());
}
} // namespace
