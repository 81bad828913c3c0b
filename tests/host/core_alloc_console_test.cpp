// Allocation failure injection, console lines and recorded dialogs.
#include <gtest/gtest.h>

#include "c4d.h"
#include "internal.h"
#include "vh/host.h"

namespace
{
class CoreAllocation : public ::testing::Test
{
protected:
	void SetUp() override { vh::ResetAllocationFailures(); }
	void TearDown() override { vh::ResetAllocationFailures(); }
};

class CoreDialogs : public ::testing::Test
{
protected:
	void SetUp() override
	{
		vh::SetEcho(false);
		vh::ClearConsoleAndDialogs();
	}
	void TearDown() override
	{
		vh::SetQuestionAnswer(GEMB_R::V_NO);
		vh::ClearConsoleAndDialogs();
		vh::SetEcho(true);
	}
};
} // namespace

TEST_F(CoreAllocation, SkipThenFailCountThenSucceedAgain)
{
	Int before = vh::AllocationCount(vh::AllocKind::MEMORY);
	vh::FailAllocations(vh::AllocKind::MEMORY, 2, 2);
	void* p[6];
	for (void*& q : p)
		q = maxon::DefaultAllocator::Alloc(16);
	EXPECT_NE(p[0], nullptr);
	EXPECT_NE(p[1], nullptr);
	EXPECT_EQ(p[2], nullptr);
	EXPECT_EQ(p[3], nullptr);
	EXPECT_NE(p[4], nullptr);
	EXPECT_NE(p[5], nullptr);
	EXPECT_EQ(vh::AllocationCount(vh::AllocKind::MEMORY) - before, 6) << "failed allocations are counted too";
	for (void* q : p)
		maxon::DefaultAllocator::Free(q);
}

TEST_F(CoreAllocation, KindsAreIndependentAndResetClears)
{
	vh::FailAllocations(vh::AllocKind::OBJECT);
	Int memBefore = vh::AllocationCount(vh::AllocKind::MEMORY);
	Int tagBefore = vh::AllocationCount(vh::AllocKind::TAG);
	EXPECT_TRUE(vh::ConsumeAllocation(vh::AllocKind::TAG));
	void* p = maxon::DefaultAllocator::Alloc(8);
	EXPECT_NE(p, nullptr);
	maxon::DefaultAllocator::Free(p);
	EXPECT_EQ(vh::AllocationCount(vh::AllocKind::MEMORY), memBefore + 1);
	EXPECT_EQ(vh::AllocationCount(vh::AllocKind::TAG), tagBefore + 1);
	EXPECT_FALSE(vh::ConsumeAllocation(vh::AllocKind::OBJECT));
	EXPECT_TRUE(vh::ConsumeAllocation(vh::AllocKind::OBJECT)) << "count 1: only the next one fails";

	vh::FailAllocations(vh::AllocKind::SPLINE, 0, 1000);
	EXPECT_FALSE(vh::ConsumeAllocation(vh::AllocKind::SPLINE));
	vh::ResetAllocationFailures();
	EXPECT_TRUE(vh::ConsumeAllocation(vh::AllocKind::SPLINE));

	vh::FailAllocations(vh::AllocKind::PRIMITIVE, 1, 1);
	vh::FailAllocations(vh::AllocKind::PRIMITIVE, 0, 1);
	EXPECT_FALSE(vh::ConsumeAllocation(vh::AllocKind::PRIMITIVE)) << "a new plan replaces the old one";
}

TEST_F(CoreAllocation, SizesAndObjectsThroughTheAllocator)
{
	EXPECT_EQ(maxon::DefaultAllocator::Alloc(-1), nullptr);
	void* zero = maxon::DefaultAllocator::Alloc(0);
	EXPECT_NE(zero, nullptr);
	maxon::DefaultAllocator::Free(zero);
	maxon::DefaultAllocator::Free(nullptr);

	vh::FailAllocations(vh::AllocKind::MEMORY);
	Int* n = NewObjClear(Int);
	EXPECT_EQ(n, nullptr);
	n = NewObjClear(Int);
	ASSERT_NE(n, nullptr);
	EXPECT_EQ(*n, 0);
	DeleteObj(n);
	EXPECT_EQ(n, nullptr);

	maxon::BaseArray<Int32> arr;
	vh::FailAllocations(vh::AllocKind::MEMORY, 0, 1);
	EXPECT_TRUE(arr.Append(1).Failed());
	EXPECT_FALSE(arr.Append(2).Failed());
	EXPECT_EQ(arr.GetCount(), 1);
}

TEST_F(CoreDialogs, ConsoleLinesAreRecorded)
{
	ApplicationOutput("Loaded \xC3\xA9thanol"_s);
	ApplicationOutput(String("second"));
	ASSERT_EQ(vh::ConsoleLines().size(), 2u);
	EXPECT_EQ(vh::ConsoleLines()[0], "Loaded \xC3\xA9thanol");
	EXPECT_EQ(vh::ConsoleLines()[1], "second");
	vh::ClearConsoleAndDialogs();
	EXPECT_TRUE(vh::ConsoleLines().empty());
}

TEST_F(CoreDialogs, MessagesAndScriptedQuestions)
{
	MessageDialog("File not found"_s);
	EXPECT_FALSE(QuestionDialog("Replace materials?"_s)) << "questions are answered no by default";
	vh::SetQuestionAnswer(GEMB_R::V_YES);
	EXPECT_TRUE(QuestionDialog("Again?"_s));
	EXPECT_EQ(GeOutString("raw"_s, GEMB::YESNOCANCEL), GEMB_R::V_OK) << "only YESNO is a yes/no question";

	const auto& d = vh::Dialogs();
	ASSERT_EQ(d.size(), 4u);
	EXPECT_FALSE(d[0].question);
	EXPECT_EQ(d[0].text, "File not found");
	EXPECT_EQ(d[0].answer, GEMB_R::V_OK);
	EXPECT_EQ(d[0].flags, Int64(GEMB::OK | GEMB::ICONEXCLAMATION));
	EXPECT_TRUE(d[1].question);
	EXPECT_EQ(d[1].answer, GEMB_R::V_NO);
	EXPECT_EQ(d[1].flags, Int64(GEMB::YESNO | GEMB::ICONQUESTION));
	EXPECT_TRUE(d[2].question);
	EXPECT_EQ(d[2].answer, GEMB_R::V_YES);
	EXPECT_FALSE(d[3].question);
}

TEST_F(CoreDialogs, EchoGoesToStandardError)
{
	vh::SetEcho(true);
	vh::SetQuestionAnswer(GEMB_R::V_YES);
	::testing::internal::CaptureStderr();
	MessageDialog("Bad line"_s);
	QuestionDialog("Keep?"_s);
	maxon::_ApplicationOutput(maxon::TARGETAUDIENCE::ALL, maxon::WRITEMETA::DEFAULT, "hello"_s, 12, "/home/builder/src/mol.cpp");
	std::string err = ::testing::internal::GetCapturedStderr();
	EXPECT_NE(err.find("message box: Bad line\n"), std::string::npos) << err;
	EXPECT_NE(err.find("question: Keep? -> yes\n"), std::string::npos) << err;
	EXPECT_NE(err.find("console: hello (mol.cpp:12)\n"), std::string::npos) << err;

	// Console lines alone can be silenced; boxes still show.
	vh::SetConsoleEcho(false);
	::testing::internal::CaptureStderr();
	MessageDialog("loud"_s);
	maxon::_ApplicationOutput(maxon::TARGETAUDIENCE::ALL, maxon::WRITEMETA::DEFAULT, "hello"_s, 12, "mol.cpp");
	EXPECT_EQ(::testing::internal::GetCapturedStderr(), "message box: loud\n");

	vh::SetEcho(false);
	::testing::internal::CaptureStderr();
	MessageDialog("quiet"_s);
	EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
	EXPECT_EQ(vh::Dialogs().back().text, "quiet");
}
