// GeneratePrimitive(Osphere): layout, radius, winding, defaults, clamping, allocation failure and
// shared storage.
#include <set>
#include <tuple>

#include "geometry_support.h"

using namespace geometry_test;

namespace
{
PolygonObject* Sphere(const BaseContainer& bc)
{
	return static_cast<PolygonObject*>(GeneratePrimitive(nullptr, Osphere, bc, 1.0, false));
}

BaseContainer SphereSettings(Float radius, Int32 segments)
{
	BaseContainer bc;
	bc.SetFloat(PRIM_SPHERE_RAD, radius);
	bc.SetInt32(PRIM_SPHERE_SUB, segments);
	return bc;
}

class SphereTest : public ::testing::Test
{
protected:
	void TearDown() override { vh::ResetAllocationFailures(); }
};

TEST_F(SphereTest, LayoutIsAClosedOutwardUvSphereAtTheRadius)
{
	// {segments, points, polygons}: 3 and 4 give the smallest closed solids (bipyramids).
	for (auto [segments, points, polygons] : { std::tuple(3, 5, 6), std::tuple(4, 6, 8), std::tuple(7, 16, 21),
			 std::tuple(24, 266, 288) })
	{
		SCOPED_TRACE(segments);
		PolygonObject* op = Sphere(SphereSettings(37.5, segments));
		ASSERT_NE(op, nullptr);
		Mesh m = MeshOf(op);
		EXPECT_EQ(op->GetType(), Opolygon);
		EXPECT_EQ(Int32(m.points.size()), points);
		EXPECT_EQ(Int32(m.polys.size()), polygons);

		std::set<std::tuple<Float, Float, Float>> distinct;
		for (const Vector& p : m.points)
		{
			EXPECT_NEAR(Length(p), 37.5, 1e-12);
			distinct.insert({ p.x, p.y, p.z });
		}
		EXPECT_EQ(distinct.size(), m.points.size());

		Int32 triangles = 0;
		for (const CPolygon& p : m.polys)
		{
			Vector n = Normal(m, p);
			EXPECT_GT(Length(n), 1e-6);
			EXPECT_GT(Dot(n, Centroid(m, p)), 0.0);
			if (p.IsTriangle())
			{
				++triangles;
				// Triangles only at the poles (first and last point).
				EXPECT_TRUE(p.a == 0 || p.c == points - 1);
			}
		}
		EXPECT_EQ(triangles, 2 * segments);
		EXPECT_TRUE(IsClosedAndConsistent(m));
		vh::Node* n = vh::Access::Of(op);
		EXPECT_EQ(n->primitiveType, Osphere);
		EXPECT_EQ(n->primitiveRadius, 37.5);
		EXPECT_EQ(n->primitiveSegments, segments);
		PolygonObject::Free(op);
	}
}

TEST_F(SphereTest, AbsentSettingsUseRadius100And24Segments)
{
	PolygonObject* op = Sphere(BaseContainer());
	ASSERT_NE(op, nullptr);
	EXPECT_EQ(op->GetPointCount(), 266);
	for (Int32 i = 0; i < op->GetPointCount(); ++i)
		EXPECT_NEAR(Length(op->GetPointR()[i]), 100.0, 1e-12);
	EXPECT_EQ(vh::Access::Of(op)->primitiveRadius, 100.0);
	PolygonObject::Free(op);
}

TEST_F(SphereTest, SegmentsClampToThreeThroughThousandAndNegativeRadiusToZero)
{
	for (auto [asked, made] : { std::pair(-5, 3), std::pair(0, 3), std::pair(2, 3), std::pair(1000, 1000),
			 std::pair(5000, 1000) })
	{
		PolygonObject* op = Sphere(SphereSettings(-4.0, asked));
		ASSERT_NE(op, nullptr);
		EXPECT_EQ(vh::Access::Of(op)->primitiveSegments, made) << asked;
		EXPECT_EQ(op->GetPointCount(), 2 + made * (std::max(2, made / 2) - 1)) << asked;
		EXPECT_EQ(vh::Access::Of(op)->primitiveRadius, 0.0);
		for (Int32 i = 0; i < op->GetPointCount(); ++i)
			EXPECT_EQ(Length(op->GetPointR()[i]), 0.0);
		PolygonObject::Free(op);
	}
}

TEST_F(SphereTest, OnlySpheresAreMadeAndAnInjectedFailureGivesNothing)
{
	EXPECT_EQ(GeneratePrimitive(nullptr, Ocylinder, BaseContainer(), 1.0, false), nullptr);

	const Int before = vh::AllocationCount(vh::AllocKind::PRIMITIVE);
	const Int objects = vh::AllocationCount(vh::AllocKind::OBJECT);
	vh::FailAllocations(vh::AllocKind::PRIMITIVE, 1, 1);
	PolygonObject* first = Sphere(BaseContainer());
	PolygonObject* second = Sphere(BaseContainer());
	PolygonObject* third = Sphere(BaseContainer());
	EXPECT_NE(first, nullptr);
	EXPECT_EQ(second, nullptr);
	EXPECT_NE(third, nullptr);
	EXPECT_EQ(vh::AllocationCount(vh::AllocKind::PRIMITIVE), before + 3);
	// A primitive is not also an OBJECT allocation, so plug-in tests can target either.
	EXPECT_EQ(vh::AllocationCount(vh::AllocKind::OBJECT), objects);
	PolygonObject::Free(first);
	PolygonObject::Free(third);
}
// Equal spheres hold one array until one is written; a write reaches only that sphere, and an
// array whose pointer was handed out is copied, not shared, by a clone.
TEST_F(SphereTest, EqualSpheresShareTheirArraysUntilOneIsWritten)
{
	PolygonObject* a = Sphere(SphereSettings(1.5, 8));
	PolygonObject* b = Sphere(SphereSettings(1.5, 8));
	PolygonObject* other = Sphere(SphereSettings(1.25, 8));
	ASSERT_TRUE(a && b && other);
	EXPECT_EQ(a->GetPointR(), b->GetPointR());
	EXPECT_EQ(a->GetPolygonR(), b->GetPolygonR());
	EXPECT_NE(a->GetPointR(), other->GetPointR());

	const Vector top = b->GetPointR()[0];
	Vector* written = a->GetPointW();
	ASSERT_NE(written, nullptr);
	written[0] = Vector(9.0, 9.0, 9.0);
	EXPECT_EQ(b->GetPointR()[0], top);
	EXPECT_EQ(a->GetPointR()[0], Vector(9.0, 9.0, 9.0));

	BaseObject* clone = vh::CloneObject(a);
	ASSERT_NE(clone, nullptr);
	auto* copy = static_cast<PolygonObject*>(clone);
	EXPECT_NE(copy->GetPointR(), a->GetPointR());
	written[0] = Vector(7.0, 7.0, 7.0);
	EXPECT_EQ(copy->GetPointR()[0], Vector(9.0, 9.0, 9.0));
	EXPECT_EQ(copy->GetPolygonR(), a->GetPolygonR()) << "polygons never written stay shared";

	// A sphere made after the others were freed is built anew, the same.
	PolygonObject::Free(b);
	PolygonObject* again = Sphere(SphereSettings(1.5, 8));
	ASSERT_NE(again, nullptr);
	EXPECT_EQ(again->GetPointR()[0], top);
	for (PolygonObject* p : { a, other, again, copy })
		PolygonObject::Free(p);
}

// A sphere that holds its arrays alone is written in place; a sphere made while it lives must
// not take over what was written there.
TEST_F(SphereTest, ASphereMadeAfterAnotherWasWrittenIsBuiltAnew)
{
	PolygonObject* alone = Sphere(SphereSettings(2.75, 6));
	ASSERT_NE(alone, nullptr);
	const Vector top = alone->GetPointR()[0];
	Vector* written = alone->GetPointW();
	CPolygon* polys = alone->GetPolygonW();
	ASSERT_TRUE(written && polys);
	written[0] = Vector(5.0, 5.0, 5.0);
	polys[0] = CPolygon();

	PolygonObject* later = Sphere(SphereSettings(2.75, 6));
	ASSERT_NE(later, nullptr);
	EXPECT_NE(later->GetPointR(), alone->GetPointR());
	EXPECT_EQ(later->GetPointR()[0], top);
	EXPECT_NE(later->GetPolygonR()[0].b, 0);
	PolygonObject::Free(alone);
	PolygonObject::Free(later);
}
} // namespace
