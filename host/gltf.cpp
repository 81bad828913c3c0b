// Binary glTF export of an evaluated document (see vh/gltf.h for what is written).
#include "vh/gltf.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>


// tinygltf's own dependencies come first, outside the hidden-visibility block below: a library
// function first declared inside it (assert's handler, for one) would be taken as hidden.
#include <cassert>
#include <nlohmann/json.hpp>

#include "atomicfile.h"
#include "node.h"
#include "vecmath.h"

// The implementation is compiled here and kept out of the library's exported symbols, so that
// programs linking the host may compile their own copy for reading files back.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC visibility push(hidden)
#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>
#pragma GCC visibility pop
#pragma GCC diagnostic pop

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

std::vector<double> Translation(const Vector& v)
{
	if (IsZero(v))
		return {};
	auto finite = [](double c) { return std::isfinite(c) ? c : 0.0; };
	return { finite(v.x), finite(v.y), finite(v.z) };
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

class Writer
{
public:
	explicit Writer(const MaterialRoleName& roleName) : _roleName(roleName)
	{
		_model.asset.version = "2.0";
		_model.asset.generator = "Vireltan headless host";
	}

	void Document(BaseDocument* doc)
	{
		tinygltf::Node root;
		root.name = "scene";
		root.scale = { kUnitScale, kUnitScale, kUnitScale };
		_model.nodes.push_back(std::move(root));

		// Depth first with an explicit stack: a deep hierarchy must not exhaust the call stack.
		// Each entry carries the material its nearest ancestor's texture tag assigns.
		struct Pending
		{
			BaseObject* op;
			int parent;
			BaseMaterial* inherited;
		};
		std::vector<Pending> stack;
		std::vector<BaseObject*> level;
		auto pushChildren = [&](std::initializer_list<BaseObject*> firsts, int parent, BaseMaterial* inherited) {
			level.clear();
			for (BaseObject* first : firsts)
				for (BaseObject* c = first; c; c = c->GetNext())
					level.push_back(c);
			for (auto it = level.rbegin(); it != level.rend(); ++it)
				stack.push_back({ *it, parent, inherited });
		};
		pushChildren({ doc->GetFirstObject() }, 0, nullptr);
		while (!stack.empty())
		{
			const Pending next = stack.back();
			stack.pop_back();
			BaseMaterial* own = TagMaterial(next.op);
			BaseMaterial* material = own ? own : next.inherited;
			const int index = Object(next.op, material);
			_model.nodes[size_t(next.parent)].children.push_back(index);
			// A generator shows its cache; children it does not take as input still show beside it.
			pushChildren({ next.op->GetCache(), next.op->GetDown() }, index, material);
		}

		tinygltf::Scene scene;
		scene.name = "scene";
		scene.nodes.push_back(0);
		_model.scenes.push_back(std::move(scene));
		_model.defaultScene = 0;
		if (!_bin.empty())
		{
			tinygltf::Buffer buffer;
			buffer.data = std::move(_bin);
			_model.buffers.push_back(std::move(buffer));
		}
	}

	std::string Serialize()
	{
		std::ostringstream out(std::ios::binary);
		tinygltf::TinyGLTF gltf;
		if (!gltf.WriteGltfSceneToStream(&_model, out, false, true) || !out)
			return {};
		return out.str();
	}

	const ExportSummary& Summary() const { return _summary; }

private:
	static BaseMaterial* TagMaterial(BaseObject* op)
	{
		auto* tag = static_cast<TextureTag*>(op->GetTag(Ttexture));
		return tag ? tag->GetMaterial() : nullptr;
	}

	// Appends the node of one object; returns its index.
	int Object(BaseObject* op, BaseMaterial* material)
	{
		tinygltf::Node node;
		node.name = ToUtf8(op->GetName());
		node.translation = Translation(op->GetRelPos());

		// Polygon objects hold their mesh; a sweep's is the tube the host evaluates.
		const Node* n = Access::Of(op);
		const Bool isSweep = op->GetType() == Osweep;
		PolygonObject* poly = nullptr;
		if (n && n->cls == NodeClass::POLYGON)
			poly = static_cast<PolygonObject*>(op);
		else if (isSweep)
			poly = GetSweepGeometry(op);
		const int primitive = poly ? PrimitiveFor(poly) : -1;
		if (primitive >= 0)
		{
			++(isSweep ? _summary.sweeps : _summary.polygonObjects);
			_summary.triangles += _primitives[size_t(primitive)].triangles;
			node.mesh = Mesh(primitive, Material(op, material));
		}

		_model.nodes.push_back(std::move(node));
		++_summary.objects;
		return int(_model.nodes.size() - 1);
	}

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
		auto found = _materials.find(key);
		if (found != _materials.end())
			return found->second;

		tinygltf::Material m;
		m.name = name;
		m.pbrMetallicRoughness.baseColorFactor = { std::get<1>(key), std::get<2>(key), std::get<3>(key), alpha };
		m.pbrMetallicRoughness.metallicFactor = 0.0;
		m.pbrMetallicRoughness.roughnessFactor = kRoughness;
		if (xray)
		{
			m.alphaMode = "BLEND";
			m.doubleSided = true;
		}
		_model.materials.push_back(std::move(m));
		const int index = int(_model.materials.size() - 1);
		_materials.emplace(std::move(key), index);
		return index;
	}

	// Accessors of one triangulated geometry.
	struct Primitive
	{
		std::array<int, 3> accessors; // positions, normals, indices
		Int triangles;
	};

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
		const Geometry g = Triangulate(poly->GetPointR(), poly->GetPointCount(), poly->GetPolygonR(), poly->GetPolygonCount());
		int primitive = -1;
		if (!g.indices.empty())
		{
			primitive = int(_primitives.size());
			_primitives.push_back({ Accessors(g), Int(g.indices.size() / 3) });
		}
		bucket.emplace_back(poly, primitive);
		_byStorage.emplace(storage, primitive);
		return primitive;
	}

	// Mesh of a primitive with a material; equal pairs share one mesh.
	int Mesh(int primitiveIndex, int material)
	{
		const Primitive& primitive = _primitives[size_t(primitiveIndex)];
		auto meshKey = std::make_pair(primitiveIndex, material);
		auto mesh = _meshes.find(meshKey);
		if (mesh != _meshes.end())
			return mesh->second;

		tinygltf::Primitive p;
		p.mode = TINYGLTF_MODE_TRIANGLES;
		p.attributes["POSITION"] = primitive.accessors[0];
		p.attributes["NORMAL"] = primitive.accessors[1];
		p.indices = primitive.accessors[2];
		p.material = material;
		tinygltf::Mesh m;
		m.primitives.push_back(std::move(p));
		_model.meshes.push_back(std::move(m));
		const int index = int(_model.meshes.size() - 1);
		_meshes.emplace(meshKey, index);
		return index;
	}

	// Writes positions, normals and indices into the binary buffer; returns their accessors.
	std::array<int, 3> Accessors(const Geometry& g)
	{
		const size_t vertices = g.positions.size() / 3;
		const int position = Accessor(View(g.positions.data(), g.positions.size() * sizeof(float), kArrayBuffer),
			TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, vertices);
		std::vector<double> lo(3, std::numeric_limits<double>::infinity()), hi(3, -std::numeric_limits<double>::infinity());
		for (size_t i = 0; i < g.positions.size(); ++i)
		{
			lo[i % 3] = std::min(lo[i % 3], double(g.positions[i]));
			hi[i % 3] = std::max(hi[i % 3], double(g.positions[i]));
		}
		_model.accessors[size_t(position)].minValues = lo;
		_model.accessors[size_t(position)].maxValues = hi;

		const int normal = Accessor(View(g.normals.data(), g.normals.size() * sizeof(float), kArrayBuffer),
			TINYGLTF_COMPONENT_TYPE_FLOAT, TINYGLTF_TYPE_VEC3, vertices);

		// 16-bit indices while they fit below the primitive-restart value 0xFFFF.
		int indices;
		if (vertices < 0xFFFF)
		{
			std::vector<uint16_t> small(g.indices.begin(), g.indices.end());
			indices = Accessor(View(small.data(), small.size() * sizeof(uint16_t), kElementArrayBuffer),
				TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT, TINYGLTF_TYPE_SCALAR, small.size());
		}
		else
		{
			indices = Accessor(View(g.indices.data(), g.indices.size() * sizeof(uint32_t), kElementArrayBuffer),
				TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT, TINYGLTF_TYPE_SCALAR, g.indices.size());
		}
		return { position, normal, indices };
	}

	int View(const void* data, size_t size, int target)
	{
		tinygltf::BufferView view;
		view.buffer = 0;
		view.byteOffset = _bin.size();
		view.byteLength = size;
		view.target = target;
		const auto* bytes = static_cast<const unsigned char*>(data);
		_bin.insert(_bin.end(), bytes, bytes + size);
		_bin.resize((_bin.size() + 3) / 4 * 4, 0); // every view starts 4-byte aligned
		_model.bufferViews.push_back(std::move(view));
		return int(_model.bufferViews.size() - 1);
	}

	int Accessor(int view, int componentType, int type, size_t count)
	{
		tinygltf::Accessor a;
		a.bufferView = view;
		a.byteOffset = 0;
		a.componentType = componentType;
		a.type = type;
		a.count = count;
		_model.accessors.push_back(std::move(a));
		return int(_model.accessors.size() - 1);
	}

	tinygltf::Model _model;
	std::vector<unsigned char> _bin;
	std::string RoleName(BaseObject* op) const { return _roleName ? _roleName(op) : std::string(); }

	const MaterialRoleName& _roleName;
	std::map<MaterialKey, int> _materials;
	// Objects seen, by the fingerprint of their points and polygons, with their primitive (-1: none).
	std::unordered_map<uint64_t, std::vector<std::pair<const PolygonObject*, int>>> _sources;
	// The same by the addresses and sizes of the arrays, for objects that share them.
	using StorageKey = std::tuple<const Vector*, const CPolygon*, Int32, Int32>;
	std::map<StorageKey, int> _byStorage;
	std::vector<Primitive> _primitives;
	std::map<std::pair<int, int>, int> _meshes;
	ExportSummary _summary;
};

// The .glb bytes of the document; false with the reason. Throws only what allocation throws.
Bool Serialize(BaseDocument* doc, const MaterialRoleName& roleName, std::string& bytes, ExportSummary& summary,
	std::string& reason)
{
	Writer writer(roleName);
	writer.Document(doc);
	bytes = writer.Serialize();
	if (bytes.empty())
		reason = "the glTF data could not be serialised";
	else if (bytes.size() > kMaxGlbBytes)
		reason = "the scene needs more than the 4 GiB a .glb file can hold";
	else
	{
		summary = writer.Summary();
		summary.bytes = Int64(bytes.size());
		return true;
	}
	return false;
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
} // namespace

Bool ExportGltfBytes(BaseDocument* doc, std::string& bytes, ExportSummary* summary, std::string* error,
	const MaterialRoleName& roleName)
{
	std::string reason = "no document to export";
	Bool ok = false;
	try
	{
		ExportSummary made;
		ok = doc && Serialize(doc, roleName, bytes, made, reason);
		if (ok && summary)
			*summary = made;
	}
	catch (const std::bad_alloc&)
	{
		reason = "out of memory";
	}
	catch (const std::exception& e)
	{
		reason = e.what();
	}
	catch (...)
	{
		reason = "unknown failure";
	}
	if (!ok)
		SetError(error, "cannot export: " + reason);
	return ok;
}

Bool ExportGltf(BaseDocument* doc, const Filename& file, ExportSummary* summary, std::string* error,
	const MaterialRoleName& roleName)
{
	const auto began = std::chrono::steady_clock::now();
	std::string reason;
	Bool ok = false;
	try
	{
		const std::string target = ToUtf8(file.GetString());
		std::string bytes;
		ExportSummary made;
		if (!doc)
			reason = "no document to export";
		else if (target.empty())
			reason = "no output file given";
		else if (!Serialize(doc, roleName, bytes, made, reason))
			reason = "cannot write " + target + ": " + reason;
		else if (WriteFileAtomically(target, bytes.data(), bytes.size(), reason))
		{
			ok = true;
			if (summary)
				*summary = made;
		}
	}
	catch (const std::bad_alloc&)
	{
		reason = "cannot export: out of memory";
	}
	catch (const std::exception& e)
	{
		reason = std::string("cannot export: ") + e.what();
	}
	catch (...)
	{
		reason = "cannot export: unknown failure";
	}
	if (ok && summary)
		summary->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
	if (!ok)
		SetError(error, reason);
	return ok;
}
} // namespace vh
