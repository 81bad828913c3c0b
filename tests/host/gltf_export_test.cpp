// ExportGltf: nodes and hierarchy, units, meshes and normals, materials.
#include <algorithm>
#include <cmath>
#include <tuple>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include <gmock/gmock.h>

#include "gltf_support.h"

using namespace gltf_test;
using ::testing::DoubleNear;
using ::testing::ElementsAre;

namespace
{
// Atoms and a bond under a null, as the molecule object's cache looks.
BaseObject* SmallMolecule()
{
	BaseObject* root = Named(BaseObject::Alloc(Onull), "Root");
	Named(Sphere(20.0), "C", Vector(10.0, 0.0, 0.0))->InsertUnderLast(root);
	Named(Sphere(15.0), "O", Vector(0.0, 5.0, -2.5))->InsertUnderLast(root);
	Bond(Vector(10.0, 0.0, 0.0), Vector(0.0, 5.0, -2.5))->InsertUnderLast(root);
	return root;
}

const tinygltf::Material* MaterialOf(const tinygltf::Model& m, const tinygltf::Node* n)
{
	if (!n || n->mesh < 0)
		return nullptr;
	const int mat = m.meshes[size_t(n->mesh)].primitives.at(0).material;
	return mat < 0 ? nullptr : &m.materials[size_t(mat)];
}

std::vector<double> Rgba(const tinygltf::Model& m, const tinygltf::Node* n)
{
	const tinygltf::Material* mat = MaterialOf(m, n);
	return mat ? mat->pbrMetallicRoughness.baseColorFactor : std::vector<double> {};
}

// sRGB values and their linear equivalents (IEC 61966-2-1), as glTF colour factors hold them.
constexpr double kLinear01 = 0.010022825574869039; // sRGB 0.1
constexpr double kLinear02 = 0.033104766570885055; // sRGB 0.2
constexpr double kLinear03 = 0.07323895587840543; // sRGB 0.3
constexpr double kLinear05 = 0.21404114048223255; // sRGB 0.5

::testing::Matcher<const std::vector<double>&> Colour(double r, double g, double b, double a)
{
	return ElementsAre(DoubleNear(r, 1e-12), DoubleNear(g, 1e-12), DoubleNear(b, 1e-12), DoubleNear(a, 1e-12));
}

TEST_F(ExportTest, GeneratorCacheAndPlainObjectsKeepTheirHierarchyUnderTheScaledRoot)
{
	Doc d;
	ASSERT_NE(AddGenerator(d.doc, "Molecule", Vector(1.0, 2.0, 3.0), SmallMolecule), nullptr);
	BaseObject* plain = Named(BaseObject::Alloc(Onull), "Plain", Vector(-4.0, 0.0, 0.0));
	Named(Sphere(5.0), "H", Vector(0.0, -1.0, 0.0))->InsertUnder(plain);
	d.doc->InsertObject(plain, nullptr, d.doc->GetFirstObject());

	tinygltf::Model m;
	vh::ExportSummary s;
	ASSERT_TRUE(ExportAndLoad(d.doc, m, &s));

	ASSERT_EQ(m.scenes.size(), 1u);
	ASSERT_EQ(m.scenes[0].nodes.size(), 1u);
	const tinygltf::Node& root = m.nodes.at(size_t(m.scenes[0].nodes[0]));
	EXPECT_EQ(root.name, "scene");
	EXPECT_THAT(root.scale, ElementsAre(0.01, 0.01, 0.01));
	EXPECT_TRUE(root.translation.empty());
	EXPECT_THAT(ChildNames(m, root), ElementsAre("Molecule", "Plain"));

	const tinygltf::Node* mol = FindNode(m, "Molecule");
	ASSERT_NE(mol, nullptr);
	EXPECT_THAT(mol->translation, ElementsAre(1.0, 2.0, 3.0));
	EXPECT_THAT(ChildNames(m, *mol), ElementsAre("Root"));
	EXPECT_THAT(ChildNames(m, *FindNode(m, "Root")), ElementsAre("C", "O", "Bond"));
	EXPECT_THAT(FindNode(m, "O")->translation, ElementsAre(0.0, 5.0, -2.5));
	// Spheres of other radii keep geometry of their own.
	ASSERT_NE(PrimitiveOf(m, "C"), nullptr);
	ASSERT_NE(PrimitiveOf(m, "O"), nullptr);
	EXPECT_NE(PrimitiveOf(m, "C")->attributes.at("POSITION"), PrimitiveOf(m, "O")->attributes.at("POSITION"));

	// The sweep holds the tube; its splines stay as empty children, as in the host's dump.
	const tinygltf::Node* bond = FindNode(m, "Bond");
	EXPECT_GE(bond->mesh, 0);
	EXPECT_THAT(ChildNames(m, *bond), ElementsAre("Profile", "Path"));
	EXPECT_EQ(FindNode(m, "Profile")->mesh, -1);
	EXPECT_EQ(FindNode(m, "Path")->mesh, -1);
	EXPECT_EQ(mol->mesh, -1);

	EXPECT_THAT(ChildNames(m, *FindNode(m, "Plain")), ElementsAre("H"));
	EXPECT_THAT(FindNode(m, "Plain")->translation, ElementsAre(-4.0, 0.0, 0.0));

	// Molecule, Root, C, O, Bond, Profile, Path, Plain, H.
	EXPECT_EQ(m.nodes.size(), 10u);
	EXPECT_EQ(s.objects, 9);
	EXPECT_EQ(s.polygonObjects, 3);
	EXPECT_EQ(s.sweeps, 1);
}

TEST_F(ExportTest, TrianglesAreThePolygonObjectsAndTheEvaluatedSweepsWithQuadsSplit)
{
	Doc d;
	BaseObject* gen = AddGenerator(d.doc, "Molecule", Vector(), SmallMolecule);
	ASSERT_NE(gen, nullptr);
	ASSERT_NE(gen->GetCache(), nullptr);

	Int expected = 0;
	for (BaseObject* op = gen->GetCache()->GetDown(); op; op = op->GetNext())
	{
		PolygonObject* poly = op->GetType() == Osweep ? vh::GetSweepGeometry(op) : static_cast<PolygonObject*>(op);
		ASSERT_NE(poly, nullptr);
		expected += vh::TriangleCount(poly);
	}
	// Both kinds of polygon are there, so a quad counted once would show.
	PolygonObject* sphere = static_cast<PolygonObject*>(gen->GetCache()->GetDown());
	EXPECT_LT(vh::TriangleCount(sphere), 2 * sphere->GetPolygonCount());
	EXPECT_GT(vh::TriangleCount(sphere), sphere->GetPolygonCount());

	tinygltf::Model m;
	vh::ExportSummary s;
	ASSERT_TRUE(ExportAndLoad(d.doc, m, &s));
	EXPECT_EQ(FileTriangles(m), expected);
	EXPECT_EQ(s.triangles, expected);
	EXPECT_EQ(s.bytes, Int64(std::filesystem::file_size(Path("out.glb"))));
}

TEST_F(ExportTest, SphereVerticesLieOnItWithOutwardUnitNormalsAndExactBounds)
{
	Doc d;
	d.doc->InsertObject(Named(Sphere(37.5, 9), "S", Vector(3.0, 0.0, 0.0)), nullptr, nullptr);
	tinygltf::Model m;
	ASSERT_TRUE(ExportAndLoad(d.doc, m));
	const tinygltf::Primitive* mesh = PrimitiveOf(m, "S");
	ASSERT_NE(mesh, nullptr);
	const tinygltf::Primitive& p = *mesh;
	const std::vector<float> pos = Floats(m, p.attributes.at("POSITION"));
	const std::vector<float> nor = Floats(m, p.attributes.at("NORMAL"));
	ASSERT_EQ(pos.size(), nor.size());
	ASSERT_FALSE(pos.empty());

	std::vector<double> lo(3, 1e30), hi(3, -1e30);
	for (size_t i = 0; i < pos.size(); i += 3)
	{
		const double r = std::sqrt(pos[i] * pos[i] + pos[i + 1] * pos[i + 1] + pos[i + 2] * pos[i + 2]);
		EXPECT_NEAR(r, 37.5, 1e-4);
		const double len = std::sqrt(nor[i] * nor[i] + nor[i + 1] * nor[i + 1] + nor[i + 2] * nor[i + 2]);
		EXPECT_NEAR(len, 1.0, 1e-6);
		// Smooth: close to the radial direction, not a face's.
		EXPECT_GT((pos[i] * nor[i] + pos[i + 1] * nor[i + 1] + pos[i + 2] * nor[i + 2]) / r, 0.97);
		for (size_t k = 0; k < 3; ++k)
		{
			lo[k] = std::min(lo[k], double(pos[i + k]));
			hi[k] = std::max(hi[k], double(pos[i + k]));
		}
	}
	const tinygltf::Accessor& a = m.accessors[size_t(p.attributes.at("POSITION"))];
	EXPECT_EQ(a.minValues, lo);
	EXPECT_EQ(a.maxValues, hi);

	// Triangles wind counter-clockwise seen from outside.
	const std::vector<uint32_t> idx = Indices(m, p.indices);
	ASSERT_EQ(idx.size() % 3, 0u);
	for (size_t t = 0; t < idx.size(); t += 3)
	{
		const float* a0 = &pos[3 * idx[t]];
		const float* b0 = &pos[3 * idx[t + 1]];
		const float* c0 = &pos[3 * idx[t + 2]];
		const Vector u(b0[0] - a0[0], b0[1] - a0[1], b0[2] - a0[2]);
		const Vector v(c0[0] - a0[0], c0[1] - a0[1], c0[2] - a0[2]);
		const Vector face(u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x);
		EXPECT_GT(face.x * (a0[0] + b0[0] + c0[0]) + face.y * (a0[1] + b0[1] + c0[1]) + face.z * (a0[2] + b0[2] + c0[2]), 0.0);
	}
}

TEST_F(ExportTest, TubeNormalsAreRadialOnTheSideAndAxialOnTheCaps)
{
	Doc d;
	d.doc->InsertObject(Bond(Vector(0.0, 0.0, 0.0), Vector(50.0, 0.0, 0.0), 3.0, 1), nullptr, nullptr);
	tinygltf::Model m;
	ASSERT_TRUE(ExportAndLoad(d.doc, m));
	const PlacedMesh placed = Placed(m, *FindNode(m, "Bond"));
	ASSERT_FALSE(placed.positions.empty());
	int side = 0, startCap = 0, endCap = 0;
	for (size_t i = 0; i < placed.positions.size(); ++i)
	{
		const Vector& pos = placed.positions[i];
		const Vector& nor = placed.normals[i];
		if (std::fabs(nor.x) < 1e-5)
		{
			++side;
			// Radial: along the vertex's offset from the axis.
			const double r = std::hypot(pos.y, pos.z);
			EXPECT_GT((pos.y * nor.y + pos.z * nor.z) / r, 0.97);
		}
		else
		{
			ASSERT_NEAR(std::fabs(nor.x), 1.0, 1e-5) << "normal blends side and cap at vertex " << i;
			// Caps face away from the tube.
			(nor.x < 0.0 ? startCap : endCap) += 1;
			EXPECT_NEAR(pos.x, nor.x < 0.0 ? 0.0 : 50.0, 1e-4);
		}
	}
	EXPECT_GT(side, 0);
	EXPECT_GT(startCap, 0);
	EXPECT_GT(endCap, 0);
}

// The points of the host's own tube of a sweep, in the scene's frame.
std::vector<Vector> HostTube(BaseObject* sweep, const Vector& offset)
{
	PolygonObject* tube = vh::GetSweepGeometry(sweep);
	std::vector<Vector> points;
	for (Int32 i = 0; tube && i < tube->GetPointCount(); ++i)
		points.push_back(tube->GetPointR()[i] + offset);
	return points;
}

TEST_F(ExportTest, StraightTubesShareOneMeshPerProfileAndCapsAndLieWhereTheHostsTubesLie)
{
	struct Case
	{
		Vector from, to;
		Float radius;
		Int32 caps;
	};
	const Case cases[] = {
		{ { 0, 0, 0 }, { 50, 0, 0 }, 3.0, 1 },
		{ { 10, 20, 30 }, { 10, -40, 30 }, 3.0, 1 }, // along -Y, where the frame takes its other reference
		{ { 1, 2, 3 }, { -17.5, 9.25, 41 }, 3.0, 1 },
		{ { 0, 0, 0 }, { 0, 0, -12 }, 3.0, 1 },
		{ { 0, 5, 0 }, { 30, 5, -7 }, 6.0, 1 },
		{ { 0, 5, 0 }, { 30, 5, -7 }, 3.0, 0 },
	};
	Doc d;
	const Vector offset(5.0, -3.0, 2.0);
	BaseObject* root = Named(BaseObject::Alloc(Onull), "Bonds", offset);
	std::vector<BaseObject*> bonds;
	for (size_t i = 0; i < std::size(cases); ++i)
	{
		const std::string name = "Bond" + std::to_string(i);
		bonds.push_back(Named(Bond(cases[i].from, cases[i].to, cases[i].radius, cases[i].caps), name.c_str()));
		bonds.back()->InsertUnderLast(root);
	}
	d.doc->InsertObject(root, nullptr, nullptr);
	tinygltf::Model m;
	vh::ExportSummary s;
	ASSERT_TRUE(ExportAndLoad(d.doc, m, &s));

	Int triangles = 0;
	for (size_t i = 0; i < bonds.size(); ++i)
	{
		SCOPED_TRACE(i);
		const tinygltf::Node* node = FindNode(m, "Bond" + std::to_string(i));
		ASSERT_NE(node, nullptr);
		EXPECT_THAT(ChildNames(m, *node), ElementsAre("Profile", "Path"));
		const PlacedMesh placed = Placed(m, *node);
		EXPECT_TRUE(SamePointSets(placed.positions, HostTube(bonds[i], offset), 1e-3));
		EXPECT_EQ(Int(placed.indices.size() / 3), vh::TriangleCount(vh::GetSweepGeometry(bonds[i])));
		triangles += Int(placed.indices.size() / 3);
	}
	EXPECT_EQ(s.triangles, triangles);
	// One radius, profile and caps: one mesh, however long and wherever the tube is.
	const int shared = FindNode(m, "Bond0")->mesh;
	for (const char* name : { "Bond1", "Bond2", "Bond3" })
		EXPECT_EQ(FindNode(m, name)->mesh, shared) << name;
	EXPECT_NE(FindNode(m, "Bond4")->mesh, shared);
	EXPECT_NE(FindNode(m, "Bond5")->mesh, shared);
	EXPECT_NE(FindNode(m, "Bond5")->mesh, FindNode(m, "Bond4")->mesh);
	EXPECT_EQ(m.meshes.size(), 3u);
	EXPECT_GT(ExpectWindingFollowsNormals(m), 0);
}

TEST_F(ExportTest, ASweepThatIsNoPlainStraightTubeKeepsItsOwnTubeAndItsChildrenStayPut)
{
	Doc d;
	// Both ends at one point: no axis to stretch along.
	BaseObject* point = Named(Bond(Vector(4.0, 4.0, 4.0), Vector(4.0, 4.0, 4.0)), "Point");
	// A third child would sit in the tube's frame.
	BaseObject* holder = Named(Bond(Vector(0.0, 0.0, 0.0), Vector(0.0, 30.0, 10.0)), "Holder");
	Named(Sphere(2.0), "Extra", Vector(0.0, 10.0, 0.0))->InsertUnderLast(holder);
	d.doc->InsertObject(point, nullptr, nullptr);
	d.doc->InsertObject(holder, nullptr, point);
	tinygltf::Model m;
	ASSERT_TRUE(ExportAndLoad(d.doc, m));
	for (auto [name, op] : { std::pair<const char*, BaseObject*> { "Point", point }, { "Holder", holder } })
	{
		const tinygltf::Node* node = FindNode(m, name);
		ASSERT_NE(node, nullptr);
		EXPECT_TRUE(node->rotation.empty() && node->scale.empty()) << name;
		EXPECT_TRUE(SamePointSets(Placed(m, *node).positions, HostTube(op, Vector()), 1e-4)) << name;
	}
	EXPECT_THAT(ChildNames(m, *FindNode(m, "Holder")), ElementsAre("Profile", "Path", "Extra"));
	const PlacedMesh extra = Placed(m, *FindNode(m, "Extra"));
	ASSERT_FALSE(extra.positions.empty());
	for (const Vector& p : extra.positions)
		EXPECT_NEAR(std::sqrt(p.x * p.x + (p.y - 10.0) * (p.y - 10.0) + p.z * p.z), 2.0, 1e-4);
}

TEST_F(ExportTest, MergedFormHoldsOneMeshPerMaterialWithEveryTriangleWhereTheTreePlacesIt)
{
	Doc d;
	BaseMaterial* carbon = AddMaterial(d.doc, "Carbon", Vector(0.1, 0.2, 0.3));
	ASSERT_NE(AddGenerator(d.doc, "Molecule", Vector(1.0, 2.0, 3.0), [carbon] {
		BaseObject* root = SmallMolecule();
		BaseObject* c2 = Named(Sphere(20.0), "C", Vector(-30.0, 0.0, 0.0));
		Assign(c2, carbon);
		c2->InsertUnderLast(root);
		Bond(Vector(-30.0, 0.0, 0.0), Vector(10.0, 0.0, 0.0))->InsertUnderLast(root);
		SetColour(root->GetDown()->GetNext(), Vector(1.0, 0.0, 0.0));
		return root;
	}),
		nullptr);

	tinygltf::Model tree, merged;
	vh::ExportSummary treeSummary, mergedSummary;
	ASSERT_TRUE(ExportAndLoad(d.doc, tree, &treeSummary));
	ASSERT_TRUE(ExportAndLoad(d.doc, merged, &mergedSummary, vh::ExportOptions { true }));

	// Every triangle of the tree's nodes, where the file puts it, by material.
	std::map<std::string, std::vector<Vector>> expected;
	std::map<std::string, Int> expectedTriangles;
	for (const tinygltf::Node& n : tree.nodes)
	{
		if (n.mesh < 0)
			continue;
		const tinygltf::Material* mat = MaterialOf(tree, &n);
		const std::string name = mat ? mat->name : "no material";
		const PlacedMesh p = Placed(tree, n);
		expected[name].insert(expected[name].end(), p.positions.begin(), p.positions.end());
		expectedTriangles[name] += Int(p.indices.size() / 3);
	}
	const tinygltf::Node& root = merged.nodes.at(0);
	EXPECT_EQ(root.name, "scene");
	EXPECT_THAT(root.scale, ElementsAre(0.01, 0.01, 0.01));
	ASSERT_EQ(root.children.size(), expected.size());
	EXPECT_EQ(merged.nodes.size(), 1 + expected.size());
	EXPECT_EQ(merged.meshes.size(), expected.size());
	for (int c : root.children)
	{
		const tinygltf::Node& n = merged.nodes.at(size_t(c));
		SCOPED_TRACE(n.name);
		const tinygltf::Material* mat = MaterialOf(merged, &n);
		EXPECT_EQ(n.name, mat ? mat->name : "no material");
		ASSERT_TRUE(expected.count(n.name));
		const PlacedMesh p = Placed(merged, n);
		EXPECT_TRUE(SamePointSets(p.positions, expected[n.name], 1e-3));
		EXPECT_EQ(Int(p.indices.size() / 3), expectedTriangles[n.name]);
	}
	EXPECT_EQ(ExpectWindingFollowsNormals(merged), FileTriangles(merged));
	EXPECT_EQ(mergedSummary.triangles, treeSummary.triangles);
	EXPECT_EQ(FileTriangles(merged), treeSummary.triangles);
	EXPECT_EQ(mergedSummary.objects, treeSummary.objects);
}

TEST_F(ExportTest, EveryTriangleWindsAsItsNormalsPoint)
{
	Doc d;
	ASSERT_NE(AddGenerator(d.doc, "Molecule", Vector(), SmallMolecule), nullptr);
	d.doc->InsertObject(Bond(Vector(0.0, 0.0, 0.0), Vector(0.0, -30.0, 20.0), 2.0, 1), nullptr, nullptr);
	tinygltf::Model m;
	ASSERT_TRUE(ExportAndLoad(d.doc, m));
	// No two objects here share a mesh, so every triangle of the file is checked.
	EXPECT_EQ(ExpectWindingFollowsNormals(m), FileTriangles(m));
}

TEST_F(ExportTest, ConcaveQuadIsSplitAlongTheDiagonalInsideIt)
{
	Doc d;
	// A dart: b is pushed in towards d, so the diagonal a-c runs outside the quad.
	PolygonObject* dart = PolygonObject::Alloc(4, 1);
	const Vector pts[4] = { { 0, 0, 0 }, { 5, 2, 0 }, { 10, 0, 0 }, { 5, 10, 0 } };
	std::copy(pts, pts + 4, dart->GetPointW());
	dart->GetPolygonW()[0] = CPolygon { 0, 1, 2, 3 };
	d.doc->InsertObject(Named(dart, "Dart"), nullptr, nullptr);
	tinygltf::Model m;
	ASSERT_TRUE(ExportAndLoad(d.doc, m));
	const tinygltf::Primitive* p = PrimitiveOf(m, "Dart");
	ASSERT_NE(p, nullptr);
	EXPECT_THAT(Indices(m, p->indices), ElementsAre(0, 1, 3, 1, 2, 3));
	EXPECT_EQ(ExpectWindingFollowsNormals(m), 2);
}

TEST_F(ExportTest, IndicesWidenToThirtyTwoBitsAtTheRestartValue)
{
	// 16-bit indices may not hold 65535, the primitive-restart value: 65534 vertices fit, 65536 do not.
	for (const auto& [columns, rows, type] : { std::tuple<Int32, Int32, int> { 151, 434, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT },
			 std::tuple<Int32, Int32, int> { 256, 256, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT } })
	{
		Doc d;
		d.doc->InsertObject(Named(Grid(columns, rows), "Grid"), nullptr, nullptr);
		tinygltf::Model m;
		ASSERT_TRUE(ExportAndLoad(d.doc, m));
		const tinygltf::Primitive& p = m.meshes.at(0).primitives.at(0);
		EXPECT_EQ(m.accessors.at(size_t(p.indices)).componentType, type) << columns * rows;
		const std::vector<uint32_t> idx = Indices(m, p.indices);
		EXPECT_EQ(idx.size(), size_t(6 * (columns - 1) * (rows - 1)));
		EXPECT_EQ(*std::max_element(idx.begin(), idx.end()), uint32_t(columns * rows - 1));
	}
}

TEST_F(ExportTest, GeneratorTagColoursItsCacheAndItsOwnChildrenFollowTheCache)
{
	Doc d;
	BaseMaterial* whole = AddMaterial(d.doc, "Whole", Vector(0.5, 0.5, 0.5));
	BaseMaterial* own = AddMaterial(d.doc, "Own", Vector(1.0, 0.0, 0.0));
	BaseObject* gen = AddGenerator(d.doc, "Molecule", Vector(), [own] {
		BaseObject* root = Named(BaseObject::Alloc(Onull), "Root");
		BaseObject* coloured = Named(Sphere(10.0), "Coloured");
		SetColour(coloured, Vector(0.0, 1.0, 0.0));
		coloured->InsertUnderLast(root);
		BaseObject* tagged = Named(Sphere(10.0), "Tagged", Vector(30.0, 0.0, 0.0));
		Assign(tagged, own);
		tagged->InsertUnderLast(root);
		return root;
	});
	ASSERT_NE(gen, nullptr);
	Assign(gen, whole);
	Named(Sphere(5.0), "Extra", Vector(0.0, 40.0, 0.0))->InsertUnder(gen);
	d.doc->InsertObject(Named(Sphere(5.0), "Outside"), nullptr, gen);
	SetColour(d.doc->GetFirstObject()->GetNext(), Vector(0.0, 0.0, 1.0));

	tinygltf::Model m;
	ASSERT_TRUE(ExportAndLoad(d.doc, m));
	EXPECT_THAT(ChildNames(m, *FindNode(m, "Molecule")), ElementsAre("Root", "Extra"));
	// The nearest texture tag wins over the colour record; a closer tag wins over the generator's.
	EXPECT_EQ(MaterialOf(m, FindNode(m, "Coloured"))->name, "Whole");
	EXPECT_EQ(MaterialOf(m, FindNode(m, "Extra"))->name, "Whole");
	EXPECT_EQ(MaterialOf(m, FindNode(m, "Tagged"))->name, "Own");
	EXPECT_EQ(MaterialOf(m, FindNode(m, "Outside"))->name, "display #0000FF");
}

TEST_F(ExportTest, MaterialsComeFromTextureTagsOrColourRecordsAndAreShared)
{
	Doc d;
	BaseMaterial* carbon = AddMaterial(d.doc, "Carbon", Vector(0.1, 0.2, 0.3));
	auto build = [carbon]() {
		BaseObject* root = Named(BaseObject::Alloc(Onull), "Root");
		BaseObject* red1 = Named(Sphere(10.0), "Red1", Vector(0.0, 0.0, 0.0));
		BaseObject* red2 = Named(Sphere(10.0), "Red2", Vector(30.0, 0.0, 0.0));
		BaseObject* glass = Named(Sphere(10.0), "Glass", Vector(60.0, 0.0, 0.0));
		BaseObject* tagged = Named(Sphere(10.0), "Tagged", Vector(90.0, 0.0, 0.0));
		BaseObject* plain = Named(Sphere(10.0), "Plain", Vector(120.0, 0.0, 0.0));
		BaseObject* off = Named(Sphere(10.0), "Off", Vector(150.0, 0.0, 0.0));
		BaseObject* bright = Named(Sphere(10.0), "Bright", Vector(180.0, 0.0, 0.0));
		SetColour(red1, Vector(1.0, 0.0, 0.0));
		SetColour(red2, Vector(1.0, 0.0, 0.0));
		SetColour(glass, Vector(0.0, 0.5, 1.0), true);
		// The texture tag's material wins over the colour record, as it does when rendering.
		SetColour(tagged, Vector(1.0, 1.0, 0.0));
		Assign(tagged, carbon);
		SetColour(off, Vector(0.0, 1.0, 0.0), false, ID_BASEOBJECT_USECOLOR_OFF);
		SetColour(bright, Vector(2.0, -1.0, 0.5));
		for (BaseObject* op : { red1, red2, glass, tagged, plain, off, bright })
			op->InsertUnderLast(root);
		return root;
	};
	ASSERT_NE(AddGenerator(d.doc, "Molecule", Vector(), build), nullptr);
	tinygltf::Model m;
	ASSERT_TRUE(ExportAndLoad(d.doc, m));

	const tinygltf::Material* red = MaterialOf(m, FindNode(m, "Red1"));
	ASSERT_NE(red, nullptr);
	EXPECT_THAT(red->pbrMetallicRoughness.baseColorFactor, ElementsAre(1.0, 0.0, 0.0, 1.0));
	EXPECT_EQ(red->pbrMetallicRoughness.metallicFactor, 0.0);
	EXPECT_EQ(red->pbrMetallicRoughness.roughnessFactor, 0.5);
	EXPECT_EQ(red->alphaMode, "OPAQUE");
	EXPECT_EQ(red->name, "display #FF0000");
	// Same geometry and colour: one material and one mesh for both.
	EXPECT_EQ(FindNode(m, "Red1")->mesh, FindNode(m, "Red2")->mesh);

	const tinygltf::Material* glass = MaterialOf(m, FindNode(m, "Glass"));
	ASSERT_NE(glass, nullptr);
	EXPECT_EQ(glass->alphaMode, "BLEND");
	EXPECT_TRUE(glass->doubleSided);
	EXPECT_THAT(glass->pbrMetallicRoughness.baseColorFactor, Colour(0.0, kLinear05, 1.0, 0.5));
	// The same sphere in another colour still shares the geometry's accessors.
	EXPECT_NE(FindNode(m, "Glass")->mesh, FindNode(m, "Red1")->mesh);
	EXPECT_EQ(m.meshes[size_t(FindNode(m, "Glass")->mesh)].primitives[0].attributes.at("POSITION"),
		m.meshes[size_t(FindNode(m, "Red1")->mesh)].primitives[0].attributes.at("POSITION"));

	const tinygltf::Material* tagged = MaterialOf(m, FindNode(m, "Tagged"));
	ASSERT_NE(tagged, nullptr);
	EXPECT_EQ(tagged->name, "Carbon");
	EXPECT_THAT(tagged->pbrMetallicRoughness.baseColorFactor, Colour(kLinear01, kLinear02, kLinear03, 1.0));

	EXPECT_EQ(MaterialOf(m, FindNode(m, "Plain")), nullptr);
	EXPECT_EQ(MaterialOf(m, FindNode(m, "Off")), nullptr);
	// Out-of-range colours are clamped into what glTF allows.
	EXPECT_THAT(Rgba(m, FindNode(m, "Bright")), Colour(1.0, 0.0, kLinear05, 1.0));

	std::set<std::string> names;
	for (const tinygltf::Material& mat : m.materials)
		names.insert(mat.name);
	EXPECT_EQ(names.size(), m.materials.size()) << "an identical material was written twice";
	EXPECT_EQ(m.materials.size(), 4u);
}

TEST_F(ExportTest, XrayBondWithADocumentMaterialKeepsItsNameAndBlends)
{
	Doc d;
	BaseMaterial* bondMat = AddMaterial(d.doc, "Bonds", Vector(0.5, 0.5, 0.5));
	BaseObject* bond = Bond(Vector(), Vector(0.0, 0.0, 40.0));
	SetColour(bond, Vector(1.0, 1.0, 1.0), true);
	Assign(bond, bondMat);
	d.doc->InsertObject(bond, nullptr, nullptr);
	tinygltf::Model m;
	ASSERT_TRUE(ExportAndLoad(d.doc, m));
	const tinygltf::Material* mat = MaterialOf(m, FindNode(m, "Bond"));
	ASSERT_NE(mat, nullptr);
	EXPECT_EQ(mat->name, "Bonds");
	EXPECT_EQ(mat->alphaMode, "BLEND");
	EXPECT_THAT(mat->pbrMetallicRoughness.baseColorFactor, Colour(kLinear05, kLinear05, kLinear05, 0.5));
}
} // namespace
