#include "fixture.h"

namespace
{
ElementRecord Parse(const char* line, ElementRecord start = ElementRecord{String(), Vector(), 1.0, 1.0})
{
	EXPECT_TRUE(ParseElementLine(String(line), start));
	return start;
}

TEST(ElementLine, FullFormAndIgnoredMiddleFields)
{
	for (const char* line : {"Xx,FF8000,1.5,2.5", "Xx,FF8000,1.5,9,2.5", "Xx,FF8000,1.5,a,b,c,2.5"})
	{
		ElementRecord r = Parse(line);
		EXPECT_TRUE(r.symbol == "Xx") << line;
		test::ExpectVector(r.colour, Vector(1.0, 128.0 / 255.0, 0.0));
		EXPECT_DOUBLE_EQ(r.radiusA, 1.5);
		EXPECT_DOUBLE_EQ(r.radiusB, 2.5);
	}
}

TEST(ElementLine, LastFieldAlwaysGoesToRadiusB)
{
	ElementRecord previous{String("Pp"), Vector(0.1, 0.2, 0.3), 7.0, 8.0};
	ElementRecord r = Parse("Xx,FF8000,1.5", previous);
	EXPECT_DOUBLE_EQ(r.radiusA, 7.0);
	EXPECT_DOUBLE_EQ(r.radiusB, 1.5);

	r = Parse("Xx,FF8000,1.5,", previous);
	EXPECT_DOUBLE_EQ(r.radiusA, 1.5);
	EXPECT_DOUBLE_EQ(r.radiusB, 8.0);

	r = Parse("3.25", previous);
	EXPECT_TRUE(r.symbol == "Pp");
	test::ExpectVector(r.colour, Vector(0.1, 0.2, 0.3));
	EXPECT_DOUBLE_EQ(r.radiusA, 7.0);
	EXPECT_DOUBLE_EQ(r.radiusB, 3.25);
}

TEST(ElementLine, EmptyFieldsTakeTheirDefaults)
{
	ElementRecord r = Parse("Xx,,,2.5", ElementRecord{String(), Vector(), 5.0, 5.0});
	test::ExpectVector(r.colour, Vector(0.2, 0.2, 0.2));
	EXPECT_DOUBLE_EQ(r.radiusA, 1.0);
	EXPECT_DOUBLE_EQ(r.radiusB, 2.5);
	// Fields are not trimmed: a quoted symbol keeps its quotes.
	r = Parse("\"Ab\",000000,1,2");
	EXPECT_TRUE(r.symbol == "\"Ab\"");
	// Bits above the lowest 24 are ignored.
	r = Parse("Xx,1FF0000,1,2");
	test::ExpectVector(r.colour, Vector(1.0, 0.0, 0.0));
}

TEST(FindElementLookup, CaseAndBlanks)
{
	maxon::BaseArray<ElementRecord> table;
	for (const char* s : {"H", "Cl", "C ", "Cl", ""})
		ASSERT_FALSE(table.Append(ElementRecord{String(s), Vector(), 1.0, 1.0}).Failed());
	EXPECT_EQ(FindElement(String("cl"), table), 1);
	EXPECT_EQ(FindElement(String("CL"), table), 1);
	EXPECT_EQ(FindElement(String("  Cl \t"), table), 1);
	EXPECT_EQ(FindElement(String("h"), table), 0);
	// A record whose own symbol carries a blank is never found.
	EXPECT_EQ(FindElement(String("C"), table), -1);
	EXPECT_EQ(FindElement(String("C "), table), -1);
	// Empty and all-blank search texts find the first empty symbol.
	EXPECT_EQ(FindElement(String(""), table), 4);
	EXPECT_EQ(FindElement(String("   "), table), 4);
	table.Flush();
	EXPECT_EQ(FindElement(String("H"), table), -1);
	EXPECT_EQ(FindElement(String(""), table), -1);
}

class ElementTableFile : public ::testing::Test
{
protected:
	void SetUp() override { vh::SetEcho(false); }
	void TearDown() override
	{
		vh::ResetAllocationFailures();
		test::Detach();
	}
	// Loads ptable.csv with the given content (nullptr: no file at all).
	Bool Load(const char* content, Vireltan& object)
	{
		test::TempPluginFolder folder(false);
		if (content)
			folder.Write("res/ptable.csv", content);
		EXPECT_TRUE(test::Attach(folder.Path(), false));
		return object.LoadElementTable();
	}
};

TEST_F(ElementTableFile, ProjectTableHoldsAllElementsInOrder)
{
	ASSERT_TRUE(test::Attach(test::SourceDir(), false));
	Vireltan object;
	ASSERT_TRUE(object.LoadElementTable());
	ASSERT_EQ(object.elements.GetCount(), 118);
	struct Row
	{
		Int index;
		const char* symbol;
		Int32 rgb;
		Float a, b;
	};
	const Row rows[] = {{0, "H", 0xFFFFFF, 31, 120}, {5, "C", 0x909090, 76, 170}, {6, "N", 0x3050F8, 71, 155},
		{7, "O", 0xFF0D0D, 66, 152}, {16, "Cl", 0x1FF01F, 102, 175}, {25, "Fe", 0xE06633, 132, 205},
		{117, "Og", 0xFF000F, 169, 200}};
	for (const Row& row : rows)
	{
		const ElementRecord& e = object.elements[row.index];
		EXPECT_TRUE(e.symbol == row.symbol) << row.symbol;
		test::ExpectVector(e.colour,
			Vector(((row.rgb >> 16) & 0xFF) / 255.0, ((row.rgb >> 8) & 0xFF) / 255.0, (row.rgb & 0xFF) / 255.0));
		EXPECT_DOUBLE_EQ(e.radiusA, row.a) << row.symbol;
		EXPECT_DOUBLE_EQ(e.radiusB, row.b) << row.symbol;
	}
	for (Int i = 0; i < 118; ++i)
		EXPECT_GE(FindElement(object.elements[i].symbol, object.elements), 0);
}

TEST_F(ElementTableFile, HeaderOnlyFilesGiveAnEmptyTable)
{
	for (const char* content : {"", "only one line\n", "header 1\nheader 2\n", "header 1\nheader 2"})
	{
		Vireltan object;
		EXPECT_TRUE(Load(content, object)) << content;
		EXPECT_EQ(object.elements.GetCount(), 0);
		test::Detach();
	}
}

TEST_F(ElementTableFile, MissingFileFailsAndEmptiesTheTable)
{
	Vireltan object;
	ASSERT_FALSE(object.elements.Append(ElementRecord{String("Q"), Vector(), 1.0, 1.0}).Failed());
	EXPECT_FALSE(Load(nullptr, object));
	EXPECT_EQ(object.elements.GetCount(), 0);
}

TEST_F(ElementTableFile, BlankLinesRepeatAndCarriageReturnsAreDropped)
{
	Vireltan object;
	ASSERT_TRUE(Load("h1\r\nh2\r\nH,FFFFFF,31,120\r\n\r\nHe,D9FFFF,28,140\r\n", object));
	ASSERT_EQ(object.elements.GetCount(), 3);
	EXPECT_TRUE(object.elements[1].symbol == "H");
	EXPECT_DOUBLE_EQ(object.elements[1].radiusB, 120.0);
	EXPECT_TRUE(object.elements[2].symbol == "He");
	EXPECT_DOUBLE_EQ(object.elements[2].radiusB, 140.0);
	EXPECT_EQ(FindElement(String("he"), object.elements), 2);
}

TEST_F(ElementTableFile, OverlongLineEndsTheTable)
{
	std::string content = "h1\nh2\nH,FFFFFF,31,120\nHe," + std::string(10000, 'A') + ",1,2\nLi,CC80FF,128,182\n";
	Vireltan object;
	ASSERT_TRUE(Load(content.c_str(), object));
	EXPECT_EQ(object.elements.GetCount(), 1);
}

TEST_F(ElementTableFile, RecordThatCannotBeStoredIsDropped)
{
	test::TempPluginFolder folder(false);
	folder.Write("res/ptable.csv", "h1\nh2\nH,FFFFFF,31,120\nHe,D9FFFF,28,140\n");
	ASSERT_TRUE(test::Attach(folder.Path(), false));
	Vireltan object;
	vh::FailAllocations(vh::AllocKind::MEMORY, 0, 1);
	ASSERT_TRUE(object.LoadElementTable());
	ASSERT_EQ(object.elements.GetCount(), 1);
	EXPECT_TRUE(object.elements[0].symbol == "He");
}
} // namespace
