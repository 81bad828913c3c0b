#include <gtest/gtest.h>

#include "c4d.h"
#include "vh/host.h"

namespace
{
struct Record
{
	Int32 a;
	Float64 b;
};

TEST(BaseArrayGrowth, CapacityFollowsTheHostRule)
{
	maxon::BaseArray<Record> array;
	EXPECT_EQ(array.GetCapacityCount(), 0);
	std::vector<Int> capacities;
	for (Int32 i = 0; i < 200; ++i)
	{
		ASSERT_FALSE(array.Append(Record{i, i * 0.5}).Failed());
		if (capacities.empty() || capacities.back() != array.GetCapacityCount())
			capacities.push_back(array.GetCapacityCount());
	}
	EXPECT_EQ(capacities, (std::vector<Int>{16, 32, 64, 112, 176, 272}));
	for (Int32 i = 0; i < 200; ++i)
		EXPECT_EQ(array[i].a, i);
}

TEST(BaseArrayGrowth, SeventeenAndThirtyThreeAppends)
{
	maxon::BaseArray<Int32> a17, a33;
	for (Int32 i = 0; i < 17; ++i)
		ASSERT_FALSE(a17.Append(i).Failed());
	for (Int32 i = 0; i < 33; ++i)
		ASSERT_FALSE(a33.Append(i).Failed());
	EXPECT_EQ(a17.GetCapacityCount(), 32);
	EXPECT_EQ(a33.GetCapacityCount(), 64);
}

TEST(BaseArrayGrowth, FailedGrowthIsReportedAndKeepsTheRecords)
{
	maxon::BaseArray<Record> array;
	for (Int32 i = 0; i < 16; ++i)
		ASSERT_FALSE(array.Append(Record{i, 0.0}).Failed());
	vh::FailAllocations(vh::AllocKind::MEMORY, 0, 1);
	EXPECT_TRUE(array.Append(Record{99, 0.0}).Failed());
	EXPECT_EQ(array.GetCount(), 16);
	EXPECT_EQ(array.GetCapacityCount(), 16);
	EXPECT_EQ(array[15].a, 15);
	// The failure was one allocation only: the next append grows normally.
	EXPECT_FALSE(array.Append(Record{16, 0.0}).Failed());
	EXPECT_EQ(array.GetCapacityCount(), 32);
	vh::ResetAllocationFailures();
}

TEST(BaseArrayGrowth, FlushKeepsStorageResetReleasesIt)
{
	maxon::BaseArray<String> array;
	String shared("text");
	ASSERT_FALSE(array.Append(shared).Failed());
	EXPECT_EQ(shared.GetReferenceCount(), 2);
	array.Flush();
	EXPECT_EQ(array.GetCount(), 0);
	EXPECT_EQ(array.GetCapacityCount(), 16);
	EXPECT_EQ(shared.GetReferenceCount(), 1);
	array.Reset();
	EXPECT_EQ(array.GetCapacityCount(), 0);
}

TEST(BaseArrayGrowth, CopyFromFailureLeavesTheTargetEmpty)
{
	maxon::BaseArray<Int32> source, target;
	for (Int32 i = 0; i < 40; ++i)
		ASSERT_FALSE(source.Append(i).Failed());
	ASSERT_FALSE(target.Append(7).Failed());
	vh::FailAllocations(vh::AllocKind::MEMORY, 0, 1);
	EXPECT_TRUE(target.CopyFrom(source).Failed());
	EXPECT_EQ(target.GetCount(), 0);
	vh::ResetAllocationFailures();
	ASSERT_FALSE(target.CopyFrom(source).Failed());
	ASSERT_EQ(target.GetCount(), 40);
	EXPECT_EQ(target[39], 39);
}
} // namespace
