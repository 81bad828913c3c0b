// Binary glTF export of an evaluated document (see vh/gltf.h for what is written).
#include "vh/gltf.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <initializer_list>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include <unistd.h>

#include "atomicfile.h"
#include "node.h"
#include "vecmath.h"

namespace vh
{
namespace
{
// Faces that meet at a smaller angle share their normals (the host's phong default).
const double kCosCrease = std::cos(80.0 * 3.14159265358979323846 / 180.0);
constexpr double kUnitScale = 0.01; // centimetres to metres
constexpr double kRoughness = 0.5;
constexpr double kXrayAlpha = 0.5;
constexpr Vector kDefaultMaterialColor(0.8, 0.8, 0.8);
constexpr int kArrayBuffer = 34962;
// A .glb file gives its length, and each chunk's, as 32-bit numbers.
constexpr size_t kMaxGlbBytes = 0xFFFFFFFFu;
constexpr int kElementArrayBuffer = 34963;

// Face normals are cross products, so they scale with the square of the model's size: only a
// vector that is as good as zero has no direction, however small the model is drawn.
constexpr double kMinNormal = 1e-30;

Bool FitsFloat(double v) { return std::isfinite(v) && std::fabs(v) <= double(std::numeric_limits<float>::max()); }

double Clamp01(double v) { return v > 0.0 ? std::min(v, 1.0) : 0.0; }

// The host's colours are sRGB values, as its colour fields show them; glTF colour factors are linear.
double SrgbToLinear(double c)
{
	c = Clamp01(c);
	return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// Triangles with one normal per corner; corners of a point that get the same normal share a vertex.
struct Geometry
{
	std::vector<float> positions; // xyz per vertex
	std::vector<float> normals;
	std::vector<uint32_t> indices; // three per triangle
};

// FNV-1a over the bytes of a polygon object's points and polygons.
uint64_t Fingerprint(const PolygonObject* poly)
{
	// FNV-style, eight bytes a step: a sphere's or a tube's arrays are thousands of bytes.
	uint64_t h = 1469598103934665603ull;
	auto mix = [&h](const void* data, size_t size) {
		const auto* b = static_cast<const unsigned char*>(data);
		size_t i = 0;
		for (; i + 8 <= size; i += 8)
		{
			uint64_t word;
			std::memcpy(&word, b + i, 8);
			h = (h ^ word) * 1099511628211ull;
			h ^= h >> 32;
		}
		for (; i < size; ++i)
			h = (h ^ b[i]) * 1099511628211ull;
	};
	const Int32 counts[2] = { poly->GetPointCount(), poly->GetPolygonCount() };
	mix(counts, sizeof counts);
	if (poly->GetPointR() && counts[0] > 0)
		mix(poly->GetPointR(), size_t(counts[0]) * sizeof(Vector));
	if (poly->GetPolygonR() && counts[1] > 0)
		mix(poly->GetPolygonR(), size_t(counts[1]) * sizeof(CPolygon));
	return h;
}

Bool SameInput(const PolygonObject* a, const PolygonObject* b)
{
	const Int32 points = a->GetPointCount(), polys = a->GetPolygonCount();
	if (points != b->GetPointCount() || polys != b->GetPolygonCount())
		return false;
	auto same = [](const void* x, const void* y, size_t size) { return size == 0 || (x && y && std::memcmp(x, y, size) == 0); };
	return same(a->GetPointR(), b->GetPointR(), size_t(std::max(points, 0)) * sizeof(Vector)) &&
		same(a->GetPolygonR(), b->GetPolygonR(), size_t(std::max(polys, 0)) * sizeof(CPolygon));
}

// Builds the triangles of a polygon object. Polygons with an index outside the points or a
// point that does not fit a float are left out; the result is empty when nothing is left.
class Triangulator
{
public:
	Triangulator(const Vector* points, Int32 pointCount, const CPolygon* polys, Int32 polyCount)
		: _points(points), _pointCount(pointCount), _np(size_t(std::max(pointCount, 0))), _polys(polys), _polyCount(polyCount)
	{
	}

	Geometry Run()
	{
		if (!_points || !_polys || _pointCount <= 0 || _polyCount <= 0)
			return std::move(_g);
		MarkUsablePoints();
		KeepValidPolygons();
		if (_kept.empty())
			return std::move(_g);
		FaceNormals();
		FacesAroundPoints();
		_head.assign(_np, -1);
		_g.indices.reserve(_kept.size() * 6);
		for (size_t f = 0; f < _kept.size(); ++f)
			AddFace(f);
		return std::move(_g);
	}

private:
	// Points that fit a float, and the centre of those.
	void MarkUsablePoints()
	{
		_usable.resize(_np);
		size_t usableCount = 0;
		for (size_t i = 0; i < _np; ++i)
		{
			const Vector& p = _points[i];
			_usable[i] = FitsFloat(p.x) && FitsFloat(p.y) && FitsFloat(p.z);
			if (_usable[i])
			{
				_centre += p;
				++usableCount;
			}
		}
		if (usableCount > 0)
			_centre = _centre / double(usableCount);
	}

	Bool Valid(Int32 i) const { return i >= 0 && i < _pointCount && _usable[size_t(i)]; }

	void KeepValidPolygons()
	{
		_kept.reserve(size_t(_polyCount));
		for (Int32 i = 0; i < _polyCount; ++i)
		{
			const CPolygon& p = _polys[i];
			if (Valid(p.a) && Valid(p.b) && Valid(p.c) && (p.IsTriangle() || Valid(p.d)))
				_kept.push_back(i);
		}
	}

	// Area-weighted face normals, (c - a) x (d - b) as the host orients polygons, and their directions.
	void FaceNormals()
	{
		_weighted.resize(_kept.size());
		_unit.resize(_kept.size());
		for (size_t f = 0; f < _kept.size(); ++f)
		{
			const CPolygon& p = _polys[_kept[f]];
			_weighted[f] = Cross(_points[p.c] - _points[p.a], _points[p.d] - _points[p.b]);
			_unit[f] = Normalized(_weighted[f], kMinNormal);
		}
	}

	static std::array<Int32, 4> Corners(const CPolygon& p) { return { p.a, p.b, p.c, p.IsTriangle() ? -1 : p.d }; }

	// Faces around each point, as offsets into one array: those of point i are
	// _around[_start[i]] up to _around[_start[i + 1]].
	void FacesAroundPoints()
	{
		_start.assign(_np + 1, 0);
		for (Int32 f : _kept)
			for (Int32 v : Corners(_polys[f]))
				if (v >= 0)
					++_start[size_t(v) + 1];
		for (size_t i = 0; i < _np; ++i)
			_start[i + 1] += _start[i];
		_around.resize(_start[_np]);
		std::vector<uint32_t> fill(_start.begin(), _start.end() - 1);
		for (size_t f = 0; f < _kept.size(); ++f)
			for (Int32 v : Corners(_polys[_kept[f]]))
				if (v >= 0)
					_around[fill[size_t(v)]++] = uint32_t(f);
	}

	// The normal of face f at one of its corners: the sum of the faces around the point that meet
	// f at less than the crease angle; failing that the direction from the centre, or +Y.
	Vector CornerNormal(size_t f, Int32 point) const
	{
		Vector sum;
		for (uint32_t k = _start[size_t(point)]; k < _start[size_t(point) + 1]; ++k)
		{
			const uint32_t o = _around[k];
			// A face without a direction takes every neighbour's.
			if (IsZero(_unit[f]) || Dot(_unit[f], _unit[o]) >= kCosCrease)
				sum += _weighted[o];
		}
		Vector n = Normalized(sum, kMinNormal);
		if (IsZero(n))
			n = Normalized(_points[point] - _centre, kMinNormal);
		return IsZero(n) ? Vector(0.0, 1.0, 0.0) : n;
	}

	// The vertex of a point with that normal, made when the point has none with it yet. The
	// vertices of a point are chained through _next, starting at _head.
	uint32_t Vertex(Int32 point, const Vector& n)
	{
		const float nx = float(n.x), ny = float(n.y), nz = float(n.z);
		for (int64_t v = _head[size_t(point)]; v >= 0; v = _next[size_t(v)])
		{
			const float* m = &_g.normals[size_t(v) * 3];
			if (m[0] == nx && m[1] == ny && m[2] == nz)
				return uint32_t(v);
		}
		const Vector& p = _points[point];
		const size_t v = _g.positions.size() / 3;
		_g.positions.insert(_g.positions.end(), { float(p.x), float(p.y), float(p.z) });
		_g.normals.insert(_g.normals.end(), { nx, ny, nz });
		_next.push_back(_head[size_t(point)]);
		_head[size_t(point)] = int64_t(v);
		return uint32_t(v);
	}

	uint32_t CornerVertex(size_t f, Int32 point) { return Vertex(point, CornerNormal(f, point)); }

	void AddFace(size_t f)
	{
		const CPolygon& p = _polys[_kept[f]];
		const uint32_t a = CornerVertex(f, p.a);
		const uint32_t b = CornerVertex(f, p.b);
		const uint32_t c = CornerVertex(f, p.c);
		if (p.IsTriangle())
		{
			_g.indices.insert(_g.indices.end(), { a, b, c });
			return;
		}
		const uint32_t d = CornerVertex(f, p.d);
		// A quad splits along a-c unless that diagonal runs outside it (b or d is the reflex
		// corner): then the two halves face opposite ways, and b-d is the split that stays inside.
		const Vector& pa = _points[p.a];
		const Vector& pb = _points[p.b];
		const Vector& pc = _points[p.c];
		const Vector& pd = _points[p.d];
		if (Dot(Cross(pb - pa, pc - pa), Cross(pc - pa, pd - pa)) < 0.0)
			_g.indices.insert(_g.indices.end(), { a, b, d, b, c, d });
		else
			_g.indices.insert(_g.indices.end(), { a, b, c, a, c, d });
	}

	const Vector* _points;
	const Int32 _pointCount;
	const size_t _np;
	const CPolygon* _polys;
	const Int32 _polyCount;
	Geometry _g;
	std::vector<Bool> _usable;
	Vector _centre;
	std::vector<Int32> _kept; // indices of the polygons that are used
	std::vector<Vector> _weighted, _unit; // per kept polygon
	std::vector<uint32_t> _start, _around;
	std::vector<int64_t> _head, _next;
};

Geometry Triangulate(const Vector* points, Int32 pointCount, const CPolygon* polys, Int32 polyCount)
{
	return Triangulator(points, pointCount, polys, polyCount).Run();
}

// "#RRGGBB" of an sRGB colour.
std::string HexColour(const Vector& colour)
{
	char hex[16];
	std::snprintf(hex, sizeof hex, "#%02X%02X%02X", unsigned(std::lround(Clamp01(colour.x) * 255.0)),
		unsigned(std::lround(Clamp01(colour.y) * 255.0)), unsigned(std::lround(Clamp01(colour.z) * 255.0)));
	return hex;
}

// Exact key of a glTF material, so that equal ones are written once.
using MaterialKey = std::tuple<std::string, double, double, double, double, Bool>;

// Bytes gathered before they go to the file: enough to make writes few, small beside the scene,
// whose JSON is most of a small file and would otherwise sit here whole until the end.
constexpr size_t kFlushAt = size_t(16) << 10;

// Where the file's bytes go, through a buffer: a descriptor, or a string. The first failed write
// is kept and later ones are dropped; Failed() and Error() tell.
class Output
{
public:
	Output(int fd, std::string* memory) : _fd(fd), _memory(memory) { _buffer.reserve(kFlushAt); }

	void Write(const void* data, size_t size)
	{
		if (_buffer.size() + size > kFlushAt)
			Flush();
		if (size >= kFlushAt)
			Emit(data, size);
		else
			_buffer.append(static_cast<const char*>(data), size);
	}
	void Write(std::string_view text) { Write(text.data(), text.size()); }
	void Put(char c)
	{
		if (_buffer.size() >= kFlushAt)
			Flush();
		_buffer.push_back(c);
	}
	void Flush()
	{
		Emit(_buffer.data(), _buffer.size());
		_buffer.clear();
	}
	// Rewrites bytes written before: the lengths a .glb gives at its start are known at its end.
	void Patch(uint64_t offset, const void* data, size_t size)
	{
		Flush();
		if (_failed)
			return;
		if (_memory)
		{
			std::memcpy(&(*_memory)[size_t(offset)], data, size);
			return;
		}
		ssize_t n;
		do
			n = ::pwrite(_fd, data, size, off_t(offset));
		while (n < 0 && errno == EINTR);
		if (n != ssize_t(size))
			Fail(n < 0 ? errno : EIO);
	}
	uint64_t Size() const { return _emitted + _buffer.size(); }
	Bool Failed() const { return _failed; }
	int Error() const { return _error; }

private:
	void Emit(const void* data, size_t size)
	{
		_emitted += size;
		if (_failed || size == 0)
			return;
		if (_memory)
			_memory->append(static_cast<const char*>(data), size);
		else if (!WriteAll(_fd, data, size))
			Fail(errno);
	}
	void Fail(int code)
	{
		_failed = true;
		_error = code != 0 ? code : EIO;
	}

	const int _fd;
	std::string* const _memory;
	std::string _buffer;
	uint64_t _emitted = 0;
	Bool _failed = false;
	int _error = 0;
};

// JSON text, written as it is made.
class Json
{
public:
	explicit Json(Output& out) : _out(out) {}

	Json& Raw(std::string_view text)
	{
		_out.Write(text);
		return *this;
	}
	Json& String(std::string_view s)
	{
		_out.Put('"');
		size_t plain = 0;
		for (size_t i = 0; i < s.size(); ++i)
		{
			const unsigned char c = static_cast<unsigned char>(s[i]);
			if (c >= 0x20 && c != '"' && c != '\\')
				continue;
			_out.Write(s.substr(plain, i - plain));
			char escaped[8];
			if (c == '"' || c == '\\')
				std::snprintf(escaped, sizeof escaped, "\\%c", c);
			else
				std::snprintf(escaped, sizeof escaped, "\\u%04X", unsigned(c));
			_out.Write(escaped);
			plain = i + 1;
		}
		_out.Write(s.substr(plain));
		_out.Put('"');
		return *this;
	}
	template <typename T>
	Json& Integer(T v)
	{
		char text[24];
		const auto end = std::to_chars(text, text + sizeof text, v).ptr;
		_out.Write(text, size_t(end - text));
		return *this;
	}
	// The shortest text that reads back as the same double.
	Json& Double(double v)
	{
		if (!std::isfinite(v))
			v = 0.0;
		char text[32];
		const auto end = std::to_chars(text, text + sizeof text, v).ptr;
		_out.Write(text, size_t(end - text));
		return *this;
	}
	// The shortest text that reads back as the same float, the precision viewers hold transforms
	// and vertices in; a value beyond the float range is written as a double.
	Json& Float(double v)
	{
		if (!FitsFloat(v))
			return Double(v);
		char text[32];
		const auto end = std::to_chars(text, text + sizeof text, float(v)).ptr;
		_out.Write(text, size_t(end - text));
		return *this;
	}
	Json& Floats(std::initializer_list<double> values)
	{
		_out.Put('[');
		Bool first = true;
		for (double v : values)
		{
			if (!first)
				_out.Put(',');
			first = false;
			Float(v);
		}
		_out.Put(']');
		return *this;
	}

private:
	Output& _out;
};

// Rotation (x, y, z, w) that turns the coordinate axes onto the right-handed orthonormal axes.
std::array<double, 4> Quaternion(const Vector& x, const Vector& y, const Vector& z)
{
	const double trace = x.x + y.y + z.z;
	std::array<double, 4> q;
	if (trace > 0.0)
	{
		const double s = 0.5 / std::sqrt(trace + 1.0);
		q = { (y.z - z.y) * s, (z.x - x.z) * s, (x.y - y.x) * s, 0.25 / s };
	}
	else if (x.x > y.y && x.x > z.z)
	{
		const double s = 2.0 * std::sqrt(1.0 + x.x - y.y - z.z);
		q = { 0.25 * s, (y.x + x.y) / s, (z.x + x.z) / s, (y.z - z.y) / s };
	}
	else if (y.y > z.z)
	{
		const double s = 2.0 * std::sqrt(1.0 + y.y - x.x - z.z);
		q = { (y.x + x.y) / s, 0.25 * s, (z.y + y.z) / s, (z.x - x.z) / s };
	}
	else
	{
		const double s = 2.0 * std::sqrt(1.0 + z.z - x.x - y.y);
		q = { (z.x + x.z) / s, (z.y + y.z) / s, 0.25 * s, (x.y - y.x) / s };
	}
	const double len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
	for (double& c : q)
		c /= len;
	return q;
}

// Where an object's geometry goes: translated, and for a straight tube turned onto its axis
// and stretched along it.
struct Placement
{
	Vector translation;
	Bool tube = false;
	Vector axisX, axisY, axisZ;
	double length = 1.0;

	Vector Point(const float* p) const
	{
		if (!tube)
			return translation + Vector(p[0], p[1], p[2]);
		return translation + axisX * double(p[0]) + axisY * double(p[1]) + axisZ * (length * double(p[2]));
	}
	// Normals follow the inverse transpose: the stretch divides the axial part.
	Vector Normal(const float* n) const
	{
		if (!tube)
			return Vector(n[0], n[1], n[2]);
		return Normalized(axisX * double(n[0]) + axisY * double(n[1]) + axisZ * (double(n[2]) / length), kMinNormal);
	}
};

struct MaterialRecord
{
	std::string name;
	double r, g, b, alpha;
	Bool xray;
};

struct ViewRecord
{
	uint64_t offset, length;
	int target;
};

struct AccessorRecord
{
	int view;
	int componentType;
	const char* type;
	uint64_t count;
	Bool bounds = false;
	std::array<float, 3> lo {}, hi {};
};

// One triangulated geometry: its accessors once written, its triangles, and in the merged form
// the geometry itself, placed anew for every object that shows it.
struct PrimitiveRecord
{
	std::array<int, 3> accessors { -1, -1, -1 }; // positions, normals, indices
	Int triangles = 0;
	Geometry geometry;
};

constexpr int kFloat = 5126;
constexpr int kUnsignedShort = 5123;
constexpr int kUnsignedInt = 5125;

// The .glb container: header, JSON chunk, binary chunk, all lengths 32-bit.
constexpr uint32_t kGlbMagic = 0x46546C67; // "glTF"
constexpr uint32_t kJsonChunk = 0x4E4F534A;
constexpr uint32_t kBinChunk = 0x004E4942;
constexpr size_t kGlbHeader = 12;
constexpr size_t kChunkHeader = 8;

class Writer
{
public:
	Writer(Output& out, const MaterialRoleName& roleName, const ExportOptions& options)
		: _out(out), _json(out), _roleName(roleName), _options(options)
	{
	}

	// Writes the whole file; false with the reason when it cannot be written.
	Bool Write(BaseDocument* doc, std::string& reason)
	{
		const uint32_t header[5] = { kGlbMagic, 2, 0, 0, kJsonChunk };
		_out.Write(header, sizeof header);
		_json.Raw("{\"asset\":{\"generator\":\"Vireltan headless host\",\"version\":\"2.0\"},\"scene\":0,"
				  "\"scenes\":[{\"name\":\"scene\",\"nodes\":[0]}],\"nodes\":[");
		return _options.merged ? WriteMerged(doc, reason) : WriteTree(doc, reason);
	}

	const ExportSummary& Summary() const { return _summary; }

private:
	// An object whose children wait for their nodes, with the material its texture tag or its
	// nearest ancestor's assigns and where it sits in the scene. Objects wait as their parents'
	// child lists, not one by one: a molecule's queue holds its bonds, not their splines too.
	struct Pending
	{
		BaseObject* parent; // nullptr for the document's objects
		BaseMaterial* material;
		Vector origin;
	};

	// What one object shows: its primitive (-1 for none) and material, and where: relative to its
	// parent in `local`, in the scene in `world`.
	struct Shown
	{
		int primitive = -1;
		int material = -1;
		Placement local, world;
	};

	// A generator shows its cache; children it does not take as input still show beside it.
	static std::array<BaseObject*, 2> ChildLists(BaseObject* op) { return { op->GetCache(), op->GetDown() }; }

	static uint64_t CountChildren(BaseObject* op)
	{
		uint64_t count = 0;
		for (BaseObject* start : ChildLists(op))
			for (BaseObject* c = start; c; c = c->GetNext())
				++count;
		return count;
	}

	// Visits the root (op nullptr) and then every object breadth first, with the index of its
	// first child and the number of its children: nodes are numbered in this order, so a node's
	// children are the next free indices, known when the node is written. A queue of waiting
	// objects rather than calls, so a deep hierarchy cannot exhaust the call stack.
	template <typename Visit>
	void Walk(BaseDocument* doc, Visit&& visit)
	{
		uint64_t roots = 0;
		for (BaseObject* c = doc->GetFirstObject(); c; c = c->GetNext())
			++roots;
		uint64_t next = 1;
		visit(nullptr, Shown(), next, roots);
		next += roots;
		std::deque<Pending> queue;
		if (roots > 0)
			queue.push_back({ nullptr, nullptr, Vector() });
		while (!queue.empty())
		{
			const Pending p = queue.front();
			queue.pop_front();
			const std::array<BaseObject*, 2> lists =
				p.parent ? ChildLists(p.parent) : std::array<BaseObject*, 2>{ doc->GetFirstObject(), nullptr };
			for (BaseObject* start : lists)
				for (BaseObject* op = start; op; op = op->GetNext())
				{
					BaseMaterial* own = TagMaterial(op);
					BaseMaterial* material = own ? own : p.material;
					const Shown shown = Show(op, material, p.origin);
					const uint64_t count = CountChildren(op);
					if (count > 0)
						queue.push_back({ op, material, p.origin + op->GetRelPos() });
					visit(op, shown, next, count);
					next += count;
				}
		}
	}

	static BaseMaterial* TagMaterial(BaseObject* op)
	{
		auto* tag = static_cast<TextureTag*>(op->GetTag(Ttexture));
		return tag ? tag->GetMaterial() : nullptr;
	}

	Shown Show(BaseObject* op, BaseMaterial* material, const Vector& origin)
	{
		Shown s;
		s.local.translation = op->GetRelPos();
		// Polygon objects hold their mesh; a sweep's is the tube the host evaluates.
		const Node* n = Access::Of(op);
		const Bool isSweep = op->GetType() == Osweep;
		if (n && n->cls == NodeClass::POLYGON)
		{
			s.primitive = PrimitiveFor(static_cast<PolygonObject*>(op));
		}
		else if (isSweep)
		{
			StraightTube tube;
			if (!op->GetCache() && GetStraightTube(op, tube))
			{
				s.primitive = TubePrimitive(tube);
				s.local.tube = true;
				s.local.translation += tube.origin;
				s.local.axisX = tube.axisX;
				s.local.axisY = tube.axisY;
				s.local.axisZ = tube.axisZ;
				s.local.length = tube.length;
			}
			else if (PolygonObject* poly = GetSweepGeometry(op))
			{
				s.primitive = PrimitiveFor(poly);
			}
		}
		s.world = s.local;
		s.world.translation += origin;
		if (s.primitive >= 0)
		{
			++(isSweep ? _summary.sweeps : _summary.polygonObjects);
			_summary.triangles += _primitives[size_t(s.primitive)].triangles;
			s.material = Material(op, material);
		}
		++_summary.objects;
		return s;
	}

	// ---- one node per object --------------------------------------------------------------------

	Bool WriteTree(BaseDocument* doc, std::string& reason)
	{
		Walk(doc, [this](BaseObject* op, const Shown& shown, uint64_t first, uint64_t count) {
			if (op)
				_out.Put(',');
			_out.Put('{');
			if (!op)
			{
				_json.Raw("\"name\":\"scene\",\"scale\":").Floats({ kUnitScale, kUnitScale, kUnitScale });
			}
			else
			{
				NodeFields(op, shown);
			}
			if (count > 0)
			{
				_json.Raw(",\"children\":[");
				for (uint64_t i = 0; i < count; ++i)
				{
					if (i > 0)
						_out.Put(',');
					_json.Integer(first + i);
				}
				_out.Put(']');
			}
			_out.Put('}');
		});
		_out.Put(']');
		WriteMeshes();
		WriteMaterials();
		WriteAccessors();
		return Finish(_bin.size(), reason, [this] { _out.Write(_bin.data(), _bin.size()); });
	}

	// The fields of an object's node, each preceded by a comma but the first.
	void NodeFields(BaseObject* op, const Shown& shown)
	{
		const std::string name = ToUtf8(op->GetName());
		Bool comma = false;
		auto field = [&](const char* key) {
			_json.Raw(comma ? ",\"" : "\"").Raw(key).Raw("\":");
			comma = true;
		};
		if (!name.empty())
		{
			field("name");
			_json.String(name);
		}
		if (shown.primitive >= 0)
		{
			field("mesh");
			_json.Integer(Mesh(shown.primitive, shown.material));
		}
		const Placement& p = shown.local;
		if (p.tube)
		{
			const std::array<double, 4> q = Quaternion(p.axisX, p.axisY, p.axisZ);
			field("rotation");
			_json.Floats({ q[0], q[1], q[2], q[3] });
			field("scale");
			_json.Floats({ 1.0, 1.0, p.length });
		}
		const Vector& t = p.translation;
		if (!IsZero(t) && (std::isfinite(t.x) || std::isfinite(t.y) || std::isfinite(t.z)))
		{
			field("translation");
			auto finite = [](double c) { return std::isfinite(c) ? c : 0.0; };
			_json.Floats({ finite(t.x), finite(t.y), finite(t.z) });
		}
	}

	// Mesh of a primitive with a material; equal pairs share one mesh.
	int Mesh(int primitive, int material)
	{
		const auto key = std::make_pair(primitive, material);
		const auto found = _meshIndex.find(key);
		if (found != _meshIndex.end())
			return found->second;
		_meshes.push_back(key);
		const int index = int(_meshes.size() - 1);
		_meshIndex.emplace(key, index);
		return index;
	}

	void WriteMeshes()
	{
		if (_meshes.empty())
			return;
		_json.Raw(",\"meshes\":[");
		for (size_t i = 0; i < _meshes.size(); ++i)
		{
			const auto& [primitive, material] = _meshes[i];
			const std::array<int, 3>& a = _primitives[size_t(primitive)].accessors;
			MeshJson(i > 0, nullptr, a, material);
		}
		_out.Put(']');
	}

	void MeshJson(Bool comma, const std::string* name, const std::array<int, 3>& a, int material)
	{
		_json.Raw(comma ? ",{" : "{");
		if (name)
			_json.Raw("\"name\":").String(*name).Raw(",");
		_json.Raw("\"primitives\":[{\"attributes\":{\"NORMAL\":").Integer(a[1]).Raw(",\"POSITION\":").Integer(a[0]);
		_json.Raw("},\"indices\":").Integer(a[2]);
		if (material >= 0)
			_json.Raw(",\"material\":").Integer(material);
		_json.Raw(",\"mode\":4}]}");
	}

	void WriteMaterials()
	{
		if (_materials.empty())
			return;
		_json.Raw(",\"materials\":[");
		for (size_t i = 0; i < _materials.size(); ++i)
		{
			const MaterialRecord& m = _materials[i];
			_json.Raw(i > 0 ? ",{" : "{");
			if (m.xray)
				_json.Raw("\"alphaMode\":\"BLEND\",\"doubleSided\":true,");
			_json.Raw("\"name\":").String(m.name).Raw(",\"pbrMetallicRoughness\":{\"baseColorFactor\":[");
			_json.Double(m.r).Raw(",").Double(m.g).Raw(",").Double(m.b).Raw(",").Double(m.alpha);
			_json.Raw("],\"metallicFactor\":0,\"roughnessFactor\":").Double(kRoughness).Raw("}}");
		}
		_out.Put(']');
	}

	void WriteAccessors()
	{
		if (_accessors.empty())
			return;
		_json.Raw(",\"accessors\":[");
		for (size_t i = 0; i < _accessors.size(); ++i)
		{
			const AccessorRecord& a = _accessors[i];
			_json.Raw(i > 0 ? ",{" : "{").Raw("\"bufferView\":").Integer(a.view).Raw(",\"componentType\":");
			_json.Integer(a.componentType).Raw(",\"count\":").Integer(a.count);
			// Bounds exactly as the floats they bound, widened to double.
			if (a.bounds)
			{
				_json.Raw(",\"max\":[").Double(a.hi[0]).Raw(",").Double(a.hi[1]).Raw(",").Double(a.hi[2]);
				_json.Raw("],\"min\":[").Double(a.lo[0]).Raw(",").Double(a.lo[1]).Raw(",").Double(a.lo[2]).Raw("]");
			}
			_json.Raw(",\"type\":\"").Raw(a.type).Raw("\"}");
		}
		_json.Raw("],\"bufferViews\":[");
		for (size_t i = 0; i < _views.size(); ++i)
		{
			const ViewRecord& v = _views[i];
			_json.Raw(i > 0 ? ",{" : "{").Raw("\"buffer\":0,\"byteLength\":").Integer(v.length);
			if (v.offset > 0)
				_json.Raw(",\"byteOffset\":").Integer(v.offset);
			_json.Raw(",\"target\":").Integer(v.target).Raw("}");
		}
		_out.Put(']');
	}

	// Ends the JSON chunk, checks the size, writes the binary chunk with `writeBin` and puts the
	// lengths into the header.
	template <typename WriteBin>
	Bool Finish(uint64_t binBytes, std::string& reason, WriteBin&& writeBin)
	{
		if (binBytes > 0)
			_json.Raw(",\"buffers\":[{\"byteLength\":").Integer(binBytes).Raw("}]");
		_out.Put('}');
		while (_out.Size() % 4 != 0)
			_out.Put(' ');
		const uint64_t jsonBytes = _out.Size() - kGlbHeader - kChunkHeader;
		const uint64_t total = _out.Size() + (binBytes > 0 ? kChunkHeader + binBytes : 0);
		if (total > kMaxGlbBytes)
		{
			reason = "the scene needs more than the 4 GiB a .glb file can hold";
			return false;
		}
		if (binBytes > 0)
		{
			const uint32_t chunk[2] = { uint32_t(binBytes), kBinChunk };
			_out.Write(chunk, sizeof chunk);
			writeBin();
		}
		const uint32_t lengths[2] = { uint32_t(total), uint32_t(jsonBytes) };
		_out.Patch(8, lengths, sizeof lengths);
		_summary.bytes = Int64(total);
		return true;
	}

	// ---- one mesh per material --------------------------------------------------------------------

	struct Item
	{
		int primitive;
		Placement placement;
	};

	struct Group
	{
		int material;
		std::vector<Item> items;
		uint64_t vertices = 0, indices = 0;
		std::array<float, 3> lo { std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(),
			std::numeric_limits<float>::infinity() };
		std::array<float, 3> hi { -std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
			-std::numeric_limits<float>::infinity() };
		Bool Wide() const { return vertices >= 0xFFFF; }
	};

	Bool WriteMerged(BaseDocument* doc, std::string& reason)
	{
		std::vector<Group> groups = GroupsByMaterial(doc);
		if (!MeasureGroups(groups, reason))
			return false;
		const std::string unassigned = "no material";
		MergedNodesJson(groups, unassigned);
		const uint64_t bytes = MergedAccessors(groups);
		MergedMeshesJson(groups, unassigned);
		WriteMaterials();
		WriteAccessors();
		return Finish(bytes, reason, [&] {
			for (const Group& g : groups)
				WriteGroup(g);
		});
	}

	// What the tree shows, one group per material in the order met.
	std::vector<Group> GroupsByMaterial(BaseDocument* doc)
	{
		std::vector<Group> groups;
		std::map<int, size_t> byMaterial;
		Walk(doc, [&](BaseObject* op, const Shown& shown, uint64_t, uint64_t) {
			if (!op || shown.primitive < 0)
				return;
			const auto [at, made] = byMaterial.emplace(shown.material, groups.size());
			if (made)
				groups.push_back({ shown.material, {} });
			groups[at->second].items.push_back({ shown.primitive, shown.world });
		});
		return groups;
	}

	// The figures the JSON gives before the data: counts and exact bounds of the placed points;
	// false when a group holds more vertices than a file can.
	Bool MeasureGroups(std::vector<Group>& groups, std::string& reason) const
	{
		for (Group& g : groups)
		{
			for (const Item& item : g.items)
			{
				const Geometry& geo = _primitives[size_t(item.primitive)].geometry;
				g.vertices += geo.positions.size() / 3;
				g.indices += geo.indices.size();
				for (size_t v = 0; v < geo.positions.size(); v += 3)
				{
					const Vector p = item.placement.Point(&geo.positions[v]);
					const float c[3] = { float(p.x), float(p.y), float(p.z) };
					for (size_t k = 0; k < 3; ++k)
					{
						g.lo[k] = std::min(g.lo[k], c[k]);
						g.hi[k] = std::max(g.hi[k], c[k]);
					}
				}
			}
			if (g.vertices > 0xFFFFFFFFull)
			{
				reason = "the scene needs more than the 4 GiB a .glb file can hold";
				return false;
			}
		}
		return true;
	}

	// The scene's node and one node a group, named after its material.
	void MergedNodesJson(const std::vector<Group>& groups, const std::string& unassigned)
	{
		_json.Raw("{\"name\":\"scene\",\"scale\":").Floats({ kUnitScale, kUnitScale, kUnitScale });
		if (!groups.empty())
		{
			_json.Raw(",\"children\":[");
			for (size_t i = 0; i < groups.size(); ++i)
				_json.Raw(i > 0 ? "," : "").Integer(i + 1);
			_out.Put(']');
		}
		_out.Put('}');
		for (size_t i = 0; i < groups.size(); ++i)
		{
			const int m = groups[i].material;
			_json.Raw(",{\"mesh\":").Integer(i).Raw(",\"name\":").String(m >= 0 ? _materials[size_t(m)].name : unassigned).Raw("}");
		}
		_out.Put(']');
	}

	// Three accessors a group, over its positions, normals and indices in the binary chunk in that
	// order; the bytes they take.
	uint64_t MergedAccessors(const std::vector<Group>& groups)
	{
		uint64_t offset = 0;
		for (const Group& g : groups)
		{
			const uint64_t vertexBytes = g.vertices * 12;
			const uint64_t indexBytes = (g.indices * (g.Wide() ? 4 : 2) + 3) / 4 * 4;
			AccessorRecord position { View(offset, vertexBytes, kArrayBuffer), kFloat, "VEC3", g.vertices };
			position.bounds = true;
			position.lo = g.lo;
			position.hi = g.hi;
			_accessors.push_back(position);
			_accessors.push_back({ View(offset + vertexBytes, vertexBytes, kArrayBuffer), kFloat, "VEC3", g.vertices });
			_accessors.push_back({ View(offset + 2 * vertexBytes, g.indices * (g.Wide() ? 4 : 2), kElementArrayBuffer),
				g.Wide() ? kUnsignedInt : kUnsignedShort, "SCALAR", g.indices });
			offset += 2 * vertexBytes + indexBytes;
		}
		return offset;
	}

	void MergedMeshesJson(const std::vector<Group>& groups, const std::string& unassigned)
	{
		if (groups.empty())
			return;
		_json.Raw(",\"meshes\":[");
		for (size_t i = 0; i < groups.size(); ++i)
		{
			const int a = int(3 * i);
			const int m = groups[i].material;
			MeshJson(i > 0, m >= 0 ? &_materials[size_t(m)].name : &unassigned, { a, a + 1, a + 2 }, m);
		}
		_out.Put(']');
	}

	// A group's positions, normals and indices, placed, as they come.
	void WriteGroup(const Group& g)
	{
		std::vector<float> floats;
		for (const Bool normals : { false, true })
		{
			for (const Item& item : g.items)
			{
				const Geometry& geo = _primitives[size_t(item.primitive)].geometry;
				const std::vector<float>& from = normals ? geo.normals : geo.positions;
				floats.resize(from.size());
				for (size_t v = 0; v < from.size(); v += 3)
				{
					const Vector p = normals ? item.placement.Normal(&from[v]) : item.placement.Point(&from[v]);
					floats[v] = float(p.x);
					floats[v + 1] = float(p.y);
					floats[v + 2] = float(p.z);
				}
				_out.Write(floats.data(), floats.size() * sizeof(float));
			}
		}
		uint64_t base = 0;
		std::vector<uint32_t> wide;
		std::vector<uint16_t> narrow;
		for (const Item& item : g.items)
		{
			const Geometry& geo = _primitives[size_t(item.primitive)].geometry;
			if (g.Wide())
			{
				wide.resize(geo.indices.size());
				for (size_t i = 0; i < wide.size(); ++i)
					wide[i] = uint32_t(base + geo.indices[i]);
				_out.Write(wide.data(), wide.size() * sizeof(uint32_t));
			}
			else
			{
				narrow.resize(geo.indices.size());
				for (size_t i = 0; i < narrow.size(); ++i)
					narrow[i] = uint16_t(base + geo.indices[i]);
				_out.Write(narrow.data(), narrow.size() * sizeof(uint16_t));
			}
			base += geo.positions.size() / 3;
		}
		if (!g.Wide() && g.indices % 2 != 0)
			_out.Write("\0\0", 2);
	}

	// ---- geometry and materials -------------------------------------------------------------------

	// glTF material of an object, -1 for none: the texture tag's material (its own or inherited),
	// else its display colour record, named after the object's role when one is given.
	int Material(BaseObject* op, BaseMaterial* mat)
	{
		ObjectColorProperties props;
		const Bool hasRecord = HasColorProperties(op);
		if (hasRecord)
			op->GetColorProperties(&props);
		const Bool xray = hasRecord && props.xray;

		const Bool hasColour = hasRecord && props.usecolor != ID_BASEOBJECT_USECOLOR_OFF;
		if (!mat && !hasColour && !xray)
			return -1;
		std::string name;
		Vector colour = kDefaultMaterialColor;
		if (mat)
		{
			name = ToUtf8(mat->GetName());
			colour = mat->GetDataInstanceRef().GetVector(MATERIAL_COLOR_COLOR, kDefaultMaterialColor);
		}
		else
		{
			if (hasColour)
				colour = props.color;
			name = RoleName(op);
			if (name.empty())
				name = hasColour ? "display " + HexColour(colour) : "display";
		}
		if (xray && !mat)
			name += " x-ray";

		const double alpha = xray ? kXrayAlpha : 1.0;
		MaterialKey key { name, SrgbToLinear(colour.x), SrgbToLinear(colour.y), SrgbToLinear(colour.z), alpha, xray };
		auto found = _materialIndex.find(key);
		if (found != _materialIndex.end())
			return found->second;
		_materials.push_back({ name, std::get<1>(key), std::get<2>(key), std::get<3>(key), alpha, xray });
		const int index = int(_materials.size() - 1);
		_materialIndex.emplace(std::move(key), index);
		return index;
	}

	// Primitive of a polygon object, -1 when it has no usable polygon. Objects with the same
	// points and polygons (equal spheres, for one) share one, triangulated once.
	int PrimitiveFor(const PolygonObject* poly)
	{
		// Objects that share their arrays (the host shares equal spheres' storage) are the same
		// input without looking at the contents. Every object seen stays alive for the whole
		// export, so an address seen cannot come back holding other geometry.
		const StorageKey storage { poly->GetPointR(), poly->GetPolygonR(), poly->GetPointCount(), poly->GetPolygonCount() };
		const auto known = _byStorage.find(storage);
		if (known != _byStorage.end())
			return known->second;
		std::vector<std::pair<const PolygonObject*, int>>& bucket = _sources[Fingerprint(poly)];
		for (const auto& [seen, primitive] : bucket)
			if (SameInput(seen, poly))
			{
				_byStorage.emplace(storage, primitive);
				return primitive;
			}
		const int primitive =
			AddPrimitive(Triangulate(poly->GetPointR(), poly->GetPointCount(), poly->GetPolygonR(), poly->GetPolygonCount()));
		bucket.emplace_back(poly, primitive);
		_byStorage.emplace(storage, primitive);
		return primitive;
	}

	// The unit tube of a straight tube's profile and caps, triangulated once for all of them.
	int TubePrimitive(const StraightTube& tube)
	{
		std::string key(1, char(tube.profileClosed | tube.capStart << 1 | tube.capEnd << 2));
		key.append(reinterpret_cast<const char*>(tube.profile.data()), tube.profile.size() * sizeof(Vector));
		const auto known = _tubes.find(key);
		if (known != _tubes.end())
			return known->second;
		std::vector<Vector> points;
		std::vector<CPolygon> polys;
		int primitive = -1;
		if (BuildUnitTube(tube, points, polys) && points.size() <= size_t(std::numeric_limits<Int32>::max()) &&
			polys.size() <= size_t(std::numeric_limits<Int32>::max()))
			primitive = AddPrimitive(Triangulate(points.data(), Int32(points.size()), polys.data(), Int32(polys.size())));
		_tubes.emplace(std::move(key), primitive);
		return primitive;
	}

	// Records a triangulated geometry: in the tree its data goes to the binary chunk now, in the
	// merged form it is kept to be placed for each object. -1 when it has no triangle.
	int AddPrimitive(Geometry&& g)
	{
		if (g.indices.empty())
			return -1;
		PrimitiveRecord record;
		record.triangles = Int(g.indices.size() / 3);
		if (_options.merged)
			record.geometry = std::move(g);
		else
			record.accessors = Accessors(g);
		_primitives.push_back(std::move(record));
		return int(_primitives.size() - 1);
	}

	// Writes positions, normals and indices into the binary chunk; returns their accessors.
	std::array<int, 3> Accessors(const Geometry& g)
	{
		const uint64_t vertices = g.positions.size() / 3;
		AccessorRecord position { Append(g.positions.data(), g.positions.size() * sizeof(float), kArrayBuffer), kFloat,
			"VEC3", vertices };
		position.bounds = true;
		position.lo.fill(std::numeric_limits<float>::infinity());
		position.hi.fill(-std::numeric_limits<float>::infinity());
		for (size_t i = 0; i < g.positions.size(); ++i)
		{
			position.lo[i % 3] = std::min(position.lo[i % 3], g.positions[i]);
			position.hi[i % 3] = std::max(position.hi[i % 3], g.positions[i]);
		}
		_accessors.push_back(position);
		_accessors.push_back(
			{ Append(g.normals.data(), g.normals.size() * sizeof(float), kArrayBuffer), kFloat, "VEC3", vertices });

		// 16-bit indices while they fit below the primitive-restart value 0xFFFF.
		if (vertices < 0xFFFF)
		{
			const std::vector<uint16_t> small(g.indices.begin(), g.indices.end());
			_accessors.push_back({ Append(small.data(), small.size() * sizeof(uint16_t), kElementArrayBuffer),
				kUnsignedShort, "SCALAR", small.size() });
		}
		else
		{
			_accessors.push_back({ Append(g.indices.data(), g.indices.size() * sizeof(uint32_t), kElementArrayBuffer),
				kUnsignedInt, "SCALAR", g.indices.size() });
		}
		const int last = int(_accessors.size() - 1);
		return { last - 2, last - 1, last };
	}

	// Appends to the binary chunk as a view of its own, 4-byte aligned.
	int Append(const void* data, size_t size, int target)
	{
		const int view = View(_bin.size(), size, target);
		_bin.append(static_cast<const char*>(data), size);
		_bin.resize((_bin.size() + 3) / 4 * 4, '\0');
		return view;
	}

	int View(uint64_t offset, uint64_t size, int target)
	{
		_views.push_back({ offset, size, target });
		return int(_views.size() - 1);
	}

	std::string RoleName(BaseObject* op) const { return _roleName ? _roleName(op) : std::string(); }

	Output& _out;
	Json _json;
	const MaterialRoleName& _roleName;
	const ExportOptions _options;
	ExportSummary _summary;

	std::string _bin; // the binary chunk of the tree form, written last
	std::vector<MaterialRecord> _materials;
	std::map<MaterialKey, int> _materialIndex;
	std::vector<PrimitiveRecord> _primitives;
	std::vector<AccessorRecord> _accessors;
	std::vector<ViewRecord> _views;
	std::vector<std::pair<int, int>> _meshes; // primitive, material
	std::map<std::pair<int, int>, int> _meshIndex;
	// Objects seen, by the fingerprint of their points and polygons, with their primitive (-1: none).
	std::unordered_map<uint64_t, std::vector<std::pair<const PolygonObject*, int>>> _sources;
	// The same by the addresses and sizes of the arrays, for objects that share them.
	using StorageKey = std::tuple<const Vector*, const CPolygon*, Int32, Int32>;
	std::map<StorageKey, int> _byStorage;
	// Unit tubes by their flags and profile.
	std::unordered_map<std::string, int> _tubes;
};

// Writes the file through a temporary beside it; false with the reason.
Bool WriteFile(BaseDocument* doc, const std::string& target, const MaterialRoleName& roleName,
	const ExportOptions& options, ExportSummary* summary, std::string& reason)
{
	TemporaryFile temp(target);
	if (temp.Descriptor() < 0)
	{
		reason = "cannot write " + target + ": " + std::strerror(errno);
		return false;
	}
	Output out(temp.Descriptor(), nullptr);
	Writer writer(out, roleName, options);
	if (!writer.Write(doc, reason))
	{
		reason = "cannot write " + target + ": " + reason;
		return false;
	}
	out.Flush();
	if (out.Failed())
	{
		reason = "cannot write " + target + ": " + std::strerror(out.Error());
		return false;
	}
	if (!temp.Commit())
	{
		reason = "cannot write " + target + ": " + std::strerror(errno);
		return false;
	}
	if (summary)
		*summary = writer.Summary();
	return true;
}

void SetError(std::string* error, const std::string& reason)
{
	if (!error)
		return;
	try
	{
		*error = reason;
	}
	catch (const std::exception&)
	{
		error->clear();
	}
}

// Runs an export; what it throws ends it as a failure whose reason is prefix and what went wrong.
template <typename Export>
Bool Guarded(const char* prefix, std::string& reason, Export&& run)
{
	try
	{
		return run();
	}
	catch (const std::bad_alloc&)
	{
		reason = std::string(prefix) + "out of memory";
	}
	catch (const std::exception& e)
	{
		reason = std::string(prefix) + e.what();
	}
	catch (...)
	{
		reason = std::string(prefix) + "unknown failure";
	}
	return false;
}
} // namespace

Bool ExportGltfBytes(BaseDocument* doc, std::string& bytes, ExportSummary* summary, std::string* error,
	const MaterialRoleName& roleName, const ExportOptions& options)
{
	std::string reason = "no document to export";
	const Bool ok = Guarded("", reason, [&]() {
		if (!doc)
			return false;
		std::string made;
		Output out(-1, &made);
		Writer writer(out, roleName, options);
		if (!writer.Write(doc, reason))
			return false;
		bytes = std::move(made);
		if (summary)
			*summary = writer.Summary();
		return true;
	});
	if (!ok)
		SetError(error, "cannot export: " + reason);
	return ok;
}

Bool ExportGltf(BaseDocument* doc, const Filename& file, ExportSummary* summary, std::string* error,
	const MaterialRoleName& roleName, const ExportOptions& options)
{
	const auto began = std::chrono::steady_clock::now();
	std::string reason;
	const Bool ok = Guarded("cannot export: ", reason, [&]() {
		const std::string target = ToUtf8(file.GetString());
		if (!doc)
			reason = "no document to export";
		else if (target.empty())
			reason = "no output file given";
		else
			return WriteFile(doc, target, roleName, options, summary, reason);
		return false;
	});
	if (ok && summary)
		summary->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
	if (!ok)
		SetError(error, reason);
	return ok;
}
} // namespace vh
