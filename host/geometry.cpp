// Geometry the host builds itself: the sphere primitive, evaluated splines and a sweep's tube.
//
// Winding: every polygon's normal (c - a) x (d - b) (for a triangle, c == d, this is
// (b - a) x (c - a)) points out of the solid.
#include <algorithm>
#include <cmath>
#include <exception>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "node.h"
#include "vecmath.h"

namespace vh
{
namespace
{
constexpr Float kPi = 3.14159265358979323846;

// Sphere segment count range: 3 is the fewest that encloses a volume, 1000 keeps a sphere
// below half a million points.
constexpr Int32 kMinSphereSegments = 3;
constexpr Int32 kMaxSphereSegments = 1000;
constexpr Int32 kDefaultSphereSegments = 24;
constexpr Float kDefaultSphereRadius = 100.0;

constexpr Int32 kMaxSplineSub = 1000;
constexpr Int32 kDefaultSplineSub = 8;

constexpr Int32 kCapStart = 2999;
constexpr Int32 kCapEnd = 3000;

// Path directions come from segments in scene units and from sums of unit tangents; anything
// shorter is cancellation noise, and a frame turned towards it would spin the tube.
constexpr Float kMinDirection = 1e-12;
// Straight tubes at least this long (scene units) are placed from the unit tube.
constexpr Float kMinTubeLength = 1e-6;

Node* SplineNode(BaseObject* op)
{
	Node* n = Access::Of(op);
	return (n && n->cls == NodeClass::SPLINE) ? n : nullptr;
}

Vector Bezier(const Vector& p0, const Vector& c0, const Vector& c1, const Vector& p1, Float t)
{
	Float u = 1.0 - t;
	return p0 * (u * u * u) + c0 * (3.0 * u * u * t) + c1 * (3.0 * u * t * t) + p1 * (t * t * t);
}

// Throws std::bad_alloc / std::length_error; callers at the boundary catch.
std::vector<Vector> Evaluate(const Node& n)
{
	std::vector<Vector> out;
	const std::vector<Vector>& p = n.points;
	const size_t cnt = p.size();
	if (cnt == 0)
		return out;
	const Int32 type = n.data.GetInt32(SPLINEOBJECT_TYPE, Int32(n.splineType));
	const Bool closed = n.data.GetBool(SPLINEOBJECT_CLOSED);
	const Int32 interpolation = n.data.GetInt32(SPLINEOBJECT_INTERPOLATION, SPLINEOBJECT_INTERPOLATION_UNIFORM);
	// Cubic, Akima and B-splines are drawn through their points as linear ones.
	if (type != SPLINEOBJECT_TYPE_BEZIER || interpolation == SPLINEOBJECT_INTERPOLATION_NONE || cnt == 1)
		return p;

	const Int32 sub = std::clamp(n.data.GetInt32(SPLINEOBJECT_SUB, kDefaultSplineSub), 0, kMaxSplineSub);
	const size_t segments = closed ? cnt : cnt - 1;
	const size_t total = segments * size_t(sub + 1) + (closed ? 0 : 1);
	if (total > size_t(std::numeric_limits<Int32>::max()))
		return {};
	// Missing tangents read as zero handles: straight segments.
	const Bool hasTangents = n.tangents.size() == cnt;
	out.reserve(total);
	for (size_t s = 0; s < segments; ++s)
	{
		const size_t e = (s + 1) % cnt;
		const Vector c0 = hasTangents ? p[s] + n.tangents[s].vr : p[s];
		const Vector c1 = hasTangents ? p[e] + n.tangents[e].vl : p[e];
		out.push_back(p[s]);
		for (Int32 k = 1; k <= sub; ++k)
			out.push_back(Bezier(p[s], c0, c1, p[e], Float(k) / Float(sub + 1)));
	}
	if (!closed)
		out.push_back(p[cnt - 1]);
	return out;
}

// Consecutive equal points give zero-length edges; a closed curve also drops a repeated start.
void DropRepeats(std::vector<Vector>& pts, Bool closed)
{
	pts.erase(std::unique(pts.begin(), pts.end()), pts.end());
	if (closed && pts.size() > 1 && pts.front() == pts.back())
		pts.pop_back();
}

struct Hash
{
	UInt64 h = 14695981039346656037ULL;
	void Bytes(const void* data, size_t size)
	{
		const unsigned char* b = static_cast<const unsigned char*>(data);
		for (size_t i = 0; i < size; ++i)
		{
			h ^= b[i];
			h *= 1099511628211ULL;
		}
	}
	void Add(Int64 v) { Bytes(&v, sizeof v); }
	void Add(const std::vector<Vector>& pts)
	{
		Add(Int64(pts.size()));
		for (const Vector& v : pts)
		{
			const Float c[3] = { v.x, v.y, v.z };
			Bytes(c, sizeof c);
		}
	}
};

// Orthonormal frame with z along the path.
struct Frame
{
	Vector x, y, z;
};

// A first frame for tangent t: x perpendicular to a reference up vector (+Y, or -Z when t is
// close to Y), so a path along +Z maps profile X/Y onto world X/Y.
Vector InitialX(const Vector& t)
{
	const Vector up = std::fabs(t.y) > 0.99 ? Vector(0.0, 0.0, -1.0) : Vector(0.0, 1.0, 0.0);
	return Normalized(Cross(up, t), kMinDirection);
}

// Rotates v by the rotation that takes unit vector a onto unit vector b (Rodrigues' formula).
Vector RotateBetween(const Vector& v, const Vector& a, const Vector& b)
{
	const Float c = Dot(a, b);
	if (c <= -1.0 + 1e-12)
		return v;
	const Vector w = Cross(a, b);
	return v * c + Cross(w, v) + w * (Dot(w, v) / (1.0 + c));
}

Vector RotateAbout(const Frame& f, Float angle)
{
	return f.x * std::cos(angle) + f.y * std::sin(angle);
}

// Tangent directions of the path's points: the segment direction at open ends, the bisector of
// the two segments inside.
std::vector<Vector> PathTangents(const std::vector<Vector>& path, Bool closed)
{
	const size_t m = path.size();
	std::vector<Vector> t(m);
	for (size_t i = 0; i < m; ++i)
	{
		const Bool hasPrev = closed || i > 0;
		const Bool hasNext = closed || i + 1 < m;
		const Vector in = hasPrev ? Normalized(path[i] - path[(i + m - 1) % m], kMinDirection) : Vector();
		const Vector out = hasNext ? Normalized(path[(i + 1) % m] - path[i], kMinDirection) : Vector();
		Vector d = Normalized(in + out, kMinDirection);
		if (IsZero(d))
			d = IsZero(in) ? out : in;
		t[i] = IsZero(d) ? Vector(0.0, 0.0, 1.0) : d;
	}
	return t;
}

// Rotation-minimising frames along the path; a closed path spreads the remaining twist over
// its rings so the last ring meets the first without a seam.
std::vector<Frame> PathFrames(const std::vector<Vector>& tangents, Bool closed)
{
	const size_t m = tangents.size();
	std::vector<Frame> f(m);
	for (size_t i = 0; i < m; ++i)
	{
		const Vector& z = tangents[i];
		Vector x = i == 0 ? InitialX(z) : RotateBetween(f[i - 1].x, tangents[i - 1], z);
		x = Normalized(x - z * Dot(x, z), kMinDirection);
		if (IsZero(x))
			x = InitialX(z);
		f[i] = Frame { x, Cross(z, x), z };
	}
	if (closed && m > 1)
	{
		Vector wrap = Normalized(RotateBetween(f[m - 1].x, tangents[m - 1], tangents[0]), kMinDirection);
		const Float twist = std::atan2(Dot(Cross(f[0].x, wrap), f[0].z), Dot(f[0].x, wrap));
		for (size_t i = 1; i < m; ++i)
		{
			Vector x = RotateAbout(f[i], -twist * Float(i) / Float(m));
			f[i].x = x;
			f[i].y = Cross(f[i].z, x);
		}
	}
	return f;
}

// Twice the signed area of the profile's outline in XY; negative for a clockwise profile.
Float SignedArea2(const std::vector<Vector>& pts)
{
	Float a = 0.0;
	for (size_t i = 0; i < pts.size(); ++i)
	{
		const Vector& p = pts[i];
		const Vector& q = pts[(i + 1) % pts.size()];
		a += p.x * q.y - q.x * p.y;
	}
	return a;
}

CPolygon Quad(Int32 a, Int32 b, Int32 c, Int32 d) { return CPolygon { a, b, c, d }; }
CPolygon Triangle(Int32 a, Int32 b, Int32 c) { return CPolygon { a, b, c, c }; }

struct SweepInput
{
	std::vector<Vector> profile;
	std::vector<Vector> path;
	Bool profileClosed = false;
	Bool pathClosed = false;
	Bool capStart = false;
	Bool capEnd = false;
};

// How the tube is laid out: n profile points around each of m rings along the path, the bands
// between them, the capped ends, and the counts that follow.
struct TubeLayout
{
	Int64 n = 0;
	Int64 m = 0;
	Int64 bandsAround = 0;
	Int64 bandsAlong = 0;
	Bool pathClosed = false;
	Bool capStart = false;
	Bool capEnd = false;
	Int64 pointCount = 0;
	Int64 polyCount = 0;
};

// The layout for the inputs; path is the sweep's path, made two coincident points when it has one.
TubeLayout Layout(const SweepInput& in, std::vector<Vector>& path)
{
	TubeLayout t;
	t.pathClosed = in.pathClosed;
	// A closed outline of two points has no inside: it sweeps as an open ribbon.
	const Bool ringClosed = in.profileClosed && in.profile.size() >= 3;
	if (path.size() == 1)
	{
		// Zero-length path: two coincident rings; PathTangents falls back to +Z.
		path.push_back(path.front());
		t.pathClosed = false;
	}
	if (t.pathClosed && path.size() < 3)
		t.pathClosed = false;

	t.n = Int64(in.profile.size());
	t.m = Int64(path.size());
	t.bandsAround = ringClosed ? t.n : t.n - 1;
	t.bandsAlong = t.pathClosed ? t.m : t.m - 1;
	t.capStart = in.capStart && ringClosed && !t.pathClosed;
	t.capEnd = in.capEnd && ringClosed && !t.pathClosed;
	t.pointCount = t.n * t.m + (t.capStart ? 1 : 0) + (t.capEnd ? 1 : 0);
	t.polyCount = t.bandsAround * t.bandsAlong + (t.capStart ? t.n : 0) + (t.capEnd ? t.n : 0);
	return t;
}

// Index of point i of a ring.
Int32 RingPoint(const TubeLayout& t, Int64 ring, Int64 i)
{
	return Int32(ring * t.n + i);
}

// The profile placed in each path point's frame, ring after ring.
void AddRings(const std::vector<Vector>& profile, const std::vector<Vector>& path, const std::vector<Frame>& frames,
	std::vector<Vector>& points)
{
	for (size_t k = 0; k < path.size(); ++k)
	{
		const Frame& f = frames[k];
		for (const Vector& q : profile)
			points.push_back(path[k] + f.x * q.x + f.y * q.y + f.z * q.z);
	}
}

void AddBands(const TubeLayout& t, std::vector<CPolygon>& polys)
{
	for (Int64 k = 0; k < t.bandsAlong; ++k)
	{
		const Int64 k1 = (k + 1) % t.m;
		for (Int64 i = 0; i < t.bandsAround; ++i)
		{
			const Int64 i1 = (i + 1) % t.n;
			polys.push_back(Quad(RingPoint(t, k, i), RingPoint(t, k, i1), RingPoint(t, k1, i1), RingPoint(t, k1, i)));
		}
	}
}

// A fan of triangles around a point at the profile's centre, at the first and the last ring.
void AddCaps(const TubeLayout& t, const std::vector<Vector>& profile, const std::vector<Vector>& path,
	const std::vector<Frame>& frames, std::vector<Vector>& points, std::vector<CPolygon>& polys)
{
	Vector centre;
	for (const Vector& q : profile)
		centre += q;
	centre = centre / Float(t.n);
	const Int64 n = t.n;
	if (t.capStart)
	{
		const Frame& f = frames.front();
		const Int32 c = Int32(points.size());
		points.push_back(path.front() + f.x * centre.x + f.y * centre.y + f.z * centre.z);
		for (Int64 i = 0; i < n; ++i)
			polys.push_back(Triangle(c, RingPoint(t, 0, (i + 1) % n), RingPoint(t, 0, i)));
	}
	if (t.capEnd)
	{
		const Frame& f = frames.back();
		const Int32 c = Int32(points.size());
		points.push_back(path.back() + f.x * centre.x + f.y * centre.y + f.z * centre.z);
		for (Int64 i = 0; i < n; ++i)
			polys.push_back(Triangle(c, RingPoint(t, t.m - 1, i), RingPoint(t, t.m - 1, (i + 1) % n)));
	}
}

// Turns every polygon over.
void Mirror(std::vector<CPolygon>& polys)
{
	for (CPolygon& p : polys)
	{
		if (p.IsTriangle())
		{
			std::swap(p.b, p.c);
			p.d = p.c;
		}
		else
		{
			std::swap(p.b, p.d);
		}
	}
}

// Fills points and polygons of the tube; false when the counts do not fit the host's Int32.
Bool BuildSweep(const SweepInput& in, std::vector<Vector>& points, std::vector<CPolygon>& polys)
{
	std::vector<Vector> path = in.path;
	const TubeLayout t = Layout(in, path);
	if (t.pointCount > std::numeric_limits<Int32>::max() || t.polyCount > std::numeric_limits<Int32>::max())
		return false;

	const std::vector<Vector> tangents = PathTangents(path, t.pathClosed);
	const std::vector<Frame> frames = PathFrames(tangents, t.pathClosed);

	points.clear();
	points.reserve(size_t(t.pointCount));
	AddRings(in.profile, path, frames, points);
	polys.clear();
	polys.reserve(size_t(t.polyCount));
	AddBands(t, polys);
	AddCaps(t, in.profile, path, frames, points, polys);

	// The winding above faces outward for a counter-clockwise profile; mirror it otherwise.
	if (SignedArea2(in.profile) < 0.0)
		Mirror(polys);
	return true;
}

// Reads the sweep's inputs; false when it is not a sweep with two splines and a usable profile.
Bool ReadSweep(Node* sweep, SweepInput& in)
{
	if (!sweep || sweep->type != Osweep)
		return false;
	Node* profile = sweep->firstChild;
	Node* path = profile ? profile->next : nullptr;
	if (!profile || !path || profile->cls != NodeClass::SPLINE || path->cls != NodeClass::SPLINE)
		return false;
	in.profileClosed = profile->data.GetBool(SPLINEOBJECT_CLOSED);
	in.pathClosed = path->data.GetBool(SPLINEOBJECT_CLOSED);
	in.profile = Evaluate(*profile);
	in.path = Evaluate(*path);
	DropRepeats(in.profile, in.profileClosed);
	DropRepeats(in.path, in.pathClosed);
	if (in.profile.size() < 2 || in.path.empty())
		return false;
	// A new sweep in the host is capped at both ends.
	in.capStart = sweep->data.GetInt32(kCapStart, 1) != 0;
	in.capEnd = sweep->data.GetInt32(kCapEnd, 1) != 0;
	return true;
}

// Writes through GetPointW/GetTangentW bump no dirty count, so the stamp hashes what the tube
// is made from rather than the children's dirty counts.
UInt64 Stamp(const SweepInput& in)
{
	Hash h;
	h.Add(in.profile);
	h.Add(in.path);
	h.Add(Int64(in.profileClosed) | Int64(in.pathClosed) << 1 | Int64(in.capStart) << 2 | Int64(in.capEnd) << 3);
	return h.h == 0 ? 1 : h.h;
}

void DropDerived(Node* n)
{
	if (n && n->Derived())
	{
		BaseObject* d = n->rare->derived;
		n->rare->derived = nullptr;
		n->rare->derivedStamp = 0;
		Access::Destroy(d);
	}
}

// Standard UV sphere: `segments` points around each ring and max(2, segments / 2) bands from the
// +Y pole to the -Y pole; one point per pole.
void BuildSphere(Float radius, Int32 segments, std::vector<Vector>& points, std::vector<CPolygon>& polys)
{
	const Int32 bands = std::max<Int32>(2, segments / 2);
	const Int32 rings = bands - 1;
	points.reserve(size_t(2 + segments * rings));
	polys.reserve(size_t(segments * bands));

	points.push_back(Vector(0.0, radius, 0.0));
	for (Int32 j = 1; j <= rings; ++j)
	{
		const Float theta = kPi * Float(j) / Float(bands);
		const Float s = std::sin(theta);
		const Float c = std::cos(theta);
		for (Int32 i = 0; i < segments; ++i)
		{
			const Float phi = 2.0 * kPi * Float(i) / Float(segments);
			points.push_back(Vector(s * std::cos(phi), c, s * std::sin(phi)) * radius);
		}
	}
	points.push_back(Vector(0.0, -radius, 0.0));

	const Int32 south = Int32(points.size()) - 1;
	auto at = [segments](Int32 ring, Int32 i) { return 1 + (ring - 1) * segments + i % segments; };
	for (Int32 i = 0; i < segments; ++i)
		polys.push_back(Triangle(0, at(1, i + 1), at(1, i)));
	for (Int32 j = 1; j < rings; ++j)
		for (Int32 i = 0; i < segments; ++i)
			polys.push_back(Quad(at(j, i), at(j, i + 1), at(j + 1, i + 1), at(j + 1, i)));
	for (Int32 i = 0; i < segments; ++i)
		polys.push_back(Triangle(at(rings, i), at(rings, i + 1), south));
}
// Spheres of one radius and segment count share their points and polygons: a molecule's atoms
// of one element are built once, and memory does not grow with the atom count. The table holds
// no sphere alive; an entry whose sphere is gone is built anew.
void ShareSphere(Float radius, Int32 segments, Node& n)
{
	struct Shared
	{
		std::weak_ptr<SharedArray<Vector>::Store> points;
		std::weak_ptr<SharedArray<CPolygon>::Store> polygons;
	};
	static std::mutex lock;
	static std::map<std::pair<UInt64, Int32>, Shared> table;
	constexpr size_t kPruneAbove = 256;

	UInt64 bits = 0;
	std::memcpy(&bits, &radius, sizeof bits);
	const std::pair<UInt64, Int32> key(bits, segments);
	std::lock_guard<std::mutex> hold(lock);
	Shared& entry = table[key];
	std::shared_ptr<SharedArray<Vector>::Store> points = entry.points.lock();
	std::shared_ptr<SharedArray<CPolygon>::Store> polygons = entry.polygons.lock();
	// A sphere whose arrays were handed out for writing holds them alone: they may have changed.
	if (!points || !polygons || points->exposed || polygons->exposed)
	{
		points = std::make_shared<SharedArray<Vector>::Store>();
		polygons = std::make_shared<SharedArray<CPolygon>::Store>();
		BuildSphere(radius, segments, points->items, polygons->items);
		entry.points = points;
		entry.polygons = polygons;
		if (table.size() > kPruneAbove)
		{
			for (auto it = table.begin(); it != table.end();)
				it = it->second.points.expired() ? table.erase(it) : std::next(it);
		}
	}
	n.points.Share(points);
	n.polygons.Share(polygons);
}
} // namespace

std::vector<Vector> EvaluateSpline(SplineObject* spline)
{
	Node* n = SplineNode(spline);
	if (!n)
		return {};
	try
	{
		return Evaluate(*n);
	}
	catch (const std::exception&)
	{
		return {};
	}
}

Bool GetStraightTube(BaseObject* sweep, StraightTube& tube)
{
	SweepInput in;
	Node* n = Access::Of(sweep);
	if (!ReadSweep(n, in) || in.path.size() != 2 || in.pathClosed)
		return false;
	// Whatever else hangs below the sweep would sit in the tube's frame.
	const Node* profile = n->firstChild;
	const Node* path = profile->next;
	if (path->next || profile->firstChild || path->firstChild)
		return false;
	for (const Vector& q : in.profile)
		if (q.z != 0.0)
			return false;
	const Vector axis = in.path[1] - in.path[0];
	const Float length = Length(axis);
	// Shorter tubes keep geometry of their own: scaled from the unit tube their flat sides would
	// round differently, and a scale near zero cannot be undone for their normals.
	if (!std::isfinite(length) || length < kMinTubeLength || length > Float(std::numeric_limits<float>::max()))
		return false;
	const std::vector<Frame> frames = PathFrames(PathTangents(in.path, false), false);
	tube.profile = std::move(in.profile);
	tube.profileClosed = in.profileClosed;
	tube.capStart = in.capStart;
	tube.capEnd = in.capEnd;
	tube.origin = in.path[0];
	tube.axisX = frames[0].x;
	tube.axisY = frames[0].y;
	tube.axisZ = frames[0].z;
	tube.length = length;
	return true;
}

Bool BuildUnitTube(const StraightTube& tube, std::vector<Vector>& points, std::vector<CPolygon>& polys)
{
	SweepInput in;
	in.profile = tube.profile;
	in.profileClosed = tube.profileClosed;
	in.capStart = tube.capStart;
	in.capEnd = tube.capEnd;
	in.path = { Vector(0.0, 0.0, 0.0), Vector(0.0, 0.0, 1.0) };
	return BuildSweep(in, points, polys);
}

PolygonObject* GetSweepGeometry(BaseObject* sweep)
{
	Node* n = Access::Of(sweep);
	if (!n)
		return nullptr;
	PolygonObject* made = nullptr;
	try
	{
		SweepInput in;
		if (!ReadSweep(n, in))
		{
			DropDerived(n);
			return nullptr;
		}
		const UInt64 stamp = Stamp(in);
		if (n->Derived() && n->rare->derivedStamp == stamp)
			return static_cast<PolygonObject*>(n->rare->derived);

		made = static_cast<PolygonObject*>(Access::Create(NodeClass::POLYGON, Opolygon));
		Node* d = Access::Of(made);
		std::vector<Vector> points;
		std::vector<CPolygon> polys;
		if (!d || !BuildSweep(in, points, polys))
		{
			Access::Destroy(made);
			DropDerived(n);
			return nullptr;
		}
		d->points = std::move(points);
		d->polygons = std::move(polys);
		d->name = DefaultName(Opolygon);
		DropDerived(n);
		if (!n->MakeRare())
			throw std::bad_alloc();
		n->rare->derived = made;
		n->rare->derivedStamp = stamp;
		return made;
	}
	catch (const std::exception&)
	{
		Access::Destroy(made);
		DropDerived(n);
		return nullptr;
	}
}
} // namespace vh

BaseObject* GeneratePrimitive(BaseDocument*, Int32 type, const BaseContainer& bc, Float, Bool, BaseThread*)
{
	if (type != Osphere)
		return nullptr;
	if (!vh::ConsumeAllocation(vh::AllocKind::PRIMITIVE))
		return nullptr;

	Float radius = bc.GetFloat(PRIM_SPHERE_RAD, vh::kDefaultSphereRadius);
	// Negative, NaN and infinite radii make an empty sphere at the origin.
	if (!(radius > 0.0) || !std::isfinite(radius))
		radius = 0.0;
	const Int32 segments = std::clamp(bc.GetInt32(PRIM_SPHERE_SUB, vh::kDefaultSphereSegments),
		vh::kMinSphereSegments, vh::kMaxSphereSegments);

	C4DAtom* atom = vh::Access::Create(vh::NodeClass::POLYGON, Opolygon);
	vh::Node* n = vh::Access::Of(atom);
	if (!n)
		return nullptr;
	try
	{
		vh::ShareSphere(radius, segments, *n);
		n->name = vh::DefaultName(Osphere);
	}
	catch (const std::exception&)
	{
		vh::Access::Destroy(atom);
		return nullptr;
	}
	n->primitiveType = Osphere;
	n->primitiveRadius = radius;
	n->primitiveSegments = segments;
	return static_cast<BaseObject*>(atom);
}
