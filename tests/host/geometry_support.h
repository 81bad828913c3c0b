// Mesh checks shared by the geometry tests.
#pragma once

#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "node.h"

namespace geometry_test
{
inline Float Dot(const Vector& a, const Vector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vector Cross(const Vector& a, const Vector& b)
{
	return Vector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline Float Length(const Vector& v) { return std::sqrt(Dot(v, v)); }

struct Mesh
{
	std::vector<Vector> points;
	std::vector<CPolygon> polys;
};

inline Mesh MeshOf(const PolygonObject* op)
{
	Mesh m;
	if (!op)
		return m;
	m.points.assign(op->GetPointR(), op->GetPointR() + op->GetPointCount());
	m.polys.assign(op->GetPolygonR(), op->GetPolygonR() + op->GetPolygonCount());
	return m;
}

// The host's face normal, (c - a) x (d - b); for a triangle (c == d) that is (b - a) x (c - a).
inline Vector Normal(const Mesh& m, const CPolygon& p)
{
	return Cross(m.points[p.c] - m.points[p.a], m.points[p.d] - m.points[p.b]);
}

inline Vector Centroid(const Mesh& m, const CPolygon& p)
{
	if (p.IsTriangle())
		return (m.points[p.a] + m.points[p.b] + m.points[p.c]) / 3.0;
	return (m.points[p.a] + m.points[p.b] + m.points[p.c] + m.points[p.d]) / 4.0;
}

// Directed edges of every polygon, counted.
inline std::map<std::pair<Int32, Int32>, int> DirectedEdges(const Mesh& m)
{
	std::map<std::pair<Int32, Int32>, int> edges;
	for (const CPolygon& p : m.polys)
	{
		const Int32 v[4] = { p.a, p.b, p.c, p.d };
		const int n = p.IsTriangle() ? 3 : 4;
		for (int i = 0; i < n; ++i)
			++edges[{ v[i], v[(i + 1) % n] }];
	}
	return edges;
}

// Closed and consistently wound: every edge is used once in each direction, by two polygons.
inline ::testing::AssertionResult IsClosedAndConsistent(const Mesh& m)
{
	auto edges = DirectedEdges(m);
	for (const auto& [e, count] : edges)
	{
		auto back = edges.find({ e.second, e.first });
		if (count != 1 || back == edges.end() || back->second != 1)
			return ::testing::AssertionFailure() << "edge " << e.first << "-" << e.second << " used " << count
												 << " times, reverse " << (back == edges.end() ? 0 : back->second);
	}
	return ::testing::AssertionSuccess();
}
} // namespace geometry_test
