// The project's res folder as the host reads it, and the reader's refusal of broken resources.
#include <cmath>
#include <map>
#include <regex>
#include <set>

#include "res_support.h"

using namespace res_test;

namespace
{
enum class Kind { NONE, INT, FLOAT, BOOL, COLOR };

// The object's parameter table: id, symbol, type and default.
struct Param
{
	Int32 id;
	const char* symbol;
	Int32 dtype;
	Kind kind;
	Float value; // INT, FLOAT, BOOL
	Vector color;
};

const Param kParams[] = {
	{20000, "MOLOBJ_FILE", DTYPE_FILENAME, Kind::NONE, 0, {}},
	{20001, "MOLOBJ_LOAD", DTYPE_BUTTON, Kind::NONE, 0, {}},
	{20002, "MOLOBJ_ATOM_RADIUS_MODE", DTYPE_LONG, Kind::INT, 3, {}},
	{20003, "MOLOBJ_ATOM_SIZE", DTYPE_REAL, Kind::FLOAT, 25.0, {}},
	{20004, "MOLOBJ_ATOM_RADIUS_SCALE", DTYPE_REAL, Kind::FLOAT, 1.0, {}},
	{20005, "MOLOBJ_XRAY", DTYPE_BOOL, Kind::BOOL, 0, {}},
	{20006, "MOLOBJ_DISPLAY_MODE", DTYPE_LONG, Kind::INT, 0, {}},
	{20007, "MOLOBJ_POSITION_SCALE", DTYPE_REAL, Kind::FLOAT, 100.0, {}},
	{20008, "MOLOBJ_BOND_RADIUS", DTYPE_REAL, Kind::FLOAT, 3.0, {}},
	{20009, "MOLOBJ_BOND_COLOR_SINGLE", DTYPE_COLOR, Kind::COLOR, 0, {1.0, 1.0, 1.0}},
	{20010, "MOLOBJ_BOND_COLOR_DOUBLE", DTYPE_COLOR, Kind::COLOR, 0, {0.5, 0.5, 1.0}},
	{20011, "MOLOBJ_BOND_COLOR_TRIPLE", DTYPE_COLOR, Kind::COLOR, 0, {1.0, 0.5, 0.5}},
	{20012, "MOLOBJ_BOND_COLOR_AROMATIC", DTYPE_COLOR, Kind::COLOR, 0, {0.5, 1.0, 0.5}},
	{20013, "MOLOBJ_COLOR_SOURCE", DTYPE_LONG, Kind::INT, 0, {}},
	{20014, "MOLOBJ_PRESET", DTYPE_LONG, Kind::INT, 0, {}},
	{20015, "MOLOBJ_PRESET_COLOR_H", DTYPE_COLOR, Kind::COLOR, 0, {0.90, 0.84, 0.72}},
	{20016, "MOLOBJ_PRESET_COLOR_C", DTYPE_COLOR, Kind::COLOR, 0, {0.10, 0.10, 0.09}},
	{20017, "MOLOBJ_PRESET_COLOR_O", DTYPE_COLOR, Kind::COLOR, 0, {0.89, 0.35, 0.15}},
	{20018, "MOLOBJ_PRESET_COLOR_N", DTYPE_COLOR, Kind::COLOR, 0, {0.94, 0.65, 0.00}},
	{20019, "MOLOBJ_PRESET_COLOR_OTHER", DTYPE_COLOR, Kind::COLOR, 0, {0.80, 0.80, 0.80}},
	{20020, "MOLOBJ_PRESET_RESTORE", DTYPE_BUTTON, Kind::NONE, 0, {}},
	{20021, "MOLOBJ_GROUP_PRESETS", DTYPE_GROUP, Kind::NONE, 0, {}},
	{20022, "MOLOBJ_BOND_DOUBLE_FACTOR", DTYPE_REAL, Kind::FLOAT, 2.0, {}},
	{20023, "MOLOBJ_BOND_PROFILE_SUBDIV", DTYPE_LONG, Kind::INT, 2, {}},
	{20024, "MOLOBJ_ATOM_SEGMENTS", DTYPE_LONG, Kind::INT, 24, {}},
	{20025, "MOLOBJ_BOND_CAPS", DTYPE_LONG, Kind::INT, 0, {}},
	{20026, "MOLOBJ_SHOW_NUCLEUS", DTYPE_BOOL, Kind::BOOL, 0, {}},
	{20027, "MOLOBJ_NUCLEUS_SIZE", DTYPE_REAL, Kind::FLOAT, 0.35, {}},
	{20028, "MOLOBJ_GROUP_NUCLEUS", DTYPE_GROUP, Kind::NONE, 0, {}},
	{20029, "MOLOBJ_NUCLEUS_COLOR", DTYPE_COLOR, Kind::COLOR, 0, {0.0, 0.0, 0.5}},
	{20030, "MOLOBJ_BOND_TRIPLE_FACTOR", DTYPE_REAL, Kind::FLOAT, 3.0, {}},
	{20031, "MOLOBJ_MATERIAL_COUNT", DTYPE_LONG, Kind::INT, 0, {}},
	{20032, "MOLOBJ_MATERIAL_ADD", DTYPE_BUTTON, Kind::NONE, 0, {}},
	{20033, "MOLOBJ_MATERIAL_REMOVE", DTYPE_BUTTON, Kind::NONE, 0, {}},
	{15000, "MOLOBJ_MATERIALS", DTYPE_GROUP, Kind::NONE, 0, {}},
};

const std::map<Int32, std::set<Int32>> kCycles = {
	{20002, {0, 1, 2, 3}}, {20006, {0, 1, 2}}, {20013, {0, 1}}, {20014, {0, 1, 2, 3, 4, 5}}};

std::set<Int32> Keys(const BaseContainer& bc)
{
	std::set<Int32> keys;
	for (Int32 i = 0; i < bc.GetCount(); ++i)
		keys.insert(bc.GetIndexId(i));
	return keys;
}

// The project's resource, loaded once per test, with its description.
class ProjectResource : public QuietConsole
{
protected:
	void SetUp() override
	{
		QuietConsole::SetUp();
		_lr = Load(ProjectRes());
		ASSERT_NE(_lr, nullptr) << ConsoleText();
		_desc = Description::Alloc();
		ASSERT_NE(_desc, nullptr);
		ASSERT_TRUE(_desc->LoadDescription("oxvireltan"_s));
		for (const vh::DescEntry& e : vh::DescriptionEntries(_desc))
			_entries[e.id[0].id] = e;
	}
	void TearDown() override
	{
		Description::Free(_desc);
		if (_lr)
			Calls().FreeResource(_lr);
		QuietConsole::TearDown();
	}

	const vh::DescEntry* Entry(Int32 id) const
	{
		auto it = _entries.find(id);
		return it == _entries.end() ? nullptr : &it->second;
	}

	LocalResource* _lr = nullptr;
	Description* _desc = nullptr;
	std::map<Int32, vh::DescEntry> _entries;
};
} // namespace

TEST_F(ProjectResource, GlobalStringsHoldTheObjectName)
{
	const String* name = Calls().LoadString(_lr, 50000);
	ASSERT_NE(name, nullptr);
	EXPECT_EQ(vh::ToUtf8(*name), "Vireltan");
	EXPECT_EQ(Calls().LoadString(_lr, 49999), nullptr) << "an id the table does not hold";
	EXPECT_EQ(Calls().LoadString(nullptr, 50000), nullptr);
	EXPECT_TRUE(vh::ConsoleLines().empty()) << ConsoleText();
}

TEST_F(ProjectResource, EveryTableParameterHasItsSymbolTypeAndLabel)
{
	std::map<std::string, vh::ParamInfo> bySymbol;
	for (const vh::ParamInfo& p : vh::DescriptionParameters("oxvireltan"_s))
		bySymbol[p.symbol] = p;
	for (const Param& p : kParams)
	{
		SCOPED_TRACE(p.symbol);
		ASSERT_EQ(bySymbol.count(p.symbol), 1u);
		EXPECT_EQ(bySymbol[p.symbol].id, p.id);
		EXPECT_EQ(bySymbol[p.symbol].dtype, p.dtype);
		EXPECT_EQ(vh::DescriptionSymbolId("oxvireltan"_s, p.symbol), p.id);
		const vh::DescEntry* e = Entry(p.id);
		ASSERT_NE(e, nullptr);
		EXPECT_EQ(e->id[0].dtype, p.dtype);
		EXPECT_FALSE(e->settings.GetString(DESC_NAME).IsEmpty());
		EXPECT_FALSE(e->settings.GetString(DESC_SHORT_NAME).IsEmpty());
	}
}

TEST_F(ProjectResource, EveryIdOfTheHeaderIsDescribed)
{
	// Scanned independently of the host's reader: every enumerator of 1000 or more is a parameter
	// or group id; smaller ones are cycle values.
	const std::string header = ReadFile(ProjectRes() + "/description/oxvireltan.h");
	const std::regex entry(R"((MOLOBJ_\w+)\s*=\s*(\d+))");
	int ids = 0;
	for (auto it = std::sregex_iterator(header.begin(), header.end(), entry); it != std::sregex_iterator(); ++it)
	{
		const Int32 value = std::stoi((*it)[2]);
		if (value < 1000)
			continue;
		++ids;
		SCOPED_TRACE((*it)[1].str());
		EXPECT_EQ(vh::DescriptionSymbolId("oxvireltan"_s, (*it)[1].str()), value);
		const vh::DescEntry* e = Entry(value);
		ASSERT_NE(e, nullptr);
		EXPECT_FALSE(e->settings.GetString(DESC_SHORT_NAME).IsEmpty());
	}
	EXPECT_GE(ids, static_cast<int>(std::size(kParams)));
}

TEST_F(ProjectResource, CyclesOfferExactlyTheirValuesWithLabels)
{
	for (const auto& [id, values] : kCycles)
	{
		SCOPED_TRACE(id);
		const vh::DescEntry* e = Entry(id);
		ASSERT_NE(e, nullptr);
		const BaseContainer cycle = e->settings.GetContainer(DESC_CYCLE);
		EXPECT_EQ(Keys(cycle), values);
		std::set<std::string> labels;
		for (Int32 v : values)
		{
			const std::string label = vh::ToUtf8(cycle.GetString(v));
			EXPECT_FALSE(label.empty()) << "value " << v;
			labels.insert(label);
		}
		EXPECT_EQ(labels.size(), values.size()) << "two entries share a label";
	}
	// No other parameter is a cycle: the other integers are plain numbers.
	for (const auto& [id, e] : _entries)
	{
		if (id >= 20000 && !kCycles.count(id))
		{
			EXPECT_EQ(e.settings.GetContainer(DESC_CYCLE).GetCount(), 0) << id;
		}
	}
}

TEST_F(ProjectResource, RangesAdmitTheDefaults)
{
	for (const Param& p : kParams)
	{
		SCOPED_TRACE(p.symbol);
		const vh::DescEntry* e = Entry(p.id);
		ASSERT_NE(e, nullptr);
		const BaseContainer& s = e->settings;
		const Bool minEx = s.GetBool(DESC_MINEX), maxEx = s.GetBool(DESC_MAXEX);
		if (p.kind == Kind::INT)
		{
			ASSERT_EQ(s.GetData(DESC_MIN).GetType(), DA_LONG);
			ASSERT_EQ(s.GetData(DESC_MAX).GetType(), DA_LONG);
			const Int32 v = static_cast<Int32>(p.value);
			EXPECT_TRUE(minEx ? s.GetInt32(DESC_MIN) < v : s.GetInt32(DESC_MIN) <= v) << s.GetInt32(DESC_MIN);
			EXPECT_TRUE(maxEx ? v < s.GetInt32(DESC_MAX) : v <= s.GetInt32(DESC_MAX)) << s.GetInt32(DESC_MAX);
			if (kCycles.count(p.id))
			{
				EXPECT_EQ(kCycles.at(p.id).count(v), 1u);
			}
		}
		else if (p.kind == Kind::FLOAT)
		{
			ASSERT_EQ(s.GetData(DESC_MIN).GetType(), DA_REAL);
			ASSERT_EQ(s.GetData(DESC_MAX).GetType(), DA_REAL);
			EXPECT_TRUE(minEx ? s.GetFloat(DESC_MIN) < p.value : s.GetFloat(DESC_MIN) <= p.value) << s.GetFloat(DESC_MIN);
			EXPECT_TRUE(maxEx ? p.value < s.GetFloat(DESC_MAX) : p.value <= s.GetFloat(DESC_MAX)) << s.GetFloat(DESC_MAX);
			EXPECT_GT(s.GetFloat(DESC_STEP), 0.0);
		}
		else if (p.kind == Kind::COLOR)
		{
			for (int c = 0; c < 3; ++c)
			{
				EXPECT_GE(p.color[c], 0.0);
				EXPECT_LE(p.color[c], 1.0);
			}
		}
	}
}

TEST_F(ProjectResource, NucleusSizeIsAFractionAndOnlyTheCountIsHidden)
{
	// Stored as a fraction: limits written in percent (0..100) would let 35 pass as a nucleus size.
	const BaseContainer& nucleus = Entry(20027)->settings;
	EXPECT_EQ(nucleus.GetInt32(DESC_UNIT), DESC_UNIT_PERCENT);
	EXPECT_DOUBLE_EQ(nucleus.GetFloat(DESC_MAX), 1.0);
	for (const Param& p : kParams)
	{
		EXPECT_EQ(Entry(p.id)->settings.GetBool(DESC_HIDE), p.id == 20031) << p.symbol;
	}
}

TEST_F(ProjectResource, MaterialsGroupHoldsOnlyTheTwoButtons)
{
	const vh::DescEntry* group = Entry(15000);
	ASSERT_NE(group, nullptr);
	EXPECT_EQ(group->id[0].dtype, DTYPE_GROUP);
	EXPECT_EQ(group->parent[0].id, ID_OBJECTPROPERTIES);
	std::vector<Int32> children;
	for (const vh::DescEntry& e : vh::DescriptionEntries(_desc))
		if (e.parent.GetDepth() > 0 && e.parent[0].id == 15000)
			children.push_back(e.id[0].id);
	EXPECT_EQ(children, (std::vector<Int32>{20032, 20033}));
}

TEST_F(ProjectResource, EveryParentIsAGroupOfTheDescription)
{
	for (const auto& [id, e] : _entries)
	{
		if (e.parent.GetDepth() == 0)
			continue;
		const vh::DescEntry* parent = Entry(e.parent[0].id);
		ASSERT_NE(parent, nullptr) << id;
		EXPECT_EQ(parent->id[0].dtype, DTYPE_GROUP) << id;
		EXPECT_EQ(e.settings.GetInt32(DESC_PARENTGROUP), e.parent[0].id) << id;
	}
	// The object's tab comes from the base description the resource includes.
	ASSERT_NE(Entry(ID_OBJECTPROPERTIES), nullptr);
}

// ---- broken copies of the project's res --------------------------------------------------------

namespace
{
struct Breakage
{
	const char* name;
	const char* file; // relative to res/
	const char* from;
	const char* to;
	const char* reportedFile; // file the console line names
	const char* lineOf; // text whose line the console line names; nullptr: no line
};

const Breakage kBreakages[] = {
	{"MissingLabel", "strings_en-US/description/oxvireltan.str", "MOLOBJ_XRAY\t\"X-Ray\";", "",
		"description/oxvireltan.res", "BOOL MOLOBJ_XRAY"},
	{"MissingCycleLabel", "strings_en-US/description/oxvireltan.str", "MOLOBJ_PRESET_SLATE\t\"Slate\";", "",
		"description/oxvireltan.res", "MOLOBJ_PRESET_SLATE;"},
	{"UnknownSymbol", "description/oxvireltan.res", "BOOL MOLOBJ_XRAY { }", "BOOL MOLOBJ_XRAY { }\n\t\tBOOL MOLOBJ_NOT_THERE { }",
		"description/oxvireltan.res", "MOLOBJ_NOT_THERE"},
	{"UnknownCycleSymbol", "description/oxvireltan.res", "MOLOBJ_PRESET_SLATE;", "MOLOBJ_PRESET_SLATE;\n\t\t\t\t\tMOLOBJ_PRESET_GONE;",
		"description/oxvireltan.res", "MOLOBJ_PRESET_GONE"},
	{"MissingSemicolon", "description/oxvireltan.res", "MIN 3; MAX 256;", "MIN 3 MAX 256;", "description/oxvireltan.res",
		"MIN 3 MAX 256;"},
	{"UnknownSetting", "description/oxvireltan.res", "MIN 3; MAX 256;", "MIN 3; MAXIMUM 256;", "description/oxvireltan.res",
		"MAXIMUM 256"},
	{"FloatLimitOnInteger", "description/oxvireltan.res", "MIN 3; MAX 256;", "MIN 3.5; MAX 256;", "description/oxvireltan.res",
		"MIN 3.5"},
	{"DuplicateId", "description/oxvireltan.h", "= 14003", "= 20005", "description/oxvireltan.res", "GROUP MOLOBJ_GROUP_BONDS"},
	{"DuplicateElement", "description/oxvireltan.res", "BOOL MOLOBJ_XRAY { }", "BOOL MOLOBJ_XRAY { }\n\t\tBOOL MOLOBJ_XRAY { }",
		"description/oxvireltan.res", nullptr},
	{"HeaderSyntax", "description/oxvireltan.h", "MOLOBJ_LOAD                   = 20001,", "MOLOBJ_LOAD                   = 20001",
		"description/oxvireltan.h", "MOLOBJ_ATOM_RADIUS_MODE       = 20002"},
	{"UnknownLabelSymbol", "strings_en-US/description/oxvireltan.str", "MOLOBJ_XRAY\t", "MOLOBJ_XRAI\t",
		"strings_en-US/description/oxvireltan.str", "MOLOBJ_XRAI"},
	{"UnterminatedString", "strings_en-US/c4d_strings.str", "\"Vireltan\";", "\"Vireltan;", "strings_en-US/c4d_strings.str",
		"IDS_VIRELTAN"},
	{"GlobalStringUnknownId", "strings_en-US/c4d_strings.str", "IDS_VIRELTAN\t", "IDS_VIRELTAM\t",
		"strings_en-US/c4d_strings.str", "IDS_VIRELTAM"},
	{"ContainerNameMismatch", "description/oxvireltan.res", "CONTAINER Oxvireltan", "CONTAINER Oxother",
		"description/oxvireltan.res", "CONTAINER Oxother"},
	{"StringTableNameMismatch", "strings_en-US/description/oxvireltan.str", "STRINGTABLE Oxvireltan", "STRINGTABLE Oxother",
		"strings_en-US/description/oxvireltan.str", "STRINGTABLE Oxother"},
};

void PrintTo(const Breakage& b, std::ostream* os)
{
	*os << b.name;
}

class BrokenResource : public QuietConsole, public ::testing::WithParamInterface<Breakage>
{
};
} // namespace

TEST_P(BrokenResource, FailsWithAConsoleLineNamingFileAndLine)
{
	const Breakage& b = GetParam();
	TempDir dir(true);
	ASSERT_TRUE(dir.Replace(b.file, b.from, b.to)) << "the project's res no longer holds: " << b.from;
	const std::string reported = dir.ResFile(b.reportedFile);
	std::string expected = reported + ":";
	if (b.lineOf)
	{
		const int line = LineOf(reported, b.lineOf);
		ASSERT_GT(line, 0);
		expected += std::to_string(line) + ":";
	}

	EXPECT_EQ(Load(dir.Res()), nullptr);
	ASSERT_EQ(vh::ConsoleLines().size(), 1u) << ConsoleText();
	EXPECT_TRUE(ConsoleHas(expected)) << "expected '" << expected << "' in\n" << ConsoleText();
}

INSTANTIATE_TEST_SUITE_P(Res, BrokenResource, ::testing::ValuesIn(kBreakages),
	[](const ::testing::TestParamInfo<Breakage>& info) { return std::string(info.param.name); });

class MissingResourceFile : public QuietConsole, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(MissingResourceFile, FailsNamingTheMissingFile)
{
	TempDir dir(true);
	ASSERT_TRUE(std::filesystem::remove(dir.ResFile(GetParam())));
	EXPECT_EQ(Load(dir.Res()), nullptr);
	EXPECT_TRUE(ConsoleHas(dir.ResFile(GetParam()))) << ConsoleText();
}

INSTANTIATE_TEST_SUITE_P(Res, MissingResourceFile,
	::testing::Values("strings_en-US/description/oxvireltan.str", "description/oxvireltan.h", "c4d_symbols.h",
		"strings_en-US/c4d_strings.str"));

TEST_F(QuietConsole, MissingFolderFails)
{
	TempDir dir;
	EXPECT_EQ(Load(dir.Path() + "/nothing"), nullptr);
	EXPECT_TRUE(ConsoleHas(dir.Path() + "/nothing")) << ConsoleText();
}

// ---- the syntax the reader accepts, on a resource written for the test ----------------------

namespace
{
class WrittenResource : public QuietConsole
{
protected:
	void Write(const std::string& h, const std::string& res, const std::string& str)
	{
		WriteFile(_dir.ResFile("c4d_symbols.h"), "enum { IDS_A = 10000, IDS_B, IDS_C = 0x20 };\n");
		WriteFile(_dir.ResFile("strings_en-US/c4d_strings.str"),
			"STRINGTABLE\n{\n  IDS_A \"Say \\\"hi\\\"\\\\\\nbye\";\n  IDS_B \"B\";\n  IDS_C \"C\";\n}\n");
		WriteFile(_dir.ResFile("description/otest.h"), h);
		WriteFile(_dir.ResFile("description/otest.res"), res);
		WriteFile(_dir.ResFile("strings_en-US/description/otest.str"), str);
	}
	std::map<Int32, vh::DescEntry> Entries()
	{
		std::map<Int32, vh::DescEntry> out;
		Description* d = Description::Alloc();
		if (d && d->LoadDescription("OTEST"_s))
			for (const vh::DescEntry& e : vh::DescriptionEntries(d))
				out[e.id[0].id] = e;
		Description::Free(d);
		return out;
	}
	TempDir _dir;
};

const char* kHeader = R"(#ifndef OTEST_H__
#define OTEST_H__ \
	continued
/* block
   comment */
enum
{
	T_GROUP = 1000,
	T_MODE, // 1001
		T_MODE_A = 0,
		T_MODE_B = 0x4,
		T_MODE_C,
	T_SIZE = 1010,
	T_POS,
	T_LINK,
	T_NAME_SRC = 1020,
};
#endif
)";

const char* kLabels = R"(STRINGTABLE Otest
{
	Otest "Test Object";
	T_GROUP "Group";
	T_MODE "Mode of Operation" "Mode";
	T_MODE_A "A"; T_MODE_B "B"; T_MODE_C "C";
	T_SIZE "Size";
	T_POS "Position";
	T_LINK "Link";
	T_NAME_SRC "Named Elsewhere";
}
)";
} // namespace

TEST_F(WrittenResource, ReadsEveryDocumentedForm)
{
	Write(kHeader, R"(CONTAINER Otest
{
	NAME Otest;
	GROUP T_GROUP
	{
		DEFAULT 1; COLUMNS 2; NAME T_NAME_SRC;
		LONG T_MODE { CYCLE { T_MODE_A; -1; T_MODE_B; T_MODE_C; } ANIM OFF; }
		SEPARATOR { LINE; }
		REAL T_SIZE { UNIT PERCENT; MIN -.5; MAX 1e2; STEP 0.25; MINEX; DEFAULT 0.5; CUSTOMGUI REALSLIDER; }
		VECTOR T_POS { DEFAULT 1 -2 3.5; SCALE_H; }
		LINK T_LINK { ACCEPT { Mbase; 5682; } HIDDEN; }
	}
}
)",
		kLabels);
	LocalResource* lr = Load(_dir.Res());
	ASSERT_NE(lr, nullptr) << ConsoleText();
	EXPECT_EQ(vh::ToUtf8(*Calls().LoadString(lr, 10000)), "Say \"hi\"\\\nbye");
	EXPECT_EQ(vh::ToUtf8(*Calls().LoadString(lr, 10001)), "B");
	EXPECT_EQ(vh::ToUtf8(*Calls().LoadString(lr, 32)), "C");

	std::map<Int32, vh::DescEntry> e = Entries();
	ASSERT_EQ(e.count(1000), 1u);
	EXPECT_EQ(e[1000].parent.GetDepth(), 0);
	EXPECT_EQ(e[1000].settings.GetInt32(DESC_COLUMNS), 2);
	EXPECT_EQ(e[1000].settings.GetInt32(DESC_DEFAULT), 1);
	EXPECT_EQ(vh::ToUtf8(e[1000].settings.GetString(DESC_NAME)), "Named Elsewhere");

	const BaseContainer& mode = e[1001].settings;
	EXPECT_EQ(vh::ToUtf8(mode.GetString(DESC_NAME)), "Mode of Operation");
	EXPECT_EQ(vh::ToUtf8(mode.GetString(DESC_SHORT_NAME)), "Mode");
	EXPECT_EQ(Keys(mode.GetContainer(DESC_CYCLE)), (std::set<Int32>{0, 4, 5}));
	EXPECT_EQ(vh::ToUtf8(mode.GetContainer(DESC_CYCLE).GetString(5)), "C");
	EXPECT_EQ(mode.GetInt32(DESC_CUSTOMGUI), CUSTOMGUI_CYCLE);
	EXPECT_EQ(mode.GetInt32(DESC_ANIMATE), DESC_ANIMATE_OFF);
	EXPECT_EQ(e[1001].parent[0].id, 1000);

	const BaseContainer& size = e[1010].settings;
	EXPECT_EQ(size.GetInt32(DESC_UNIT), DESC_UNIT_PERCENT);
	EXPECT_DOUBLE_EQ(size.GetFloat(DESC_MIN), -0.5);
	EXPECT_DOUBLE_EQ(size.GetFloat(DESC_MAX), 100.0);
	EXPECT_DOUBLE_EQ(size.GetFloat(DESC_STEP), 0.25);
	EXPECT_DOUBLE_EQ(size.GetFloat(DESC_DEFAULT), 0.5);
	EXPECT_TRUE(size.GetBool(DESC_MINEX));
	EXPECT_EQ(size.GetInt32(DESC_CUSTOMGUI), CUSTOMGUI_REALSLIDER);
	EXPECT_EQ(size.GetInt32(DESC_ANIMATE), DESC_ANIMATE_ON);

	EXPECT_EQ(e[1011].settings.GetVector(DESC_DEFAULT), Vector(1.0, -2.0, 3.5));
	EXPECT_TRUE(e[1011].settings.GetBool(DESC_SCALEH));
	const BaseContainer accept = e[1012].settings.GetContainer(DESC_ACCEPT);
	EXPECT_EQ(Keys(accept), (std::set<Int32>{Mbase, 5682}));
	EXPECT_EQ(vh::ToUtf8(accept.GetString(Mbase)), "Mbase");
	EXPECT_TRUE(e[1012].settings.GetBool(DESC_HIDE));

	// The anonymous separator sits in the group, after the cycle, with an id of its own.
	std::vector<vh::ParamInfo> params = vh::DescriptionParameters("otest"_s);
	ASSERT_EQ(params.size(), 5u);
	EXPECT_EQ(params[1].symbol, "T_MODE");
	Int32 separators = 0;
	for (const auto& [id, entry] : e)
		if (entry.id[0].dtype == DTYPE_SEPARATOR)
		{
			++separators;
			EXPECT_TRUE(entry.settings.GetBool(DESC_SEPARATORLINE));
			EXPECT_EQ(entry.parent[0].id, 1000);
		}
	EXPECT_EQ(separators, 1);
	Calls().FreeResource(lr);
	EXPECT_TRUE(Entries().empty()) << "a freed resource's descriptions are no longer found by name";
}

TEST_F(WrittenResource, RefusesSettingsOfTheWrongElementType)
{
	const char* cases[] = {
		"BOOL T_SIZE { MIN 0; }",
		"REAL T_SIZE { CYCLE { T_MODE_A; } }",
		"LONG T_MODE { ACCEPT { Mbase; } }",
		"LONG T_MODE { CYCLE { T_MODE_A; T_MODE_A; } }",
		"REAL T_SIZE { UNIT FURLONG; }",
		"LINK T_LINK { ACCEPT { Ofurniture; } }",
		"LONG { }",
		"WIDGET T_SIZE { }",
	};
	for (const char* element : cases)
	{
		SCOPED_TRACE(element);
		vh::ClearConsoleAndDialogs();
		Write(kHeader, std::string("CONTAINER Otest\n{\n\tNAME Otest;\n\t") + element + "\n}\n", kLabels);
		EXPECT_EQ(Load(_dir.Res()), nullptr);
		EXPECT_TRUE(ConsoleHas(_dir.ResFile("description/otest.res") + ":4:")) << ConsoleText();
	}
}

TEST_F(WrittenResource, EverySettingIsRefusedOnTypesItDoesNotBelongTo)
{
	// Each setting with a type limit, once on a type outside it.
	const std::pair<const char*, const char*> cases[] = {
		{"STRING T_SIZE { MIN 0; }", "'MIN' is not allowed for 'T_SIZE'"},
		{"BOOL T_SIZE { MAXSLIDER 1; }", "'MAXSLIDER' is not allowed for 'T_SIZE'"},
		{"COLOR T_SIZE { MINEX; }", "'MINEX' is not allowed for 'T_SIZE'"},
		{"BOOL T_SIZE { UNIT METER; }", "'UNIT' is not allowed for 'T_SIZE'"},
		{"GROUP T_GROUP { ANIM ON; }", "'ANIM' is not allowed for 'T_GROUP'"},
		{"STRING T_SIZE { DEFAULT 1; }", "'DEFAULT' is not allowed for 'T_SIZE'"},
		{"LONG T_SIZE { COLUMNS 2; }", "'COLUMNS' is not allowed for 'T_SIZE'"},
		{"LONG T_SIZE { LAYOUTGROUP; }", "'LAYOUTGROUP' is not allowed for 'T_SIZE'"},
		{"GROUP T_GROUP { PARENTID T_SIZE; }", "'PARENTID' is not allowed for 'T_GROUP'"},
		{"STRING T_SIZE { DIRECTORY; }", "'DIRECTORY' is not allowed for 'T_SIZE'"},
		{"STATICTEXT { LINE; }", "'LINE' is not allowed for this element"},
		{"BOOL T_SIZE { CYCLE { T_MODE_A; } }", "'CYCLE' is not allowed for 'T_SIZE'"},
		{"STRING T_LINK { REFUSE { Mbase; } }", "'REFUSE' is not allowed for 'T_LINK'"},
	};
	for (const auto& [element, message] : cases)
	{
		SCOPED_TRACE(element);
		vh::ClearConsoleAndDialogs();
		Write(kHeader, std::string("CONTAINER Otest\n{\n\tNAME Otest;\n\t") + element + "\n}\n", kLabels);
		EXPECT_EQ(Load(_dir.Res()), nullptr);
		EXPECT_TRUE(ConsoleHas(_dir.ResFile("description/otest.res") + ":4: " + message)) << ConsoleText();
	}
}
