// The document as JSON, the shape the tests and users read.
#include "dump.h"

#include <iostream>
#include <string>

#include "vh/gltf.h"
#include "vh/host.h"

using nlohmann::json;

namespace tool
{
namespace
{
json VectorJson(const Vector& v) { return json::array({v.x, v.y, v.z}); }

std::string TypeName(Int32 type)
{
	switch (type)
	{
		case Onull:
			return "Onull";
		case Opolygon:
			return "Opolygon";
		case Osweep:
			return "Osweep";
		case Ospline:
			return "Ospline";
		default:
			return "type" + std::to_string(type);
	}
}

json TagsJson(BaseObject* op)
{
	json tags = json::array();
	for (BaseTag* tag = op->GetFirstTag(); tag; tag = tag->GetNext())
	{
		if (tag->GetType() == Ttexture)
		{
			BaseMaterial* mat = static_cast<TextureTag*>(tag)->GetMaterial();
			const BaseContainer* tc = tag->GetDataInstance();
			tags.push_back({{"type", "Ttexture"}, {"material", mat ? json(vh::ToUtf8(mat->GetName())) : json(nullptr)},
				{"projection", tc->GetInt32(TEXTURETAG_PROJECTION)}, {"offsetU", tc->GetFloat(TEXTURETAG_OFFSETX)},
				{"offsetV", tc->GetFloat(TEXTURETAG_OFFSETY)}, {"tilesU", tc->GetFloat(TEXTURETAG_TILESX)},
				{"tilesV", tc->GetFloat(TEXTURETAG_TILESY)}});
		}
		else if (tag->GetType() == Tphong)
		{
			tags.push_back({{"type", "Tphong"}});
		}
		else
		{
			tags.push_back({{"type", "type" + std::to_string(tag->GetType())}});
		}
	}
	return tags;
}

json SplineJson(SplineObject* spline)
{
	const BaseContainer* sc = spline->GetDataInstance();
	json points = json::array();
	for (Int32 i = 0; i < spline->GetPointCount(); ++i)
		points.push_back(VectorJson(spline->GetPointR()[i]));
	json tangents = json::array();
	const Tangent* t = spline->GetTangentR();
	for (Int32 i = 0; t && i < spline->GetTangentCount(); ++i)
		tangents.push_back(json::array({VectorJson(t[i].vl), VectorJson(t[i].vr)}));
	return {{"type", sc->GetInt32(SPLINEOBJECT_TYPE)}, {"closed", sc->GetBool(SPLINEOBJECT_CLOSED)},
		{"interpolation", sc->GetInt32(SPLINEOBJECT_INTERPOLATION)}, {"sub", sc->GetInt32(SPLINEOBJECT_SUB)},
		{"points", points}, {"tangents", tangents}};
}

json NodeJson(BaseObject* op)
{
	json node;
	node["type"] = TypeName(op->GetType());
	node["typeId"] = op->GetType();
	node["name"] = vh::ToUtf8(op->GetName());
	node["position"] = VectorJson(op->GetRelPos());
	if (vh::HasColorProperties(op))
	{
		ObjectColorProperties p;
		op->GetColorProperties(&p);
		node["color"] = {{"mode", p.usecolor}, {"color", VectorJson(p.color)}, {"xray", p.xray}};
	}
	node["tags"] = TagsJson(op);
	const vh::PrimitiveInfo info = vh::GetPrimitiveInfo(op);
	if (info.type == Osphere)
		node["sphere"] = {{"radius", info.radius}, {"segments", info.segments}};
	if (op->GetType() == Ospline)
		node["spline"] = SplineJson(static_cast<SplineObject*>(op));
	if (op->GetType() == Osweep)
	{
		const BaseContainer* c = op->GetDataInstance();
		node["parameters"] = {{"2999", c->GetInt32(2999)}, {"3000", c->GetInt32(3000)}};
		// The tube the host's sweep evaluation makes, as an export writes it.
		node["triangleCount"] = vh::TriangleCount(vh::GetSweepGeometry(op));
	}
	if (op->GetType() == Opolygon)
	{
		PolygonObject* poly = static_cast<PolygonObject*>(op);
		node["pointCount"] = poly->GetPointCount();
		node["polygonCount"] = poly->GetPolygonCount();
		node["triangleCount"] = vh::TriangleCount(poly);
	}
	json children = json::array();
	for (BaseObject* c = op->GetDown(); c; c = c->GetNext())
		children.push_back(NodeJson(c));
	node["children"] = children;
	return node;
}

json ParameterValue(const BaseContainer* bc, const vh::ParamInfo& p)
{
	const GeData& d = bc->GetData(p.id);
	if (d.GetType() == DA_NIL)
		return nullptr;
	switch (p.dtype)
	{
		case DTYPE_BOOL:
			return d.GetBool();
		case DTYPE_LONG:
			return d.GetInt32();
		case DTYPE_REAL:
			return d.GetFloat();
		case DTYPE_COLOR:
		case DTYPE_VECTOR:
			return VectorJson(d.GetVector());
		case DTYPE_STRING:
			return vh::ToUtf8(d.GetString());
		case DTYPE_FILENAME:
			return vh::ToUtf8(d.GetFilename().GetString());
		default:
			return nullptr;
	}
}

json MaterialGroupsJson(const BaseContainer* bc, BaseDocument* doc)
{
	json groups = json::array();
	const Int32 count = bc->GetInt32(MOLOBJ_MATERIAL_COUNT);
	for (Int32 i = 0; i < count && i < MOLOBJ_MAT_GROUP_LIMIT; ++i)
	{
		BaseList2D* mat = bc->GetLink(MaterialGroupId(i, MOLOBJ_MAT_LINK), doc);
		groups.push_back({{"symbol", vh::ToUtf8(bc->GetString(MaterialGroupId(i, MOLOBJ_MAT_SYMBOL)))},
			{"material", mat ? json(vh::ToUtf8(mat->GetName())) : json(nullptr)},
			{"use", bc->GetBool(MaterialGroupId(i, MOLOBJ_MAT_USE))},
			{"projection", bc->GetInt32(MaterialGroupId(i, MOLOBJ_MAT_PROJECTION))},
			{"offsetU", bc->GetFloat(MaterialGroupId(i, MOLOBJ_MAT_OFFSET_U))},
			{"offsetV", bc->GetFloat(MaterialGroupId(i, MOLOBJ_MAT_OFFSET_V))},
			{"tilesU", bc->GetFloat(MaterialGroupId(i, MOLOBJ_MAT_TILES_U))},
			{"tilesV", bc->GetFloat(MaterialGroupId(i, MOLOBJ_MAT_TILES_V))},
			{"initialised", bc->GetBool(MaterialGroupId(i, MOLOBJ_MAT_INITIALISED))}});
	}
	return groups;
}

// The molecule, presets and counts the object holds; empty lists when op is not a molecule object.
void AddMolecule(const Vireltan* data, json& object)
{
	json atoms = json::array(), bonds = json::array(), presets = json::array();
	if (data)
	{
		for (const AtomRecord& a : data->atoms)
		{
			const Bool known = a.elementIndex >= 0 && a.elementIndex < data->elements.GetCount();
			atoms.push_back({{"elementIndex", a.elementIndex},
				{"symbol", known ? json(vh::ToUtf8(data->elements[a.elementIndex].symbol)) : json(nullptr)},
				{"position", VectorJson(a.position)}});
		}
		for (const BondRecord& b : data->bonds)
			bonds.push_back({{"firstAtom", b.firstAtom}, {"secondAtom", b.secondAtom}, {"order", b.order}});
		for (const ColourPreset& p : data->presets)
			presets.push_back({VectorJson(p.colourH), VectorJson(p.colourC), VectorJson(p.colourO), VectorJson(p.colourN),
				VectorJson(p.colourOther)});
		object["elementCount"] = data->elements.GetCount();
		object["materialCount"] = data->materialCount;
	}
	object["molecule"] = {{"atoms", atoms}, {"bonds", bonds}};
	object["presets"] = presets;
}

json ObjectJson(BaseObject* op, BaseDocument* doc)
{
	json object;
	object["name"] = vh::ToUtf8(op->GetName());
	object["pluginId"] = op->GetType();
	const BaseContainer* bc = op->GetDataInstance();
	json parameters = json::object();
	for (const vh::ParamInfo& p : vh::DescriptionParameters("oxvireltan"_s))
	{
		if (p.symbol.rfind("MOLOBJ_", 0) == 0 && HasValue(p.dtype))
			parameters[p.symbol] = ParameterValue(bc, p);
	}
	object["parameters"] = parameters;
	object["materialGroups"] = MaterialGroupsJson(bc, doc);
	AddMolecule(MoleculeData(op), object);
	BaseObject* cache = op->GetCache();
	object["cache"] = cache ? NodeJson(cache) : json(nullptr);
	return object;
}
} // namespace

json DumpDocument(BaseDocument* doc)
{
	json out;
	out["console"] = vh::ConsoleLines();
	json dialogs = json::array();
	for (const vh::DialogRecord& d : vh::Dialogs())
	{
		json box = {{"kind", d.question ? "question" : "message"}, {"text", d.text}, {"flags", d.flags}};
		if (d.question)
			box["answer"] = d.answer == GEMB_R::V_YES ? "yes" : "no";
		dialogs.push_back(box);
	}
	out["dialogs"] = dialogs;
	json objects = json::array();
	for (BaseObject* op = doc->GetFirstObject(); op; op = op->GetNext())
		objects.push_back(ObjectJson(op, doc));
	out["objects"] = objects;
	return out;
}

int DumpCommand(Session& s, const MoleculeOptions& options)
{
	LoadMolecule(s, options);
	std::cout << DumpDocument(s.doc).dump(2) << "\n";
	return 0;
}
} // namespace tool
