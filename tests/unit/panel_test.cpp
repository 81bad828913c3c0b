#include <set>

#include "fixture.h"

namespace
{
class AttributePanel : public test::PluginTest
{
protected:
	void SetUp() override
	{
		test::PluginTest::SetUp();
		op = NewObject();
		bc = op->GetDataInstance();
	}
	void TearDown() override
	{
		BaseObject::Free(op);
		test::PluginTest::TearDown();
	}
	// Builds the description as the host asks for it; returns the entries and the loaded flag.
	std::vector<vh::DescEntry> Build(Bool* loaded = nullptr, const DescID* single = nullptr)
	{
		Description* d = Description::Alloc();
		EXPECT_NE(d, nullptr);
		if (single)
			d->SetSingleDescriptionMode(*single);
		DESCFLAGS_DESC flags = DESCFLAGS_DESC::NONE;
		Data(op)->GetDDescription(op, d, flags);
		if (loaded)
			*loaded = (flags & DESCFLAGS_DESC::LOADED) != DESCFLAGS_DESC::NONE;
		std::vector<vh::DescEntry> entries = vh::DescriptionEntries(d);
		Description::Free(d);
		return entries;
	}
	static const vh::DescEntry* Find(const std::vector<vh::DescEntry>& entries, Int32 id)
	{
		for (const vh::DescEntry& e : entries)
			if (e.id[0].id == id)
				return &e;
		return nullptr;
	}
	Bool Enabled(Int32 id)
	{
		return Data(op)->GetDEnabling(op, DescID(id), GeData(), DESCFLAGS_ENABLE::NONE, nullptr);
	}
	BaseObject* op = nullptr;
	BaseContainer* bc = nullptr;
};

// Every value Init writes lies in the range, or among the cycle's values, that the description
// resource gives its parameter, so that the panel can show a new object as it is.
TEST_F(AttributePanel, EveryDefaultLiesInItsDescribedRange)
{
	const std::vector<vh::DescEntry> entries = Build();
	Int32 checked = 0;
	for (Int32 i = 0; i < bc->GetCount(); ++i)
	{
		const Int32 id = bc->GetIndexId(i);
		const vh::DescEntry* entry = Find(entries, id);
		ASSERT_NE(entry, nullptr) << id;
		const BaseContainer& s = entry->settings;
		const GeData& value = *bc->GetIndexData(i);
		std::vector<Float> components;
		if (value.GetType() == DA_LONG)
			components = {Float(value.GetInt32())};
		else if (value.GetType() == DA_REAL)
			components = {value.GetFloat()};
		else if (value.GetType() == DA_VECTOR)
			components = {value.GetVector().x, value.GetVector().y, value.GetVector().z};
		if (const BaseContainer* cycle = s.GetContainerInstance(DESC_CYCLE))
		{
			EXPECT_NE(cycle->GetData(value.GetInt32()).GetType(), DA_NIL) << id << " is none of its cycle's values";
		}
		for (Float c : components)
		{
			if (s.GetData(DESC_MIN).GetType() != DA_NIL)
			{
				EXPECT_GE(c, s.GetFloat(DESC_MIN, Float(s.GetInt32(DESC_MIN)))) << id;
			}
			if (s.GetData(DESC_MAX).GetType() != DA_NIL)
			{
				EXPECT_LE(c, s.GetFloat(DESC_MAX, Float(s.GetInt32(DESC_MAX)))) << id;
			}
		}
		++checked;
	}
	EXPECT_EQ(checked, 27);
}

TEST_F(AttributePanel, NoGroupsGivesTheStaticDescription)
{
	Bool loaded = false;
	std::vector<vh::DescEntry> entries = Build(&loaded);
	EXPECT_TRUE(loaded);
	ASSERT_NE(Find(entries, MOLOBJ_MATERIALS), nullptr);
	ASSERT_NE(Find(entries, MOLOBJ_ATOM_SIZE), nullptr);
	for (const vh::DescEntry& e : entries)
		EXPECT_FALSE(e.id[0].id > 15000 && e.id[0].id < 20000) << e.id[0].id;
}

TEST_F(AttributePanel, GroupsGetTheirEntriesAndOneTimeDefaults)
{
	bc->SetInt32(MOLOBJ_MATERIAL_COUNT, 2);
	std::vector<vh::DescEntry> entries = Build();
	EXPECT_EQ(Data(op)->materialCount, 2);
	for (Int32 base : {15020, 15040})
	{
		const Int32 expectedOrder[] = {1, 3, 4, 11, 5, 10, 6, 7, 8, 9};
		std::vector<Int32> order;
		for (const vh::DescEntry& e : entries)
			if (e.id[0].id > base && e.id[0].id < base + 20)
				order.push_back(e.id[0].id - base);
		EXPECT_EQ(order, std::vector<Int32>(std::begin(expectedOrder), std::end(expectedOrder)));

		const vh::DescEntry* group = Find(entries, base + 1);
		ASSERT_NE(group, nullptr);
		EXPECT_EQ(group->id[0].dtype, DTYPE_GROUP);
		EXPECT_EQ(group->parent[0].id, MOLOBJ_MATERIALS);
		EXPECT_EQ(group->settings.GetInt32(DESC_COLUMNS), 2);
		EXPECT_EQ(group->settings.GetInt32(DESC_DEFAULT), 1);
		for (Int32 field = 3; field <= 11; ++field)
		{
			if (field == 2)
				continue;
			const vh::DescEntry* e = Find(entries, base + field);
			ASSERT_NE(e, nullptr) << base + field;
			EXPECT_EQ(e->parent[0].id, base + 1);
		}
		const vh::DescEntry* link = Find(entries, base + 4);
		EXPECT_EQ(link->id[0].dtype, DTYPE_BASELISTLINK);
		EXPECT_EQ(link->settings.GetInt32(DESC_CUSTOMGUI), CUSTOMGUI_LINKBOX);
		EXPECT_TRUE(link->settings.GetContainer(DESC_ACCEPT).GetString(Mbase) == "Mbase");
		const vh::DescEntry* projection = Find(entries, base + 11);
		BaseContainer cycle = projection->settings.GetContainer(DESC_CYCLE);
		EXPECT_EQ(cycle.GetCount(), 4);
		EXPECT_TRUE(cycle.GetString(6) == "UVW Mapping");
		EXPECT_TRUE(cycle.GetString(2) == "Flat");
		EXPECT_TRUE(Find(entries, base + 3)->settings.GetBool(DESC_HIDE));
		EXPECT_EQ(Find(entries, base + 6)->settings.GetInt32(DESC_UNIT), DESC_UNIT_PERCENT);
		EXPECT_DOUBLE_EQ(Find(entries, base + 9)->settings.GetFloat(DESC_MIN), 0.01);
		// The labels come from the plug-in's string table: an id it lacks would show no label.
		EXPECT_TRUE(group->settings.GetString(DESC_NAME) == "Material");
		const std::pair<Int32, const char*> labels[] = {{1, "Material"}, {4, "Material"}, {5, "Atomic Symbol"},
			{6, "Offset U"}, {7, "Offset V"}, {8, "Tiles U"}, {9, "Tiles V"}, {10, "Use Material"}, {11, "Projection"}};
		for (const auto& [field, label] : labels)
			EXPECT_TRUE(Find(entries, base + field)->settings.GetString(DESC_SHORT_NAME) == label) << field;
		EXPECT_TRUE(cycle.GetString(0) == "Spherical" && cycle.GetString(3) == "Cubic");

		EXPECT_EQ(bc->GetInt32(base + 11), 6);
		EXPECT_TRUE(bc->GetBool(base + 10));
		EXPECT_DOUBLE_EQ(bc->GetFloat(base + 6, -1.0), 0.0);
		EXPECT_DOUBLE_EQ(bc->GetFloat(base + 8), 1.0);
		EXPECT_DOUBLE_EQ(bc->GetFloat(base + 9), 1.0);
		EXPECT_TRUE(bc->GetBool(base + 3));
		EXPECT_EQ(bc->GetData(base + 5).GetType(), DA_NIL);
	}
	// Later builds keep what the user changed.
	bc->SetFloat(15028, 3.5);
	bc->SetInt32(15031, 2);
	Build();
	EXPECT_DOUBLE_EQ(bc->GetFloat(15028), 3.5);
	EXPECT_EQ(bc->GetInt32(15031), 2);
}

TEST_F(AttributePanel, FilteredRequestStillWritesEveryGroupsDefaults)
{
	bc->SetInt32(MOLOBJ_MATERIAL_COUNT, 3);
	const DescID single(DescLevel(15045, DTYPE_STRING, 0));
	std::vector<vh::DescEntry> entries = Build(nullptr, &single);
	std::set<Int32> dynamicIds;
	for (const vh::DescEntry& e : entries)
		if (e.id[0].id > 15000 && e.id[0].id < 20000)
			dynamicIds.insert(e.id[0].id);
	EXPECT_EQ(dynamicIds, std::set<Int32>{15045});
	for (Int32 base : {15020, 15040, 15060})
	{
		EXPECT_EQ(bc->GetInt32(base + 11), 6) << base;
		EXPECT_TRUE(bc->GetBool(base + 3)) << base;
	}
}

TEST_F(AttributePanel, RefusedEntryStopsTheBuild)
{
	// A group count the host cannot show fully: with the parent group missing, every entry is refused.
	bc->SetInt32(MOLOBJ_MATERIAL_COUNT, 2);
	Description* d = Description::Alloc();
	DESCFLAGS_DESC flags = DESCFLAGS_DESC::NONE;
	vh::FailAllocations(vh::AllocKind::MEMORY, 0, 1000);
	Bool result = Data(op)->GetDDescription(op, d, flags);
	vh::ResetAllocationFailures();
	Description::Free(d);
	EXPECT_TRUE(result);
	EXPECT_EQ(flags & DESCFLAGS_DESC::LOADED, DESCFLAGS_DESC::NONE);
	// Group 0 got its defaults but is not marked as initialised; group 1 was not reached.
	EXPECT_EQ(bc->GetInt32(15031), 6);
	EXPECT_FALSE(bc->GetBool(15023));
	EXPECT_EQ(bc->GetData(15051).GetType(), DA_NIL);
}

TEST_F(AttributePanel, GroupCountIsBoundedBelowTheStaticIds)
{
	bc->SetInt32(MOLOBJ_MATERIAL_COUNT, 100000);
	std::vector<vh::DescEntry> entries = Build();
	Int32 highest = 0;
	for (const vh::DescEntry& e : entries)
	{
		if (e.id[0].id > 15000 && e.id[0].id < 20000)
			highest = std::max(highest, e.id[0].id);
	}
	EXPECT_EQ(highest, MaterialGroupId(MOLOBJ_MAT_GROUP_LIMIT - 1, MOLOBJ_MAT_PROJECTION));
	EXPECT_NE(Find(entries, MaterialGroupId(MOLOBJ_MAT_GROUP_LIMIT - 1, MOLOBJ_MAT_PROJECTION)), nullptr);
	EXPECT_EQ(bc->GetData(20011).GetType(), DA_VECTOR);
}

TEST_F(AttributePanel, EnablingFollowsDisplayAndRadiusModes)
{
	const Int32 atomIds[] = {MOLOBJ_ATOM_RADIUS_MODE, MOLOBJ_ATOM_SEGMENTS, MOLOBJ_SHOW_NUCLEUS};
	const Int32 bondIds[] = {MOLOBJ_BOND_RADIUS, MOLOBJ_BOND_DOUBLE_FACTOR, MOLOBJ_BOND_PROFILE_SUBDIV,
		MOLOBJ_BOND_CAPS, MOLOBJ_BOND_TRIPLE_FACTOR};
	for (Int32 display : {0, 1, 2})
	{
		bc->SetInt32(MOLOBJ_DISPLAY_MODE, display);
		for (Int32 id : atomIds)
			EXPECT_EQ(Enabled(id), display != 2) << id << " display " << display;
		for (Int32 id : bondIds)
			EXPECT_EQ(Enabled(id), display != 1) << id << " display " << display;
		for (Int32 id : {Int32(MOLOBJ_BOND_COLOR_SINGLE), Int32(MOLOBJ_XRAY), Int32(MOLOBJ_POSITION_SCALE), Int32(MOLOBJ_NUCLEUS_COLOR), Int32(15025)})
			EXPECT_TRUE(Enabled(id)) << id;
	}
	bc->SetInt32(MOLOBJ_DISPLAY_MODE, 0);
	for (Int32 mode : {0, 1, 2, 3})
	{
		bc->SetInt32(MOLOBJ_ATOM_RADIUS_MODE, mode);
		EXPECT_EQ(Enabled(MOLOBJ_ATOM_SIZE), mode >= 2) << mode;
		EXPECT_EQ(Enabled(MOLOBJ_ATOM_RADIUS_SCALE), mode < 2) << mode;
	}
	bc->SetInt32(MOLOBJ_DISPLAY_MODE, 2);
	EXPECT_FALSE(Enabled(MOLOBJ_ATOM_SIZE));
	EXPECT_FALSE(Enabled(MOLOBJ_ATOM_RADIUS_SCALE));
}

TEST_F(AttributePanel, EnablingOfNucleusPresetsAndRemove)
{
	EXPECT_FALSE(Enabled(MOLOBJ_NUCLEUS_SIZE));
	bc->SetBool(MOLOBJ_SHOW_NUCLEUS, true);
	EXPECT_TRUE(Enabled(MOLOBJ_NUCLEUS_SIZE));
	bc->SetInt32(MOLOBJ_DISPLAY_MODE, 2);
	EXPECT_FALSE(Enabled(MOLOBJ_NUCLEUS_SIZE));

	for (Int32 id = MOLOBJ_PRESET; id <= MOLOBJ_PRESET_RESTORE; ++id)
		EXPECT_FALSE(Enabled(id)) << id;
	bc->SetInt32(MOLOBJ_COLOR_SOURCE, 1);
	for (Int32 id = MOLOBJ_PRESET; id <= MOLOBJ_PRESET_RESTORE; ++id)
		EXPECT_TRUE(Enabled(id)) << id;

	// The remove button follows the object's own count, not the container.
	EXPECT_FALSE(Enabled(MOLOBJ_MATERIAL_REMOVE));
	bc->SetInt32(MOLOBJ_MATERIAL_COUNT, 1);
	EXPECT_FALSE(Enabled(MOLOBJ_MATERIAL_REMOVE));
	Data(op)->materialCount = 1;
	EXPECT_TRUE(Enabled(MOLOBJ_MATERIAL_REMOVE));
}
} // namespace
