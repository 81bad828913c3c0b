// Scenes to export and a reader for the .glb files, shared by the glTF tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// The same configuration in every file that includes it: it changes the layout of TinyGLTF.
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#include <tiny_gltf.h>
#pragma GCC diagnostic pop

#include "internal.h"
#include "testfiles.h"
#include "validator.h"
#include "vh/gltf.h"

namespace gltf_test
{
// A generator whose cache is whatever Builder() makes: stands in for the molecule object.
constexpr Int32 ID_STAGE = 1999101;
std::function<BaseObject*()>& Builder();

// Documents freed at the end of a test.
struct Doc
{
	Doc();
	~Doc();
	Doc(const Doc&) = delete;
	Doc& operator=(const Doc&) = delete;
	BaseDocument* doc = nullptr;
};

BaseObject* Named(BaseObject* op, const char* name, const Vector& pos = Vector());
PolygonObject* Sphere(Float radius, Int32 segments = 12);
// A bond as the plug-in builds it: sweep with the four-point Bezier circle profile and a linear path.
BaseObject* Bond(const Vector& from, const Vector& to, Float radius = 3.0, Int32 caps = 1);
void SetColour(BaseObject* op, const Vector& colour, Bool xray = false, Int32 usecolor = ID_BASEOBJECT_USECOLOR_ALWAYS);
BaseMaterial* AddMaterial(BaseDocument* doc, const char* name, const Vector& colour);
void Assign(BaseObject* op, BaseMaterial* mat);
// Puts a generator into the document whose cache Builder() makes, evaluated.
BaseObject* AddGenerator(BaseDocument* doc, const char* name, const Vector& pos, std::function<BaseObject*()> build);


// A folder of its own for each test, removed afterwards.
class ExportTest : public ::testing::Test
{
protected:
	std::string Path(const std::string& name) const { return scratch.File(name); }
	// Exports and reads the file back; fails the test when either step fails.
	::testing::AssertionResult ExportAndLoad(BaseDocument* doc, tinygltf::Model& model, vh::ExportSummary* summary = nullptr,
		const vh::ExportOptions& options = {});
	std::vector<std::string> Entries() const { return scratch.Names(); }

	testfiles::TempDir scratch;
	const std::string dir = scratch.Path();
};

// Node of that name (the first), nullptr when there is none.
const tinygltf::Node* FindNode(const tinygltf::Model& m, const std::string& name);
// First primitive of the mesh of the node of that name, nullptr when there is none.
const tinygltf::Primitive* PrimitiveOf(const tinygltf::Model& m, const std::string& name);
std::vector<std::string> ChildNames(const tinygltf::Model& m, const tinygltf::Node& n);
std::vector<float> Floats(const tinygltf::Model& m, int accessor);
std::vector<uint32_t> Indices(const tinygltf::Model& m, int accessor);
// The vertices of a node's mesh where the file places them: through the transforms of the node
// and of its ancestors below the unit root, so in scene units. Normals are unit length.
struct PlacedMesh
{
	std::vector<Vector> positions, normals;
	std::vector<uint32_t> indices;
};
PlacedMesh Placed(const tinygltf::Model& m, const tinygltf::Node& node);
// Every point of b lies within `tolerance` of a point of a, and the other way round.
::testing::AssertionResult SamePointSets(const std::vector<Vector>& a, const std::vector<Vector>& b, double tolerance);
// Triangles over every node with a mesh (a shared mesh counts for each node).
Int FileTriangles(const tinygltf::Model& m);

// Every triangle of every mesh winds the way its vertex normals point; returns the triangles seen.
Int ExpectWindingFollowsNormals(const tinygltf::Model& m);
// A flat grid of columns x rows points in the xy plane, one quad per cell.
PolygonObject* Grid(Int32 columns, Int32 rows);
} // namespace gltf_test
