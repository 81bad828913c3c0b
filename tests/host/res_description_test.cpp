// Descriptions: loading by plug-in id and by name, entries added at run time, type defaults,
// the single-parameter filter, and the function table's registration that binds them.
#include <limits>

#include "internal.h"
#include "res_support.h"

using namespace res_test;

namespace
{
// Registration needs an allocator; these tests never create an object.
NodeData* AllocNothing()
{
	return nullptr;
}

// Plug-in ids made up for these tests; every test registers its own, registrations stay.
constexpr Int32 ID_BOUND = 1999601;
constexpr Int32 ID_KEPT = 1999602;
constexpr Int32 ID_NODESC = 1999603;
constexpr Int32 ID_NEVER = 1999604;

class Descriptions : public QuietConsole
{
protected:
	void SetUp() override
	{
		QuietConsole::SetUp();
		_lr = Load(ProjectRes());
		ASSERT_NE(_lr, nullptr) << ConsoleText();
		_d = Description::Alloc();
		ASSERT_NE(_d, nullptr);
		ASSERT_TRUE(_d->LoadDescription("oxvireltan"_s));
	}
	void TearDown() override
	{
		Description::Free(_d);
		if (_lr)
			Calls().FreeResource(_lr);
		QuietConsole::TearDown();
	}

	size_t Count() const { return vh::DescriptionEntries(_d).size(); }

	LocalResource* _lr = nullptr;
	Description* _d = nullptr;
};

BaseContainer Labelled(Int32 dtype, const char* name)
{
	BaseContainer bc = GetCustomDataTypeDefault(dtype);
	bc.SetString(DESC_NAME, String(name));
	bc.SetString(DESC_SHORT_NAME, String(name));
	return bc;
}
} // namespace

TEST(ResTypeDefaults, ValueTypesAnimateAndUseTheirOwnGui)
{
	const std::pair<Int32, Int32> guis[] = {{DTYPE_LONG, CUSTOMGUI_LONG}, {DTYPE_REAL, CUSTOMGUI_REAL},
		{DTYPE_BOOL, CUSTOMGUI_BOOL}, {DTYPE_STRING, CUSTOMGUI_STRING}, {DTYPE_BASELISTLINK, CUSTOMGUI_LINKBOX},
		{DTYPE_VECTOR, CUSTOMGUI_VECTOR}, {DTYPE_COLOR, CUSTOMGUI_COLOR}, {DTYPE_FILENAME, 1000478}};
	for (const auto& [type, gui] : guis)
	{
		SCOPED_TRACE(type);
		const BaseContainer bc = GetCustomDataTypeDefault(type);
		EXPECT_EQ(bc.GetInt32(DESC_ANIMATE, -1), DESC_ANIMATE_ON);
		EXPECT_EQ(bc.GetInt32(DESC_CUSTOMGUI), gui);
		EXPECT_FALSE(bc.GetBool(DESC_HIDE));
	}
	EXPECT_EQ(GetCustomDataTypeDefault(DTYPE_BUTTON).GetInt32(DESC_ANIMATE, -1), DESC_ANIMATE_OFF);
	EXPECT_EQ(GetCustomDataTypeDefault(DTYPE_GROUP).GetInt32(DESC_ANIMATE, -1), DESC_ANIMATE_OFF);
	EXPECT_EQ(GetCustomDataTypeDefault(DTYPE_BUTTON).GetInt32(DESC_CUSTOMGUI), CUSTOMGUI_BUTTON);
}

TEST(ResTypeDefaults, NumbersHaveWideLimitsOfTheirOwnTypeAndUnknownTypesNone)
{
	const BaseContainer l = GetCustomDataTypeDefault(DTYPE_LONG);
	ASSERT_EQ(l.GetData(DESC_MIN).GetType(), DA_LONG);
	EXPECT_EQ(l.GetInt32(DESC_MIN), std::numeric_limits<Int32>::min());
	EXPECT_EQ(l.GetInt32(DESC_MAX), std::numeric_limits<Int32>::max());
	const BaseContainer r = GetCustomDataTypeDefault(DTYPE_REAL);
	ASSERT_EQ(r.GetData(DESC_MIN).GetType(), DA_REAL);
	EXPECT_LE(r.GetFloat(DESC_MIN), -1.0e9);
	EXPECT_GE(r.GetFloat(DESC_MAX), 1.0e9);
	EXPECT_GT(r.GetFloat(DESC_STEP), 0.0);
	EXPECT_EQ(GetCustomDataTypeDefault(987654).GetCount(), 0);
	EXPECT_EQ(GetCustomDataTypeDefault(DTYPE_NONE).GetCount(), 0);
}

TEST_F(Descriptions, SetParameterAddsUnderAnExistingGroupAndReplacesById)
{
	const size_t before = Count();
	const DescID group = DescLevel(15021, DTYPE_GROUP, 0);
	ASSERT_TRUE(_d->SetParameter(group, Labelled(DTYPE_GROUP, "Material"), DescLevel(15000)));
	const DescID link = DescLevel(15024, DTYPE_BASELISTLINK, 0);
	ASSERT_TRUE(_d->SetParameter(link, Labelled(DTYPE_BASELISTLINK, "Material"), group));
	EXPECT_EQ(Count(), before + 2);

	std::vector<vh::DescEntry> entries = vh::DescriptionEntries(_d);
	EXPECT_EQ(entries[before].id, group);
	EXPECT_EQ(entries[before + 1].parent, group);
	EXPECT_EQ(entries[before + 1].settings.GetInt32(DESC_PARENTGROUP), 15021);

	// Same id again: replaced in place, not added.
	ASSERT_TRUE(_d->SetParameter(link, Labelled(DTYPE_BASELISTLINK, "Other"), DescLevel(15000)));
	entries = vh::DescriptionEntries(_d);
	ASSERT_EQ(entries.size(), before + 2);
	EXPECT_EQ(vh::ToUtf8(entries[before + 1].settings.GetString(DESC_NAME)), "Other");
	EXPECT_EQ(entries[before + 1].parent[0].id, 15000);
}

TEST_F(Descriptions, SetParameterRefusesAnUnknownOrNonGroupParent)
{
	const size_t before = Count();
	EXPECT_FALSE(_d->SetParameter(DescLevel(15041, DTYPE_GROUP, 0), Labelled(DTYPE_GROUP, "x"), DescLevel(15021)));
	EXPECT_FALSE(_d->SetParameter(DescLevel(15044, DTYPE_LONG, 0), Labelled(DTYPE_LONG, "x"), DescLevel(20003)));
	EXPECT_FALSE(_d->SetParameter(DescID(), Labelled(DTYPE_LONG, "x"), DescLevel(15000)));
	EXPECT_EQ(Count(), before);
	BaseContainer temp;
	EXPECT_EQ(_d->GetParameter(DescLevel(15041), temp, nullptr), nullptr);
	// No parent: a top-level entry.
	EXPECT_TRUE(_d->SetParameter(DescLevel(15044, DTYPE_LONG, 0), Labelled(DTYPE_LONG, "x"), DescID()));
	EXPECT_EQ(Count(), before + 1);
}

TEST_F(Descriptions, SetParameterFailsWhenMemoryRunsOut)
{
	const size_t before = Count();
	vh::FailAllocations(vh::AllocKind::MEMORY, 0, 1);
	EXPECT_FALSE(_d->SetParameter(DescLevel(15021, DTYPE_GROUP, 0), Labelled(DTYPE_GROUP, "m"), DescLevel(15000)));
	EXPECT_EQ(Count(), before);
	EXPECT_TRUE(_d->SetParameter(DescLevel(15021, DTYPE_GROUP, 0), Labelled(DTYPE_GROUP, "m"), DescLevel(15000)));
}

TEST_F(Descriptions, GetParameterCopiesAndGetParameterIEdits)
{
	BaseContainer temp;
	const BaseContainer* size = _d->GetParameter(DescID(20003), temp, nullptr);
	ASSERT_NE(size, nullptr);
	EXPECT_EQ(vh::ToUtf8(size->GetString(DESC_SHORT_NAME)), "Atom Size");
	// A level with the wrong type does not match; one with type 0 matches any.
	EXPECT_EQ(_d->GetParameter(DescLevel(20003, DTYPE_LONG, 0), temp, nullptr), nullptr);
	EXPECT_EQ(_d->GetParameter(DescID(DescLevel(20003), DescLevel(1)), temp, nullptr), nullptr);
	EXPECT_EQ(_d->GetParameterI(DescLevel(12345), nullptr), nullptr);

	BaseContainer* edit = _d->GetParameterI(DescLevel(20003, DTYPE_REAL, 0), nullptr);
	ASSERT_NE(edit, nullptr);
	edit->SetBool(DESC_HIDE, true);
	EXPECT_TRUE(_d->GetParameter(DescID(20003), temp, nullptr)->GetBool(DESC_HIDE));
}

TEST_F(Descriptions, LoadingAgainRestoresTheStaticEntries)
{
	const size_t before = Count();
	ASSERT_TRUE(_d->SetParameter(DescLevel(15021, DTYPE_GROUP, 0), Labelled(DTYPE_GROUP, "m"), DescLevel(15000)));
	_d->GetParameterI(DescLevel(20003), nullptr)->SetBool(DESC_HIDE, true);
	ASSERT_TRUE(_d->LoadDescription("OxVireltan"_s));
	EXPECT_EQ(Count(), before);
	BaseContainer temp;
	EXPECT_FALSE(_d->GetParameter(DescID(20003), temp, nullptr)->GetBool(DESC_HIDE));
	EXPECT_FALSE(_d->LoadDescription("onothing"_s));
	EXPECT_EQ(Count(), before) << "a failed load leaves the description as it was";
}

TEST_F(Descriptions, SingleParameterFilter)
{
	Description* fresh = Description::Alloc();
	ASSERT_NE(fresh, nullptr);
	EXPECT_EQ(fresh->GetSingleDescID(), nullptr);
	const DescID wanted = DescLevel(15024, DTYPE_BASELISTLINK, 0);
	fresh->SetSingleDescriptionMode(wanted);
	ASSERT_NE(fresh->GetSingleDescID(), nullptr);
	EXPECT_EQ(*fresh->GetSingleDescID(), wanted);
	ASSERT_TRUE(fresh->LoadDescription("oxvireltan"_s));
	ASSERT_NE(fresh->GetSingleDescID(), nullptr) << "loading keeps the caller's filter";
	fresh->SetSingleDescriptionMode(DescID());
	EXPECT_EQ(fresh->GetSingleDescID(), nullptr);
	Description::Free(fresh);
	EXPECT_EQ(fresh, nullptr);
}

TEST_F(Descriptions, RegistrationBindsTheDescriptionToThePluginId)
{
	Description* d = Description::Alloc();
	ASSERT_NE(d, nullptr);
	EXPECT_FALSE(d->LoadDescription(ID_BOUND)) << "not registered yet";
	ASSERT_TRUE(Calls().RegisterObjectPlugin(ID_BOUND, "Bound"_s, OBJECT_GENERATOR, AllocNothing, "oxvireltan"_s, nullptr, 0, _lr));
	ASSERT_NE(vh::FindObjectPlugin(ID_BOUND), nullptr);
	ASSERT_TRUE(d->LoadDescription(ID_BOUND));
	const std::vector<vh::DescEntry> byId = vh::DescriptionEntries(d);
	const std::vector<vh::DescEntry> byName = vh::DescriptionEntries(_d);
	ASSERT_EQ(byId.size(), byName.size());
	for (size_t i = 0; i < byId.size(); ++i)
		EXPECT_EQ(byId[i].id, byName[i].id);
	EXPECT_FALSE(d->LoadDescription(ID_NEVER));
	Description::Free(d);
}

TEST_F(Descriptions, BoundDescriptionOutlivesItsResource)
{
	ASSERT_TRUE(Calls().RegisterObjectPlugin(ID_KEPT, "Kept"_s, 0, AllocNothing, "OXVIRELTAN"_s, nullptr, 0, _lr));
	Calls().FreeResource(_lr);
	_lr = nullptr;
	Description* d = Description::Alloc();
	ASSERT_NE(d, nullptr);
	EXPECT_TRUE(d->LoadDescription(ID_KEPT));
	BaseContainer temp;
	const BaseContainer* caps = d->GetParameter(DescID(20025), temp, nullptr);
	ASSERT_NE(caps, nullptr);
	EXPECT_EQ(vh::ToUtf8(caps->GetString(DESC_NAME)), "Bond Caps");
	EXPECT_EQ(vh::DescriptionSymbolId("oxvireltan"_s, "MOLOBJ_BOND_CAPS"), 20025);
	Description::Free(d);
}

TEST_F(Descriptions, RegistrationRefusesADescriptionTheResourceLacks)
{
	EXPECT_FALSE(Calls().RegisterObjectPlugin(ID_NODESC, "No desc"_s, 0, AllocNothing, "onothing"_s, nullptr, 0, _lr));
	EXPECT_EQ(vh::FindObjectPlugin(ID_NODESC), nullptr);
	EXPECT_TRUE(ConsoleHas("onothing")) << ConsoleText();
	EXPECT_FALSE(Calls().RegisterObjectPlugin(ID_NODESC, "No res"_s, 0, AllocNothing, "oxvireltan"_s, nullptr, 0, nullptr));
	EXPECT_EQ(vh::FindObjectPlugin(ID_NODESC), nullptr);
}

TEST_F(Descriptions, SymbolsResolveForTheCommandLine)
{
	EXPECT_EQ(vh::DescriptionSymbolId("oxvireltan"_s, "MOLOBJ_ATOM_SIZE"), 20003);
	EXPECT_EQ(vh::DescriptionSymbolId("oxvireltan"_s, "MOLOBJ_NOPE"), -1);
	EXPECT_EQ(vh::DescriptionSymbolId("oxvireltan"_s, "MOLOBJ_PRESET_AMBER"), -1) << "cycle values are no parameters";
	EXPECT_EQ(vh::DescriptionSymbolId("onothing"_s, "MOLOBJ_ATOM_SIZE"), -1);
	const auto symbols = vh::DescriptionSymbols("oxvireltan"_s);
	const std::vector<vh::ParamInfo> params = vh::DescriptionParameters("oxvireltan"_s);
	ASSERT_EQ(symbols.size(), params.size());
	// File order: the file group first, then its file name and load button.
	ASSERT_GE(params.size(), 3u);
	EXPECT_EQ(params[0].symbol, "MOLOBJ_GROUP_FILE");
	EXPECT_EQ(params[1].id, 20000);
	EXPECT_EQ(params[2].id, 20001);
	EXPECT_TRUE(vh::DescriptionParameters("onothing"_s).empty());
}

TEST(ResHostTable, EachVersionKeepsItsOwnTable)
{
	OperatingSystem* current = vh::HostFunctionTable();
	OperatingSystem* old = vh::HostFunctionTable(26099);
	ASSERT_NE(current, nullptr);
	ASSERT_NE(old, nullptr);
	EXPECT_EQ(current->version, API_VERSION);
	EXPECT_EQ(old->version, 26099);
	EXPECT_EQ(vh::HostFunctionTable(), current);
	EXPECT_EQ(current->host, old->host);
	const C4D_HostCalls& c = *current->host;
	EXPECT_TRUE(c.LoadResource && c.FreeResource && c.LoadString && c.LoadBitmap && c.FreeBitmap && c.RegisterObjectPlugin);
}
