#include "fixture.h"

namespace
{
const Vector PRESET0[5] = {Vector(0.90, 0.84, 0.72), Vector(0.10, 0.10, 0.09), Vector(0.89, 0.35, 0.15),
	Vector(0.94, 0.65, 0.00), Vector(0.80, 0.80, 0.80)};
const Vector PRESET3_H(0.85, 0.13, 0.28);
const Vector PRESET5_OTHER(0.80, 0.80, 0.80);

void ExpectPreset(const ColourPreset& p, const Vector (&colours)[5])
{
	test::ExpectVector(p.colourH, colours[0], 0.0);
	test::ExpectVector(p.colourC, colours[1], 0.0);
	test::ExpectVector(p.colourO, colours[2], 0.0);
	test::ExpectVector(p.colourN, colours[3], 0.0);
	test::ExpectVector(p.colourOther, colours[4], 0.0);
}

TEST(ColourPresets, RebuildGivesExactlyTheSixDefaults)
{
	Vireltan object;
	object.RestorePresetDefaults(-1);
	ASSERT_EQ(object.presets.GetCount(), 6);
	ExpectPreset(object.presets[0], PRESET0);
	test::ExpectVector(object.presets[3].colourH, PRESET3_H, 0.0);
	test::ExpectVector(object.presets[2].colourN, Vector(0.53, 0.35, 1.00), 0.0);
	for (const ColourPreset& p : object.presets)
		test::ExpectVector(p.colourOther, PRESET5_OTHER, 0.0);

	// More or fewer presets, or edited ones, come back as the six defaults.
	object.presets[0].colourH = Vector(1, 2, 3);
	ASSERT_FALSE(object.presets.Append(object.presets[1]).Failed());
	object.RestorePresetDefaults(-1);
	ASSERT_EQ(object.presets.GetCount(), 6);
	ExpectPreset(object.presets[0], PRESET0);
	object.presets.Pop();
	object.presets.Pop();
	object.RestorePresetDefaults(-1);
	EXPECT_EQ(object.presets.GetCount(), 6);
}

TEST(ColourPresets, RestoreOneKeepsTheOthers)
{
	Vireltan object;
	object.RestorePresetDefaults(-1);
	object.presets[1].colourC = Vector(0.5, 0.5, 0.5);
	object.presets[3].colourH = Vector(0.0, 1.0, 0.0);
	object.RestorePresetDefaults(3);
	test::ExpectVector(object.presets[3].colourH, PRESET3_H, 0.0);
	test::ExpectVector(object.presets[1].colourC, Vector(0.5, 0.5, 0.5), 0.0);

	object.presets[0].colourH = Vector(0.3, 0.3, 0.3);
	object.RestorePresetDefaults(6);
	object.RestorePresetDefaults(-2);
	test::ExpectVector(object.presets[0].colourH, Vector(0.3, 0.3, 0.3), 0.0);
	EXPECT_EQ(object.presets.GetCount(), 6);
}

TEST(ColourPresets, IndexBeyondAShortArrayIsIgnored)
{
	Vireltan object;
	object.RestorePresetDefaults(-1);
	object.presets.Pop();
	object.presets.Pop();
	object.RestorePresetDefaults(5);
	EXPECT_EQ(object.presets.GetCount(), 4);
	object.presets.Flush();
	object.RestorePresetDefaults(0);
	EXPECT_EQ(object.presets.GetCount(), 0);
}

TEST(ColourPresets, PresetThatCannotBeStoredIsSkipped)
{
	Vireltan object;
	vh::FailAllocations(vh::AllocKind::MEMORY, 0, 1);
	object.RestorePresetDefaults(-1);
	vh::ResetAllocationFailures();
	// Preset 0 could not be stored; 1 to 5 moved up by one.
	ASSERT_EQ(object.presets.GetCount(), 5);
	test::ExpectVector(object.presets[0].colourH, Vector(0.96, 0.94, 0.90), 0.0);
}
} // namespace
