// EvaluateSpline and GetSweepGeometry: the bond profile, the swept tube, caps and the cache.
#include <algorithm>
#include <limits>

#include "geometry_support.h"

using namespace geometry_test;

namespace
{
// The 0.415 handle circle crosses each quadrant's middle at (4r + 3k) / 8 per axis, i.e. r times this.
const Float kMidRadius = (4.0 + 3.0 * 0.415) / 8.0 * std::sqrt(2.0);

// The closed four-point Bezier circle the plug-in builds for a bond.
SplineObject* CircleProfile(Float r, Int32 sub, Bool clockwise = false)
{
	SplineObject* s = SplineObject::Alloc(4, SPLINETYPE::BEZIER);
	const Float k = 0.415 * r;
	const Vector pts[4] = { { r, 0, 0 }, { 0, r, 0 }, { -r, 0, 0 }, { 0, -r, 0 } };
	const Vector right[4] = { { 0, k, 0 }, { -k, 0, 0 }, { 0, -k, 0 }, { k, 0, 0 } };
	for (int i = 0; i < 4; ++i)
	{
		// Mirrored in Y, the same circle runs clockwise.
		const Vector f(1.0, clockwise ? -1.0 : 1.0, 1.0);
		auto m = [&](const Vector& v) { return Vector(v.x * f.x, v.y * f.y, v.z); };
		s->GetPointW()[i] = m(pts[i]);
		s->GetTangentW()[i] = Tangent { -m(right[i]), m(right[i]) };
	}
	BaseContainer* bc = s->GetDataInstance();
	bc->SetBool(SPLINEOBJECT_CLOSED, true);
	bc->SetInt32(SPLINEOBJECT_INTERPOLATION, SPLINEOBJECT_INTERPOLATION_UNIFORM);
	bc->SetInt32(SPLINEOBJECT_SUB, sub);
	return s;
}

SplineObject* LinearPath(std::vector<Vector> pts, Bool closed = false)
{
	SplineObject* s = SplineObject::Alloc(Int32(pts.size()), SPLINETYPE::LINEAR);
	std::copy(pts.begin(), pts.end(), s->GetPointW());
	s->GetDataInstance()->SetBool(SPLINEOBJECT_CLOSED, closed);
	return s;
}

// A bond as the plug-in builds it: sweep, profile first, path second, caps in 2999 and 3000.
BaseObject* Bond(const Vector& from, const Vector& to, Int32 caps, Int32 sub = 4, Float r = 3.0)
{
	BaseObject* sweep = BaseObject::Alloc(Osweep);
	sweep->SetParameter(DescID(2999), GeData(caps), DESCFLAGS_SET::NONE);
	sweep->SetParameter(DescID(3000), GeData(caps), DESCFLAGS_SET::NONE);
	CircleProfile(r, sub)->InsertUnder(sweep);
	LinearPath({ from, to })->InsertUnderLast(sweep);
	return sweep;
}

// Distance of p from the line through a along the unit direction d, and its parameter on it.
std::pair<Float, Float> FromAxis(const Vector& p, const Vector& a, const Vector& d)
{
	const Float t = Dot(p - a, d);
	return { Length(p - (a + d * t)), t };
}

TEST(SplineEvaluation, BondProfileIsAnOrderedSlightlyFlattenedCircle)
{
	for (Int32 sub : { 0, 1, 8 })
	{
		SCOPED_TRACE(sub);
		SplineObject* s = CircleProfile(3.0, sub);
		std::vector<Vector> pts = vh::EvaluateSpline(s);
		ASSERT_EQ(pts.size(), size_t(4 * (sub + 1)));
		EXPECT_EQ(pts.front(), Vector(3.0, 0.0, 0.0));
		Float lo = std::numeric_limits<Float>::max(), hi = 0.0, prevAngle = -1.0;
		for (const Vector& p : pts)
		{
			lo = std::min(lo, Length(p));
			hi = std::max(hi, Length(p));
			EXPECT_EQ(p.z, 0.0);
			Float angle = std::atan2(p.y, p.x);
			angle = angle < -1e-12 ? angle + 2.0 * M_PI : angle;
			EXPECT_GT(angle, prevAngle);
			prevAngle = angle;
		}
		EXPECT_NEAR(hi, 3.0, 1e-12);
		// With one intermediate point it sits at the flattest place, mid-quadrant.
		EXPECT_GE(lo, 3.0 * kMidRadius - 1e-12);
		if (sub % 2 == 1)
		{
			EXPECT_NEAR(lo, 3.0 * kMidRadius, 1e-12);
		}
		SplineObject::Free(s);
	}
	EXPECT_NEAR(kMidRadius, 0.92720, 1e-5);
}

TEST(SplineEvaluation, InterpolationSubdivisionAndLinearSplines)
{
	// Handles at a third of the chord make the Bezier linear in t: intermediates at uniform steps.
	SplineObject* s = SplineObject::Alloc(3, SPLINETYPE::BEZIER);
	const Vector p[3] = { { 0, 0, 0 }, { 30, 0, 0 }, { 30, 60, 0 } };
	std::copy(p, p + 3, s->GetPointW());
	s->GetTangentW()[0].vr = Vector(10, 0, 0);
	s->GetTangentW()[1] = Tangent { Vector(-10, 0, 0), Vector(0, 20, 0) };
	s->GetTangentW()[2].vl = Vector(0, -20, 0);
	BaseContainer* bc = s->GetDataInstance();
	std::vector<Vector> pts = vh::EvaluateSpline(s); // SUB absent: 8, interpolation absent: uniform
	ASSERT_EQ(pts.size(), size_t(3 + 2 * 8));
	for (int k = 0; k <= 9; ++k)
	{
		EXPECT_NEAR(pts[k].x, 30.0 * k / 9.0, 1e-12);
		EXPECT_NEAR(pts[9 + k].y, 60.0 * k / 9.0, 1e-12);
	}
	for (auto [sub, count] : { std::pair(-3, 3), std::pair(2, 7), std::pair(5000, 3 + 2 * 1000) })
	{
		bc->SetInt32(SPLINEOBJECT_SUB, sub);
		EXPECT_EQ(vh::EvaluateSpline(s).size(), size_t(count)) << sub;
	}
	bc->SetInt32(SPLINEOBJECT_INTERPOLATION, SPLINEOBJECT_INTERPOLATION_NONE);
	EXPECT_EQ(vh::EvaluateSpline(s), std::vector<Vector>(p, p + 3));
	SplineObject::Free(s);

	SplineObject* line = LinearPath({ p[0], p[1], p[2] }, true);
	EXPECT_EQ(vh::EvaluateSpline(line), std::vector<Vector>(p, p + 3));
	SplineObject::Free(line);
	EXPECT_TRUE(vh::EvaluateSpline(nullptr).empty());
}

TEST(Sweep, BondAlongZIsATubeBetweenTheAtomCentresAndEachCapClosesItsEnd)
{
	const Int32 sub = 4, ring = 4 * (sub + 1);
	for (auto [start, end] : { std::pair(0, 0), std::pair(1, 0), std::pair(1, 1) })
	{
		SCOPED_TRACE(testing::Message() << start << end);
		BaseObject* sweep = Bond(Vector(0, 0, 0), Vector(0, 0, 154), end, sub);
		sweep->SetParameter(DescID(2999), GeData(Int32(start)), DESCFLAGS_SET::NONE);
		Mesh m = MeshOf(vh::GetSweepGeometry(sweep));
		ASSERT_EQ(Int32(m.points.size()), 2 * ring + start + end);
		ASSERT_EQ(Int32(m.polys.size()), ring * (1 + start + end));
		for (Int32 i = 0; i < 2 * ring; ++i)
		{
			const Vector& v = m.points[i];
			EXPECT_EQ(v.z, i < ring ? 0.0 : 154.0);
			EXPECT_GE(Length(Vector(v.x, v.y, 0)), 3.0 * kMidRadius - 1e-9);
			EXPECT_LE(Length(Vector(v.x, v.y, 0)), 3.0 + 1e-9);
		}
		for (const CPolygon& p : m.polys)
		{
			const Vector c = Centroid(m, p);
			const Vector out = p.IsTriangle() ? Vector(0, 0, c.z > 77 ? 1 : -1) : Vector(c.x, c.y, 0);
			EXPECT_GT(Dot(Normal(m, p), out), 0.0);
		}
		// Edges without a partner are the rims of the open ends.
		auto edges = DirectedEdges(m);
		Int32 open = 0;
		for (const auto& e : edges)
			open += edges.count({ e.first.second, e.first.first }) == 0;
		EXPECT_EQ(open, ring * (2 - start - end));
		EXPECT_EQ(IsClosedAndConsistent(m), start + end == 2);
		BaseObject::Free(sweep);
	}
}

TEST(Sweep, DiagonalVerticalAndZeroLengthPathsGiveCleanGeometry)
{
	const Vector a(10, -20, 5);
	for (Vector b : { Vector(-40, 60, 90), Vector(10, 80, 5), Vector(10, -120, 5), a })
	{
		SCOPED_TRACE(testing::Message() << b.x << "," << b.y << "," << b.z);
		BaseObject* sweep = Bond(a, b, 1);
		Mesh m = MeshOf(vh::GetSweepGeometry(sweep));
		ASSERT_EQ(m.points.size(), size_t(2 * 20 + 2));
		const Float len = Length(b - a);
		const Vector d = len > 0 ? (b - a) / len : Vector(0, 0, 1);
		for (size_t i = 0; i < 40; ++i)
		{
			auto [dist, t] = FromAxis(m.points[i], a, d);
			EXPECT_TRUE(std::isfinite(m.points[i].x) && std::isfinite(m.points[i].y) && std::isfinite(m.points[i].z));
			EXPECT_NEAR(t, i < 20 ? 0.0 : len, 1e-9);
			EXPECT_GE(dist, 3.0 * kMidRadius - 1e-9);
			EXPECT_LE(dist, 3.0 + 1e-9);
		}
		EXPECT_TRUE(IsClosedAndConsistent(m));
		for (const CPolygon& p : m.polys)
		{
			if (len > 0)
			{
				EXPECT_GT(Dot(Normal(m, p), Centroid(m, p) - (a + b) / 2.0), 0.0);
			}
		}
		BaseObject::Free(sweep);
	}
}

TEST(Sweep, ClockwiseProfileStillFacesOutward)
{
	BaseObject* sweep = BaseObject::Alloc(Osweep);
	CircleProfile(5.0, 3, true)->InsertUnder(sweep);
	LinearPath({ Vector(0, 0, 0), Vector(0, 0, 40) })->InsertUnderLast(sweep);
	Mesh m = MeshOf(vh::GetSweepGeometry(sweep));
	ASSERT_EQ(m.polys.size(), size_t(3 * 16)); // caps default on, as for a new sweep in the host
	EXPECT_TRUE(IsClosedAndConsistent(m));
	for (const CPolygon& p : m.polys)
		EXPECT_GT(Dot(Normal(m, p), Centroid(m, p) - Vector(0, 0, 20)), 0.0);
	BaseObject::Free(sweep);
}

// Twist from ring k to ring k+1: the angle between ring k's X axis carried over by the smallest
// rotation between the rings' planes and ring k+1's X axis. Axes come from the geometry: profile
// point 0 lies on the frame's X, point sub+1 on its Y.
std::vector<Float> BandTwists(const Mesh& m, const std::vector<Vector>& path, Int32 ring, Int32 sub, Bool closed)
{
	const size_t rings = path.size();
	auto axis = [&](size_t k, Int32 i) {
		Vector v = m.points[k * ring + i] - path[k];
		return v / Length(v);
	};
	std::vector<Float> twists;
	for (size_t k = 0; k + (closed ? 0 : 1) < rings; ++k)
	{
		const size_t k1 = (k + 1) % rings;
		const Vector t0 = Cross(axis(k, 0), axis(k, sub + 1)), t1 = Cross(axis(k1, 0), axis(k1, sub + 1));
		const Vector w = Cross(t0, t1), x = axis(k, 0);
		const Vector carried = x * Dot(t0, t1) + Cross(w, x) + w * (Dot(w, x) / (1.0 + Dot(t0, t1)));
		twists.push_back(std::atan2(Dot(Cross(carried, axis(k1, 0)), t1), Dot(carried, axis(k1, 0))));
	}
	return twists;
}

TEST(Sweep, FramesAlongABentPathDoNotTwistAndAClosedPathHasNoSeam)
{
	const std::vector<Vector> loop = { { 100, 0, 0 }, { 30, 90, 60 }, { -80, 40, -20 }, { -60, -70, 40 }, { 50, -80, -30 } };
	for (Bool closed : { false, true })
	{
		SCOPED_TRACE(closed);
		BaseObject* sweep = BaseObject::Alloc(Osweep);
		CircleProfile(5.0, 2)->InsertUnder(sweep);
		LinearPath(loop, closed)->InsertUnderLast(sweep);
		Mesh m = MeshOf(vh::GetSweepGeometry(sweep));
		// A closed path wraps its rings and takes no caps.
		ASSERT_EQ(m.polys.size(), size_t(closed ? 5 * 12 : 4 * 12 + 2 * 12));
		EXPECT_TRUE(IsClosedAndConsistent(m));
		std::vector<Float> twists = BandTwists(m, loop, 12, 2, closed);
		const Float expected = closed ? twists.front() : 0.0;
		if (closed)
		{
			EXPECT_GT(std::fabs(expected), 1e-3); // this loop does twist its frames
		}
		for (Float t : twists)
			EXPECT_NEAR(t, expected, 1e-9);
		BaseObject::Free(sweep);
	}
}

TEST(Sweep, CachedGeometryIsReusedUntilAnInputChanges)
{
	BaseObject* sweep = Bond(Vector(0, 0, 0), Vector(0, 0, 154), 1);
	PolygonObject* first = vh::GetSweepGeometry(sweep);
	ASSERT_NE(first, nullptr);
	EXPECT_EQ(vh::GetSweepGeometry(sweep), first);
	EXPECT_EQ(vh::Access::Of(sweep)->Derived(), first);

	SplineObject* path = static_cast<SplineObject*>(sweep->GetDownLast());
	path->GetPointW()[1] = Vector(0, 0, 200);
	PolygonObject* moved = vh::GetSweepGeometry(sweep);
	ASSERT_NE(moved, nullptr);
	EXPECT_NE(moved, first);
	EXPECT_EQ(moved->GetPointR()[moved->GetPointCount() - 1].z, 200.0); // end cap centre
	EXPECT_EQ(vh::GetSweepGeometry(sweep), moved);

	sweep->SetParameter(DescID(3000), GeData(Int32(0)), DESCFLAGS_SET::NONE);
	EXPECT_EQ(vh::GetSweepGeometry(sweep)->GetPolygonCount(), 2 * 20);
	sweep->GetDown()->GetDataInstance()->SetInt32(SPLINEOBJECT_SUB, 0);
	EXPECT_EQ(vh::GetSweepGeometry(sweep)->GetPolygonCount(), 2 * 4);
	BaseObject::Free(sweep);
}

TEST(Sweep, WithoutTwoUsableSplinesThereIsNoGeometry)
{
	BaseObject* sweep = Bond(Vector(0, 0, 0), Vector(0, 0, 10), 1);
	ASSERT_NE(vh::GetSweepGeometry(sweep), nullptr);
	BaseObject* path = sweep->GetDownLast();
	path->Remove();
	EXPECT_EQ(vh::GetSweepGeometry(sweep), nullptr);
	EXPECT_EQ(vh::Access::Of(sweep)->Derived(), nullptr);

	BaseObject* null = BaseObject::Alloc(Onull);
	null->InsertUnderLast(sweep);
	EXPECT_EQ(vh::GetSweepGeometry(sweep), nullptr);
	BaseObject::Free(null);

	path->InsertUnderLast(sweep);
	BaseObject* lone = LinearPath({ Vector(1, 1, 1) });
	lone->InsertUnder(sweep);
	EXPECT_EQ(vh::GetSweepGeometry(sweep), nullptr); // a one-point profile

	BaseObject* notSweep = BaseObject::Alloc(Onull);
	LinearPath({ Vector(0, 0, 0), Vector(1, 0, 0) })->InsertUnder(notSweep);
	LinearPath({ Vector(0, 0, 0), Vector(0, 0, 1) })->InsertUnderLast(notSweep);
	EXPECT_EQ(vh::GetSweepGeometry(notSweep), nullptr);
	BaseObject::Free(notSweep);
	BaseObject::Free(sweep);
}
} // namespace
