// GeData and BaseContainer: typed getters, defaults, order, deep copies, links, equality.
#include <gtest/gtest.h>

#include <utility>

#include "c4d.h"
#include "vh/host.h"

namespace
{
// A null object to link to, freed at the end of the test.
struct LinkTarget
{
	BaseObject* op = BaseObject::Alloc(Onull);
	~LinkTarget() { BaseObject::Free(op); }
};
} // namespace

TEST(CoreGeData, GettersOfTheWrongTypeAnswerZero)
{
	GeData s("text");
	EXPECT_EQ(s.GetType(), DA_STRING);
	EXPECT_EQ(s.GetInt32(), 0);
	EXPECT_EQ(s.GetFloat(), 0.0);
	EXPECT_EQ(s.GetVector(), Vector());
	EXPECT_TRUE(s.GetFilename().IsEmpty());
	EXPECT_EQ(s.GetContainer(), nullptr);
	EXPECT_EQ(s.GetBaseLink(), nullptr);
	EXPECT_EQ(s.GetLink(nullptr), nullptr);

	GeData r(2.75);
	EXPECT_EQ(r.GetInt32(), 0) << "a real does not convert to an integer";
	EXPECT_TRUE(r.GetString().IsEmpty());
	EXPECT_FALSE(r.GetBool());

	GeData l(Int32(-3));
	EXPECT_EQ(l.GetFloat(), -3.0) << "an integer converts to a real";
	EXPECT_EQ(l.GetInt64(), -3);
	EXPECT_TRUE(l.GetBool());

	GeData ll(Int64(5000000000LL), DEFAULTVALUE_LLONG);
	EXPECT_EQ(ll.GetInt64(), 5000000000LL);
	EXPECT_EQ(ll.GetInt32(), 2147483647) << "clamped to the Int32 range";
	EXPECT_EQ(ll.GetFloat(), 0.0);

	GeData v(Vector(1, 2, 3));
	EXPECT_EQ(v.GetVector(), Vector(1, 2, 3));
	GeData nil;
	EXPECT_EQ(nil.GetType(), DA_NIL);
	EXPECT_TRUE(nil == GeData());
	EXPECT_FALSE(nil == GeData(Int32(0)));
	EXPECT_FALSE(GeData(Int32(1)) == GeData(1.0)) << "equal values of different types differ";
}

TEST(CoreGeData, ContainersAreDeepCopies)
{
	BaseContainer inner;
	inner.SetInt32(1, 10);
	GeData a(inner);
	inner.SetInt32(1, 11);
	ASSERT_NE(a.GetContainer(), nullptr);
	EXPECT_EQ(a.GetContainer()->GetInt32(1), 10);

	GeData b(a);
	b.GetContainer()->SetInt32(1, 12);
	EXPECT_EQ(a.GetContainer()->GetInt32(1), 10);
	EXPECT_NE(a.GetContainer(), b.GetContainer());

	GeData c;
	c = b;
	b.GetContainer()->SetInt32(2, 1);
	EXPECT_EQ(c.GetContainer()->GetCount(), 1);
	const GeData& self = c; // through a reference, so that compilers do not flag the self-assignment
	c = self;
	EXPECT_EQ(c.GetContainer()->GetInt32(1), 12);
	c.SetInt32(4);
	EXPECT_EQ(c.GetContainer(), nullptr);
	EXPECT_EQ(c.GetInt32(), 4);
}

TEST(CoreGeData, AValueOfOneKindBecomesAnotherAndCanBeGivenAnEntryOfItsOwnContainer)
{
	// Each assignment leaves the new value alone behind; getters of the old kind answer empty.
	GeData d("text");
	d = GeData(Vector(1, 2, 3));
	EXPECT_EQ(d.GetVector(), Vector(1, 2, 3));
	EXPECT_TRUE(d.GetString().IsEmpty());
	d = GeData(Filename("a/b.sdf"));
	EXPECT_TRUE(d.GetFilename() == Filename("a/b.sdf"));
	EXPECT_EQ(d.GetVector(), Vector());
	d = GeData(2.5);
	EXPECT_EQ(d.GetFloat(), 2.5);
	EXPECT_TRUE(d.GetFilename().IsEmpty());
	d.SetString("again"_s);
	EXPECT_EQ(d.GetString(), "again"_s);

	// The entry is copied before the container that holds it goes.
	BaseContainer outer;
	outer.SetString(1, "inner"_s);
	BaseContainer deeper;
	deeper.SetInt32(2, 7);
	outer.SetContainer(3, deeper);
	d = GeData(outer);
	d = d.GetContainer()->GetData(1);
	EXPECT_EQ(d.GetString(), "inner"_s);
	d = GeData(outer);
	d = d.GetContainer()->GetData(3);
	ASSERT_NE(d.GetContainer(), nullptr);
	EXPECT_EQ(d.GetContainer()->GetInt32(2), 7);

	// Moving hands the container over and leaves nothing behind; an entry moved out of the
	// container the value holds is taken before the container goes.
	const BaseContainer* held = d.GetContainer();
	GeData moved(std::move(d));
	EXPECT_EQ(moved.GetContainer(), held);
	EXPECT_EQ(d.GetType(), DA_NIL);
	GeData* entry = moved.GetContainer()->SetData(4, GeData(Vector(4, 5, 6)));
	ASSERT_NE(entry, nullptr);
	moved = std::move(*entry);
	EXPECT_EQ(moved.GetVector(), Vector(4, 5, 6));
}

TEST(CoreGeData, LinksCloneAndCompareByTarget)
{
	LinkTarget t, u;
	ASSERT_NE(t.op, nullptr);
	GeData a(static_cast<BaseList2D*>(t.op));
	EXPECT_EQ(a.GetType(), DA_ALIASLINK);
	EXPECT_EQ(a.GetLink(nullptr), t.op);
	GeData b(a);
	EXPECT_NE(b.GetBaseLink(), a.GetBaseLink()) << "the link is cloned, not shared";
	EXPECT_TRUE(a == b);
	EXPECT_FALSE(a == GeData(static_cast<BaseList2D*>(u.op)));

	GeData none(static_cast<BaseList2D*>(nullptr));
	EXPECT_EQ(none.GetType(), DA_ALIASLINK);
	EXPECT_EQ(none.GetLink(nullptr), nullptr);
	EXPECT_FALSE(none == a);
}

TEST(CoreContainer, DefaultsForAbsentAndMistypedIds)
{
	BaseContainer bc;
	bc.SetString(1, "caffeine"_s);
	bc.SetInt32(2, 7);
	bc.SetFloat(3, 0.5);
	bc.SetBool(4, true);
	bc.SetVector(5, Vector(1, 0, 0));
	bc.SetInt64(6, -9);

	EXPECT_EQ(bc.GetInt32(99, 42), 42);
	EXPECT_EQ(bc.GetInt32(1, 42), 42) << "a string is not an integer";
	EXPECT_EQ(bc.GetInt32(3, 42), 42) << "a real is not an integer";
	EXPECT_EQ(bc.GetInt32(2, 42), 7);
	EXPECT_EQ(bc.GetInt64(6), -9);
	EXPECT_EQ(bc.GetInt32(6), -9);
	EXPECT_EQ(bc.GetUInt32(2), 7u);
	EXPECT_EQ(bc.GetFloat(2, 9.0), 7.0) << "an integer entry reads as a real";
	EXPECT_EQ(bc.GetFloat(1, 9.0), 9.0);
	EXPECT_EQ(bc.GetFloat(99, 9.0), 9.0);
	EXPECT_TRUE(bc.GetBool(2));
	EXPECT_TRUE(bc.GetBool(4));
	EXPECT_TRUE(bc.GetBool(3, true)) << "a real is not a bool: the preset answers";
	EXPECT_FALSE(bc.GetBool(3, false));
	EXPECT_EQ(bc.GetVector(5), Vector(1, 0, 0));
	EXPECT_EQ(bc.GetVector(2, Vector(3)), Vector(3));
	EXPECT_TRUE(bc.GetString(1) == "caffeine");
	EXPECT_TRUE(bc.GetString(2, "none"_s) == "none");
	EXPECT_TRUE(bc.GetFilename(1, Filename("x")) == Filename("x")) << "a string is not a filename";
	EXPECT_EQ(bc.GetContainerInstance(1), nullptr);
	EXPECT_EQ(bc.GetContainer(1).GetCount(), 0);
	EXPECT_EQ(bc.GetData(99).GetType(), DA_NIL);
	EXPECT_EQ(bc.GetLink(2, nullptr), nullptr);
}

TEST(CoreContainer, OrderReplaceRemoveAndIndex)
{
	BaseContainer bc(77);
	EXPECT_EQ(bc.GetId(), 77);
	bc.SetInt32(30, 1);
	bc.SetInt32(10, 2);
	bc.SetInt32(20, 3);
	GeData* stored = bc.SetData(10, GeData("two"));
	ASSERT_NE(stored, nullptr);
	EXPECT_TRUE(stored->GetString() == "two");
	EXPECT_EQ(bc.GetCount(), 3);
	EXPECT_EQ(bc.GetIndexId(0), 30);
	EXPECT_EQ(bc.GetIndexId(1), 10) << "replacing keeps the position";
	EXPECT_EQ(bc.GetIndexId(2), 20);
	EXPECT_EQ(bc.GetIndexId(3), NOTOK);
	EXPECT_EQ(bc.GetIndexId(-1), NOTOK);
	EXPECT_EQ(bc.GetIndexData(1)->GetType(), DA_STRING);
	EXPECT_EQ(bc.GetIndexData(3), nullptr);

	EXPECT_TRUE(bc.RemoveData(10));
	EXPECT_FALSE(bc.RemoveData(10));
	EXPECT_EQ(bc.GetCount(), 2);
	EXPECT_EQ(bc.GetIndexId(1), 20);
	EXPECT_EQ(bc.GetInt32(20), 3) << "a later entry moves down with its value";
	EXPECT_EQ(bc.GetInt32(30), 1);
	bc.FlushAll();
	EXPECT_EQ(bc.GetCount(), 0);
}

// Adding an entry may move the container's array; a value that is one of its own entries is
// taken before that.
TEST(CoreContainer, AnEntryGivenToItsOwnContainerIsCopiedBeforeTheContainerGrows)
{
	BaseContainer bc;
	bc.SetString(1, "first"_s);
	ASSERT_NE(bc.SetData(2, bc.GetData(1)), nullptr);
	EXPECT_EQ(bc.GetString(2), "first"_s);
	for (Int32 id = 3; id < 40; ++id)
		ASSERT_NE(bc.SetData(id, std::move(*const_cast<GeData*>(bc.GetIndexData(id - 2)))), nullptr) << id;
	EXPECT_EQ(bc.GetString(39), "first"_s) << "the string moved along each new entry";
	EXPECT_EQ(bc.GetData(37).GetType(), DA_NIL) << "what was moved out is left empty";
	EXPECT_EQ(bc.GetCount(), 39);
}

TEST(CoreContainer, DeepCopyIndependenceAndEquality)
{
	BaseContainer group;
	group.SetString(1, "C"_s);
	BaseContainer bc;
	bc.SetContainer(100, group);
	bc.SetFloat(2, 1.5);

	BaseContainer copy = bc;
	copy.GetContainerInstance(100)->SetString(1, "O"_s);
	EXPECT_TRUE(bc.GetContainerInstance(100)->GetString(1) == "C");
	EXPECT_FALSE(bc == copy);
	copy.GetContainerInstance(100)->SetString(1, "C"_s);
	EXPECT_TRUE(bc == copy);

	BaseContainer reordered;
	reordered.SetFloat(2, 1.5);
	reordered.SetContainer(100, group);
	EXPECT_TRUE(bc == reordered) << "order does not matter";
	reordered.SetInt32(3, 0);
	EXPECT_TRUE(bc != reordered);
	reordered.RemoveData(3);
	reordered.SetInt32(2, 1);
	EXPECT_TRUE(bc != reordered) << "same id, other type";

	BaseContainer assigned;
	assigned.SetInt32(5, 5);
	assigned = bc;
	EXPECT_TRUE(assigned == bc);
	EXPECT_NE(assigned.GetContainerInstance(100), bc.GetContainerInstance(100));
}

TEST(CoreContainer, LinksResolveAndClear)
{
	LinkTarget t;
	ASSERT_NE(t.op, nullptr);
	BaseContainer bc;
	bc.SetLink(7, t.op);
	EXPECT_EQ(bc.GetData(7).GetType(), DA_ALIASLINK);
	EXPECT_EQ(bc.GetLink(7, nullptr), t.op);

	BaseContainer copy = bc;
	EXPECT_EQ(copy.GetLink(7, nullptr), t.op);
	EXPECT_TRUE(copy == bc);

	bc.SetLink(7, nullptr);
	EXPECT_EQ(bc.GetData(7).GetType(), DA_ALIASLINK);
	EXPECT_EQ(bc.GetLink(7, nullptr), nullptr);
	EXPECT_FALSE(copy == bc);
	EXPECT_EQ(copy.GetLink(7, nullptr), t.op) << "the copy's link is its own";
}
