// vireltan-host: loads the plug-in module headlessly, drives molecule objects, dumps and exports them.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "c4d.h"
#include "vh/host.h"
#include "vh/loader.h"
// The module is built from these sources in the same build, so the tool may read the object's
// members to report the molecule it holds.
#include "vireltan.h"

#include "vh/gltf.h"

using nlohmann::json;

namespace
{
const Int32 PLUGIN_ID = 1060013;

struct UsageError
{
	std::string message;
};

std::string ExecutableFolder()
{
	char buffer[4096];
	const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
	if (n <= 0)
		return ".";
	buffer[n] = '\0';
	std::string path(buffer);
	return path.substr(0, path.find_last_of('/'));
}

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
	node["tags"] = tags;
	const vh::PrimitiveInfo info = vh::GetPrimitiveInfo(op);
	if (info.type == Osphere)
		node["sphere"] = {{"radius", info.radius}, {"segments", info.segments}};
	if (op->GetType() == Ospline)
	{
		SplineObject* spline = static_cast<SplineObject*>(op);
		const BaseContainer* sc = spline->GetDataInstance();
		json points = json::array();
		for (Int32 i = 0; i < spline->GetPointCount(); ++i)
			points.push_back(VectorJson(spline->GetPointR()[i]));
		json tangents = json::array();
		const Tangent* t = spline->GetTangentR();
		for (Int32 i = 0; t && i < spline->GetTangentCount(); ++i)
			tangents.push_back(json::array({VectorJson(t[i].vl), VectorJson(t[i].vr)}));
		node["spline"] = {{"type", sc->GetInt32(SPLINEOBJECT_TYPE)}, {"closed", sc->GetBool(SPLINEOBJECT_CLOSED)},
			{"interpolation", sc->GetInt32(SPLINEOBJECT_INTERPOLATION)}, {"sub", sc->GetInt32(SPLINEOBJECT_SUB)},
			{"points", points}, {"tangents", tangents}};
	}
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

Bool HasValue(Int32 dtype)
{
	return dtype == DTYPE_BOOL || dtype == DTYPE_LONG || dtype == DTYPE_REAL || dtype == DTYPE_COLOR ||
		dtype == DTYPE_VECTOR || dtype == DTYPE_STRING || dtype == DTYPE_FILENAME;
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
	object["materialGroups"] = groups;

	const Vireltan* data = op->GetType() == PLUGIN_ID ? static_cast<const Vireltan*>(op->GetNodeData()) : nullptr;
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
	BaseObject* cache = op->GetCache();
	object["cache"] = cache ? NodeJson(cache) : json(nullptr);
	return object;
}

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

// The current document and its molecule object, as the steps change them.
struct Session
{
	BaseDocument* doc = nullptr;
	BaseObject* op = nullptr;
	std::string baseFolder = ".";

	~Session()
	{
		if (doc)
			BaseDocument::Free(doc);
	}
	Bool NewDocument()
	{
		doc = BaseDocument::Alloc();
		op = doc ? vh::AllocPluginObject(PLUGIN_ID) : nullptr;
		if (!op)
			return false;
		doc->InsertObject(op, nullptr, nullptr);
		return true;
	}
	std::string Resolve(const std::string& path) const
	{
		return (path.empty() || path[0] == '/') ? path : baseFolder + "/" + path;
	}
};

const vh::ParamInfo* FindParameter(const std::string& name)
{
	static const std::vector<vh::ParamInfo> params = vh::DescriptionParameters("oxvireltan"_s);
	for (const vh::ParamInfo& p : params)
		if (p.symbol == name)
			return &p;
	return nullptr;
}

Float ParseFloat(const std::string& text, const std::string& what)
{
	try
	{
		size_t used = 0;
		const Float v = std::stod(text, &used);
		if (used == text.size())
			return v;
	}
	catch (const std::exception&)
	{
	}
	throw UsageError{"bad number for " + what + ": '" + text + "'"};
}

Int32 ParseInt(const std::string& text, const std::string& what)
{
	try
	{
		size_t used = 0;
		const long v = std::stol(text, &used);
		if (used == text.size() && v >= INT32_MIN && v <= INT32_MAX)
			return Int32(v);
	}
	catch (const std::exception&)
	{
	}
	throw UsageError{"bad integer for " + what + ": '" + text + "'"};
}

Bool ParseBool(const std::string& text, const std::string& what)
{
	if (text == "true" || text == "1" || text == "yes")
		return true;
	if (text == "false" || text == "0" || text == "no")
		return false;
	throw UsageError{"bad boolean for " + what + ": '" + text + "'"};
}

Vector ParseColour(const std::string& text, const std::string& what)
{
	std::vector<Float> parts;
	std::stringstream in(text);
	std::string part;
	while (std::getline(in, part, ','))
		parts.push_back(ParseFloat(part, what));
	if (parts.size() != 3)
		throw UsageError{"bad colour for " + what + ": '" + text + "' (expected r,g,b)"};
	return Vector(parts[0], parts[1], parts[2]);
}

// Sets a parameter as the attribute panel does: set, then tell the object.
void SetParameter(Session& s, const std::string& name, const std::string& value)
{
	const vh::ParamInfo* p = FindParameter(name);
	if (!p || !HasValue(p->dtype))
		throw UsageError{"unknown parameter '" + name + "'"};
	GeData data;
	switch (p->dtype)
	{
		case DTYPE_BOOL:
			data = GeData(Int32(ParseBool(value, name) ? 1 : 0));
			break;
		case DTYPE_LONG:
			data = GeData(ParseInt(value, name));
			break;
		case DTYPE_REAL:
			data = GeData(ParseFloat(value, name));
			break;
		case DTYPE_COLOR:
		case DTYPE_VECTOR:
			data = GeData(ParseColour(value, name));
			break;
		case DTYPE_FILENAME:
			data = GeData(Filename(vh::FromUtf8(s.Resolve(value))));
			break;
		default:
			data = GeData(vh::FromUtf8(value));
			break;
	}
	const DescID id(DescLevel(p->id, p->dtype, 0));
	s.op->SetParameter(id, data, DESCFLAGS_SET::USERINTERACTION);
	DescriptionPostSetValue msg;
	msg.descid = &id;
	s.op->Message(MSG_DESCRIPTION_POSTSETPARAMETER, &msg);
}

// Builds the attribute panel once, as the host does after a change, so new groups get their defaults.
void BuildPanel(Session& s)
{
	Description* d = Description::Alloc();
	if (!d)
		return;
	DESCFLAGS_DESC flags = DESCFLAGS_DESC::NONE;
	if (NodeData* data = s.op->GetNodeData())
		data->GetDDescription(s.op, d, flags);
	Description::Free(d);
}

void Press(Session& s, const std::string& name)
{
	const vh::ParamInfo* p = FindParameter(name);
	Int32 id = 0;
	if (p)
		id = p->id;
	else if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos)
		id = ParseInt(name, "button");
	else
		throw UsageError{"unknown button '" + name + "'"};
	DescriptionCommand dc;
	dc._descId = DescID(DescLevel(id, DTYPE_BUTTON, 0));
	s.op->Message(MSG_DESCRIPTION_COMMAND, &dc);
	// The attribute panel shows the object again after a command, as the host's panel does.
	BuildPanel(s);
}

BaseMaterial* FindMaterial(Session& s, const std::string& name)
{
	for (BaseMaterial* m = s.doc->GetFirstMaterial(); m; m = m->GetNext())
		if (vh::ToUtf8(m->GetName()) == name)
			return m;
	return nullptr;
}

// SYMBOL[:NAME][:#RRGGBB]
void AddMaterial(Session& s, const std::string& spec)
{
	std::vector<std::string> parts;
	std::stringstream in(spec);
	std::string part;
	while (std::getline(in, part, ':'))
		parts.push_back(part);
	if (parts.empty() || parts[0].empty() || parts.size() > 3)
		throw UsageError{"bad material '" + spec + "' (expected SYMBOL[:NAME][:#RRGGBB])"};
	std::string name = parts[0];
	Vector colour(0.8, 0.8, 0.8);
	for (size_t i = 1; i < parts.size(); ++i)
	{
		if (!parts[i].empty() && parts[i][0] == '#')
		{
			if (parts[i].size() != 7 || parts[i].find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
				throw UsageError{"bad material colour '" + parts[i] + "'"};
			const unsigned long v = std::stoul(parts[i].substr(1), nullptr, 16);
			colour = Vector(((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0);
		}
		else if (!parts[i].empty())
		{
			name = parts[i];
		}
	}
	BaseMaterial* mat = BaseMaterial::Alloc(Mmaterial);
	if (!mat)
		throw UsageError{"cannot create material '" + name + "'"};
	mat->SetName(vh::FromUtf8(name));
	mat->GetDataInstance()->SetVector(MATERIAL_COLOR_COLOR, colour);
	s.doc->InsertMaterial(mat);

	BaseContainer* bc = s.op->GetDataInstance();
	const Int32 group = bc->GetInt32(MOLOBJ_MATERIAL_COUNT);
	Press(s, "MOLOBJ_MATERIAL_ADD");
	bc->SetString(MaterialGroupId(group, MOLOBJ_MAT_SYMBOL), vh::FromUtf8(parts[0]));
	bc->SetLink(MaterialGroupId(group, MOLOBJ_MAT_LINK), mat);
	s.op->SetDirty(DIRTYFLAGS::DATA);
}

void SetGroupField(Session& s, const std::string& index, const std::string& field, const std::string& value)
{
	const Int32 i = ParseInt(index, "group");
	if (i < 0 || i >= MOLOBJ_MAT_GROUP_LIMIT)
		throw UsageError{"group index out of range: " + index};
	BaseContainer* bc = s.op->GetDataInstance();
	if (field == "symbol")
		bc->SetString(MaterialGroupId(i, MOLOBJ_MAT_SYMBOL), vh::FromUtf8(value));
	else if (field == "material")
		bc->SetLink(MaterialGroupId(i, MOLOBJ_MAT_LINK), FindMaterial(s, value));
	else if (field == "use")
		bc->SetBool(MaterialGroupId(i, MOLOBJ_MAT_USE), ParseBool(value, field));
	else if (field == "projection")
		bc->SetInt32(MaterialGroupId(i, MOLOBJ_MAT_PROJECTION), ParseInt(value, field));
	else if (field == "offsetU")
		bc->SetFloat(MaterialGroupId(i, MOLOBJ_MAT_OFFSET_U), ParseFloat(value, field));
	else if (field == "offsetV")
		bc->SetFloat(MaterialGroupId(i, MOLOBJ_MAT_OFFSET_V), ParseFloat(value, field));
	else if (field == "tilesU")
		bc->SetFloat(MaterialGroupId(i, MOLOBJ_MAT_TILES_U), ParseFloat(value, field));
	else if (field == "tilesV")
		bc->SetFloat(MaterialGroupId(i, MOLOBJ_MAT_TILES_V), ParseFloat(value, field));
	else
		throw UsageError{"unknown group field '" + field + "'"};
	s.op->SetDirty(DIRTYFLAGS::DATA);
}

void Load(Session& s, const std::string& file)
{
	s.op->GetDataInstance()->SetFilename(MOLOBJ_FILE, Filename(vh::FromUtf8(s.Resolve(file))));
	Press(s, "MOLOBJ_LOAD");
}

// 0 written, 1 failed (message on stderr). The time reported runs from `began` when given, else
// it is the writer's own.
int Export(Session& s, const std::string& out, const std::chrono::steady_clock::time_point* began = nullptr)
{
	vh::ExportSummary summary;
	std::string error;
	if (!vh::ExportGltf(s.doc, Filename(vh::FromUtf8(out)), &summary, &error))
	{
		std::cerr << "vireltan-host: export failed: " << error << "\n";
		return 1;
	}
	const double seconds =
		began ? std::chrono::duration<double>(std::chrono::steady_clock::now() - *began).count() : summary.seconds;
	const Vireltan* data = static_cast<const Vireltan*>(s.op->GetNodeData());
	std::cout << out << ": " << data->atoms.GetCount() << " atoms, " << data->bonds.GetCount() << " bonds, "
			  << summary.objects << " objects, " << summary.triangles << " triangles, " << summary.bytes << " bytes, "
			  << std::fixed << std::setprecision(3) << seconds << " s\n";
	return 0;
}

std::vector<std::string> Words(const std::string& line)
{
	std::vector<std::string> words;
	std::stringstream in(line);
	std::string w;
	while (in >> w)
		words.push_back(w);
	return words;
}

// Rest of the line after the first n words (keeps blanks inside file names).
std::string Rest(const std::string& line, size_t n)
{
	size_t pos = 0;
	for (size_t i = 0; i < n; ++i)
	{
		pos = line.find_first_not_of(" \t", pos);
		pos = line.find_first_of(" \t", pos);
		if (pos == std::string::npos)
			return "";
	}
	pos = line.find_first_not_of(" \t", pos);
	if (pos == std::string::npos)
		return "";
	std::string rest = line.substr(pos);
	rest.erase(rest.find_last_not_of(" \t\r") + 1);
	return rest;
}

int RunScript(Session& s, const std::string& script)
{
	std::ifstream in(script);
	if (!in)
		throw UsageError{"cannot read script '" + script + "'"};
	const size_t slash = script.find_last_of('/');
	s.baseFolder = slash == std::string::npos ? "." : script.substr(0, slash);
	std::string line;
	int number = 0;
	int status = 0;
	while (std::getline(in, line))
	{
		++number;
		const size_t hash = line.find('#');
		if (hash != std::string::npos)
			line = line.substr(0, hash);
		const std::vector<std::string> w = Words(line);
		if (w.empty())
			continue;
		const std::string& step = w[0];
		try
		{
			if (step == "set" && w.size() >= 3)
				SetParameter(s, w[1], Rest(line, 2));
			else if (step == "press" && w.size() == 2)
				Press(s, w[1]);
			else if (step == "answer" && w.size() == 2 && (w[1] == "yes" || w[1] == "no"))
				vh::SetQuestionAnswer(w[1] == "yes" ? GEMB_R::V_YES : GEMB_R::V_NO);
			else if (step == "material" && w.size() == 2)
				AddMaterial(s, w[1]);
			else if (step == "group" && w.size() >= 4)
				SetGroupField(s, w[1], w[2], Rest(line, 3));
			else if (step == "load" && w.size() >= 2)
				Load(s, Rest(line, 1));
			else if (step == "evaluate" && w.size() == 1)
				vh::EvaluateDocument(s.doc);
			else if (step == "copy" && w.size() == 1)
			{
				BaseObject* copy = vh::CloneObject(s.op);
				if (!copy)
					throw UsageError{"the object could not be copied"};
				s.doc->InsertObject(copy, nullptr, s.op);
				s.op = copy;
			}
			else if (step == "save" && w.size() >= 2)
			{
				if (!vh::SaveDocument(s.doc, Filename(vh::FromUtf8(s.Resolve(Rest(line, 1))))))
				{
					std::cerr << "vireltan-host: line " << number << ": the scene could not be saved\n";
					status = 1;
				}
			}
			else if (step == "open" && w.size() >= 2)
			{
				BaseDocument* loaded = vh::LoadDocument(Filename(vh::FromUtf8(s.Resolve(Rest(line, 1)))));
				if (!loaded || !loaded->GetFirstObject())
				{
					if (loaded)
						BaseDocument::Free(loaded);
					std::cerr << "vireltan-host: line " << number << ": the scene could not be opened\n";
					return 1;
				}
				BaseDocument::Free(s.doc);
				s.doc = loaded;
				s.op = loaded->GetFirstObject();
			}
			else if (step == "message" && w.size() == 3 && w[1] == "docinfo")
			{
				DocumentInfoData info;
				info.type = ParseInt(w[2], "docinfo type");
				info.doc = s.doc;
				vh::BroadcastMessage(s.doc, MSG_DOCUMENTINFO, &info);
			}
			else if (step == "dump" && w.size() == 1)
				std::cout << DumpDocument(s.doc).dump(2) << "\n";
			else if (step == "export" && w.size() >= 2)
				status = Export(s, s.Resolve(Rest(line, 1))) ? 1 : status;
			else
				throw UsageError{"unknown or malformed step '" + step + "'"};
		}
		catch (const UsageError& e)
		{
			throw UsageError{"line " + std::to_string(number) + ": " + e.message};
		}
	}
	return status;
}
} // namespace

int main(int argc, char** argv)
{
	CLI::App app{"Loads the Vireltan module headlessly, drives molecule objects, dumps and exports them."};
	app.require_subcommand(1);
	std::string plugins = ExecutableFolder() + "/plugins";
	app.add_option("--plugins", plugins, "folder holding the plug-in folders");

	std::string molfile, output, script;
	std::vector<std::string> sets, materials;
	CLI::App* exportCmd = app.add_subcommand("export", "write the generated molecule as binary glTF");
	exportCmd->add_option("MOLFILE", molfile, "molecule file (.sdf, .mol)")->required();
	exportCmd->add_option("-o", output, "output file (default: the molecule file's name with .glb)");
	CLI::App* dumpCmd = app.add_subcommand("dump", "print the evaluated document as JSON");
	dumpCmd->add_option("MOLFILE", molfile, "molecule file (.sdf, .mol)")->required();
	for (CLI::App* cmd : {exportCmd, dumpCmd})
	{
		cmd->add_option("--set", sets, "NAME=VALUE: set a parameter as the attribute panel does");
		cmd->add_option("--material", materials, "SYMBOL[:NAME][:#RRGGBB]: add a material group");
	}
	CLI::App* runCmd = app.add_subcommand("run", "run a script of steps");
	runCmd->add_option("SCRIPT", script, "script file")->required();

	try
	{
		app.parse(argc, argv);
	}
	catch (const CLI::ParseError& e)
	{
		const int code = app.exit(e);
		return code == 0 ? 0 : 2;
	}

	if (vh::LoadPlugins(plugins) == 0 || !vh::FindObjectPlugin(PLUGIN_ID))
	{
		std::cerr << "vireltan-host: the Vireltan module could not be loaded from " << plugins << "\n";
		vh::UnloadPlugins();
		return 1;
	}

	int status = 0;
	{
		Session session;
		try
		{
			if (!session.NewDocument())
			{
				std::cerr << "vireltan-host: the molecule object could not be created\n";
				status = 1;
			}
			else if (runCmd->parsed())
			{
				status = RunScript(session, script);
			}
			else
			{
				for (const std::string& set : sets)
				{
					const size_t eq = set.find('=');
					if (eq == std::string::npos)
						throw UsageError{"--set expects NAME=VALUE, got '" + set + "'"};
					SetParameter(session, set.substr(0, eq), set.substr(eq + 1));
				}
				for (const std::string& m : materials)
					AddMaterial(session, m);
				const auto began = std::chrono::steady_clock::now();
				// The object shows a message box only when the file could not be read.
				const size_t dialogsBefore = vh::Dialogs().size();
				Load(session, molfile);
				const Bool loadFailed = vh::Dialogs().size() > dialogsBefore;
				vh::EvaluateDocument(session.doc);
				if (dumpCmd->parsed())
				{
					std::cout << DumpDocument(session.doc).dump(2) << "\n";
				}
				else
				{
					if (loadFailed)
					{
						std::cerr << "vireltan-host: the molecule could not be loaded; nothing exported\n";
						status = 1;
					}
					else
					{
						if (output.empty())
						{
							output = molfile;
							const size_t dot = output.find_last_of('.');
							const size_t slash = output.find_last_of('/');
							if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
								output.erase(dot);
							output += ".glb";
						}
						status = Export(session, output, &began);
					}
				}
			}
		}
		catch (const UsageError& e)
		{
			std::cerr << "vireltan-host: " << e.message << "\n";
			status = 2;
		}
	}
	vh::UnloadPlugins();
	return status;
}
