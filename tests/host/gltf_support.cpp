// The glTF tests' scenes and file reader; the one place the tests compile tinygltf's code.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#define TINYGLTF_IMPLEMENTATION
#include "gltf_support.h"

namespace gltf_test
{
namespace
{
class StageData : public ObjectData
{
	INSTANCEOF(StageData, ObjectData)

public:
	static NodeData* Alloc() { return NewObjClear(StageData); }
	BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) override
	{
		if (!op->CheckCache(hh) && !op->IsDirty(DIRTYFLAGS::DATA))
			return op->GetCache(hh);
		return Builder() ? Builder()() : nullptr;
	}
};
} // namespace

std::function<BaseObject*()>& Builder()
{
	static std::function<BaseObject*()> builder;
	return builder;
}

Doc::Doc() : doc(BaseDocument::Alloc()) {}
Doc::~Doc() { BaseDocument::Free(doc); }

BaseObject* Named(BaseObject* op, const char* name, const Vector& pos)
{
	op->SetName(String(name));
	op->SetRelPos(pos);
	return op;
}

PolygonObject* Sphere(Float radius, Int32 segments)
{
	BaseContainer bc;
	bc.SetFloat(PRIM_SPHERE_RAD, radius);
	bc.SetInt32(PRIM_SPHERE_SUB, segments);
	return static_cast<PolygonObject*>(GeneratePrimitive(nullptr, Osphere, bc, 1.0, false));
}

BaseObject* Bond(const Vector& from, const Vector& to, Float r, Int32 caps)
{
	BaseObject* sweep = BaseObject::Alloc(Osweep);
	sweep->SetName("Bond"_s);
	sweep->SetParameter(DescID(2999), GeData(caps), DESCFLAGS_SET::NONE);
	sweep->SetParameter(DescID(3000), GeData(caps), DESCFLAGS_SET::NONE);

	SplineObject* profile = SplineObject::Alloc(4, SPLINETYPE::BEZIER);
	const Float k = 0.415 * r;
	const Vector pts[4] = { { r, 0, 0 }, { 0, r, 0 }, { -r, 0, 0 }, { 0, -r, 0 } };
	const Vector right[4] = { { 0, k, 0 }, { -k, 0, 0 }, { 0, -k, 0 }, { k, 0, 0 } };
	for (int i = 0; i < 4; ++i)
	{
		profile->GetPointW()[i] = pts[i];
		profile->GetTangentW()[i] = Tangent { -right[i], right[i] };
	}
	BaseContainer* bc = profile->GetDataInstance();
	bc->SetInt32(SPLINEOBJECT_TYPE, SPLINEOBJECT_TYPE_BEZIER);
	bc->SetBool(SPLINEOBJECT_CLOSED, true);
	bc->SetInt32(SPLINEOBJECT_INTERPOLATION, SPLINEOBJECT_INTERPOLATION_UNIFORM);
	bc->SetInt32(SPLINEOBJECT_SUB, 2);
	profile->SetName("Profile"_s);
	profile->InsertUnder(sweep);

	SplineObject* path = SplineObject::Alloc(2, SPLINETYPE::LINEAR);
	path->GetPointW()[0] = from;
	path->GetPointW()[1] = to;
	path->SetName("Path"_s);
	path->InsertUnderLast(sweep);
	return sweep;
}

void SetColour(BaseObject* op, const Vector& colour, Bool xray, Int32 usecolor)
{
	ObjectColorProperties props;
	props.usecolor = usecolor;
	props.color = colour;
	props.xray = xray;
	op->SetColorProperties(&props);
}

BaseMaterial* AddMaterial(BaseDocument* doc, const char* name, const Vector& colour)
{
	BaseMaterial* mat = BaseMaterial::Alloc(Mmaterial);
	mat->SetName(String(name));
	mat->GetDataInstance()->SetVector(MATERIAL_COLOR_COLOR, colour);
	doc->InsertMaterial(mat);
	return mat;
}

void Assign(BaseObject* op, BaseMaterial* mat)
{
	TextureTag* tag = TextureTag::Alloc();
	tag->SetMaterial(mat);
	op->InsertTag(tag);
}

BaseObject* AddGenerator(BaseDocument* doc, const char* name, const Vector& pos, std::function<BaseObject*()> build)
{
	if (!vh::FindObjectPlugin(ID_STAGE))
		vh::RegisterObjectPluginHost(ID_STAGE, "Stage"_s, OBJECT_GENERATOR, StageData::Alloc, String(), nullptr, 0, nullptr);
	Builder() = std::move(build);
	BaseObject* op = vh::AllocPluginObject(ID_STAGE);
	if (!op)
		return nullptr;
	Named(op, name, pos);
	doc->InsertObject(op, nullptr, nullptr);
	vh::EvaluateDocument(doc);
	Builder() = nullptr;
	return op;
}

::testing::AssertionResult ExportTest::ExportAndLoad(BaseDocument* doc, tinygltf::Model& model, vh::ExportSummary* summary,
	const vh::ExportOptions& options)
{
	const std::string file = Path("out.glb");
	std::string error;
	vh::ExportSummary local;
	if (!vh::ExportGltf(doc, Filename(vh::FromUtf8(file)), summary ? summary : &local, &error, nullptr, options))
		return ::testing::AssertionFailure() << "export failed: " << error;
	tinygltf::TinyGLTF loader;
	std::string err, warn;
	if (!loader.LoadBinaryFromFile(&model, &err, &warn, file))
		return ::testing::AssertionFailure() << "cannot read back: " << err << warn;
	return ::testing::AssertionSuccess();
}

const tinygltf::Node* FindNode(const tinygltf::Model& m, const std::string& name)
{
	for (const tinygltf::Node& n : m.nodes)
		if (n.name == name)
			return &n;
	return nullptr;
}

const tinygltf::Primitive* PrimitiveOf(const tinygltf::Model& m, const std::string& name)
{
	const tinygltf::Node* n = FindNode(m, name);
	if (!n || n->mesh < 0 || m.meshes.at(size_t(n->mesh)).primitives.empty())
		return nullptr;
	return &m.meshes[size_t(n->mesh)].primitives[0];
}

std::vector<std::string> ChildNames(const tinygltf::Model& m, const tinygltf::Node& n)
{
	std::vector<std::string> names;
	for (int c : n.children)
		names.push_back(m.nodes.at(size_t(c)).name);
	return names;
}

namespace
{
const unsigned char* AccessorData(const tinygltf::Model& m, const tinygltf::Accessor& a, size_t elementSize)
{
	const tinygltf::BufferView& v = m.bufferViews.at(size_t(a.bufferView));
	const tinygltf::Buffer& b = m.buffers.at(size_t(v.buffer));
	const size_t begin = v.byteOffset + a.byteOffset;
	if (v.byteStride != 0 && v.byteStride != elementSize)
		ADD_FAILURE() << "strided accessors are not read by the tests";
	if (begin + a.count * elementSize > b.data.size() || a.count * elementSize > v.byteLength)
	{
		ADD_FAILURE() << "accessor runs past its buffer";
		return nullptr;
	}
	return b.data.data() + begin;
}
} // namespace

std::vector<float> Floats(const tinygltf::Model& m, int accessor)
{
	const tinygltf::Accessor& a = m.accessors.at(size_t(accessor));
	EXPECT_EQ(a.componentType, TINYGLTF_COMPONENT_TYPE_FLOAT);
	const size_t width = size_t(tinygltf::GetNumComponentsInType(uint32_t(a.type)));
	const unsigned char* p = AccessorData(m, a, width * sizeof(float));
	std::vector<float> out(p ? a.count * width : 0);
	if (p)
		std::memcpy(out.data(), p, out.size() * sizeof(float));
	return out;
}

std::vector<uint32_t> Indices(const tinygltf::Model& m, int accessor)
{
	const tinygltf::Accessor& a = m.accessors.at(size_t(accessor));
	std::vector<uint32_t> out;
	if (a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT)
	{
		const unsigned char* p = AccessorData(m, a, 2);
		for (size_t i = 0; p && i < a.count; ++i)
		{
			uint16_t v;
			std::memcpy(&v, p + 2 * i, 2);
			out.push_back(v);
		}
	}
	else
	{
		EXPECT_EQ(a.componentType, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
		const unsigned char* p = AccessorData(m, a, 4);
		out.resize(p ? a.count : 0);
		if (p)
			std::memcpy(out.data(), p, out.size() * 4);
	}
	return out;
}

namespace
{
// A node's transform as a 3 x 4 matrix (columns x, y, z, translation), scale applied first.
struct Affine
{
	Vector x { 1, 0, 0 }, y { 0, 1, 0 }, z { 0, 0, 1 }, t;
	Vector Apply(const Vector& p) const { return t + Linear(p); }
	Vector Linear(const Vector& p) const { return x * p.x + y * p.y + z * p.z; }
	Affine Then(const Affine& inner) const
	{
		return { Linear(inner.x), Linear(inner.y), Linear(inner.z), Apply(inner.t) };
	}
};

Affine NodeTransform(const tinygltf::Node& n)
{
	EXPECT_TRUE(n.matrix.empty()) << n.name << ": the writer gives translation, rotation and scale";
	Affine a;
	if (n.rotation.size() == 4)
	{
		const double qx = n.rotation[0], qy = n.rotation[1], qz = n.rotation[2], qw = n.rotation[3];
		a.x = Vector(1 - 2 * (qy * qy + qz * qz), 2 * (qx * qy + qz * qw), 2 * (qx * qz - qy * qw));
		a.y = Vector(2 * (qx * qy - qz * qw), 1 - 2 * (qx * qx + qz * qz), 2 * (qy * qz + qx * qw));
		a.z = Vector(2 * (qx * qz + qy * qw), 2 * (qy * qz - qx * qw), 1 - 2 * (qx * qx + qy * qy));
	}
	if (n.scale.size() == 3)
	{
		a.x = a.x * n.scale[0];
		a.y = a.y * n.scale[1];
		a.z = a.z * n.scale[2];
	}
	if (n.translation.size() == 3)
		a.t = Vector(n.translation[0], n.translation[1], n.translation[2]);
	return a;
}

Vector Cross(const Vector& a, const Vector& b) { return Vector(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x); }
} // namespace

PlacedMesh Placed(const tinygltf::Model& m, const tinygltf::Node& node)
{
	PlacedMesh out;
	std::vector<int> parent(m.nodes.size(), -1);
	for (size_t i = 0; i < m.nodes.size(); ++i)
		for (int c : m.nodes[i].children)
			parent.at(size_t(c)) = int(i);
	Affine world;
	for (int i = int(&node - m.nodes.data()); i > 0; i = parent[size_t(i)])
		world = NodeTransform(m.nodes[size_t(i)]).Then(world);
	if (node.mesh < 0)
		return out;
	const tinygltf::Primitive& p = m.meshes.at(size_t(node.mesh)).primitives.at(0);
	const std::vector<float> pos = Floats(m, p.attributes.at("POSITION"));
	const std::vector<float> nor = Floats(m, p.attributes.at("NORMAL"));
	// Normals go through the inverse transpose, which is the cofactor matrix up to a factor.
	const Affine cofactor { Cross(world.y, world.z), Cross(world.z, world.x), Cross(world.x, world.y), Vector() };
	for (size_t i = 0; i + 2 < pos.size() && i + 2 < nor.size(); i += 3)
	{
		out.positions.push_back(world.Apply(Vector(pos[i], pos[i + 1], pos[i + 2])));
		const Vector n = cofactor.Linear(Vector(nor[i], nor[i + 1], nor[i + 2]));
		out.normals.push_back(n / std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z));
	}
	out.indices = Indices(m, p.indices);
	return out;
}

::testing::AssertionResult SamePointSets(const std::vector<Vector>& a, const std::vector<Vector>& b, double tolerance)
{
	auto covered = [tolerance](const std::vector<Vector>& from, const std::vector<Vector>& to, const char* what) {
		for (const Vector& p : to)
		{
			double best = 1e300;
			for (const Vector& q : from)
			{
				const Vector d = p - q;
				best = std::min(best, d.x * d.x + d.y * d.y + d.z * d.z);
			}
			if (std::sqrt(best) > tolerance)
				return ::testing::AssertionFailure() << what << " point (" << p.x << ", " << p.y << ", " << p.z << ") is "
													 << std::sqrt(best) << " from the nearest";
		}
		return ::testing::AssertionSuccess();
	};
	if (a.empty() != b.empty())
		return ::testing::AssertionFailure() << "one set is empty";
	::testing::AssertionResult ab = covered(a, b, "second set's");
	return ab ? covered(b, a, "first set's") : ab;
}

Int FileTriangles(const tinygltf::Model& m)
{
	Int n = 0;
	for (const tinygltf::Node& node : m.nodes)
	{
		if (node.mesh < 0)
			continue;
		for (const tinygltf::Primitive& p : m.meshes.at(size_t(node.mesh)).primitives)
		{
			EXPECT_EQ(p.mode, TINYGLTF_MODE_TRIANGLES);
			n += Int(m.accessors.at(size_t(p.indices)).count / 3);
		}
	}
	return n;
}

Int ExpectWindingFollowsNormals(const tinygltf::Model& m)
{
	Int seen = 0;
	for (const tinygltf::Mesh& mesh : m.meshes)
	{
		for (const tinygltf::Primitive& p : mesh.primitives)
		{
			const std::vector<float> pos = Floats(m, p.attributes.at("POSITION"));
			const std::vector<float> nor = Floats(m, p.attributes.at("NORMAL"));
			const std::vector<uint32_t> idx = Indices(m, p.indices);
			EXPECT_EQ(idx.size() % 3, 0u);
			for (size_t t = 0; t + 2 < idx.size(); t += 3)
			{
				auto at = [&](const std::vector<float>& v, size_t corner) {
					const size_t i = 3 * size_t(idx[t + corner]);
					return Vector(v.at(i), v.at(i + 1), v.at(i + 2));
				};
				const Vector a = at(pos, 0), b = at(pos, 1), c = at(pos, 2);
				const Vector u = b - a, v = c - a;
				const Vector face(u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x);
				const Vector n = at(nor, 0) + at(nor, 1) + at(nor, 2);
				EXPECT_GT(face.x * n.x + face.y * n.y + face.z * n.z, 0.0) << "triangle " << t / 3 << " of mesh " << mesh.name;
				++seen;
			}
		}
	}
	return seen;
}

PolygonObject* Grid(Int32 columns, Int32 rows)
{
	PolygonObject* op = PolygonObject::Alloc(columns * rows, (columns - 1) * (rows - 1));
	Vector* pts = op->GetPointW();
	for (Int32 y = 0; y < rows; ++y)
		for (Int32 x = 0; x < columns; ++x)
			pts[y * columns + x] = Vector(Float(x), Float(y), 0.0);
	CPolygon* polys = op->GetPolygonW();
	for (Int32 y = 0; y + 1 < rows; ++y)
		for (Int32 x = 0; x + 1 < columns; ++x)
		{
			const Int32 i = y * columns + x;
			polys[y * (columns - 1) + x] = CPolygon { i, i + 1, i + 1 + columns, i + columns };
		}
	return op;
}
} // namespace gltf_test
