// The session's document and the panel actions the command line and the script steps share.
#include "session.h"

#include <cmath>
#include <iomanip>
#include <sstream>

#include "molecule.h"
#include "vh/host.h"

namespace tool
{
const Vireltan* MoleculeData(BaseObject* op)
{
	return molecule::Data(op);
}

std::string Printable(const std::string& text)
{
	static const char digits[] = "0123456789abcdef";
	std::string out;
	out.reserve(text.size());
	for (const char c : text)
	{
		const unsigned char b = static_cast<unsigned char>(c);
		if (b < 0x20 || b == 0x7f)
		{
			out += "\\x";
			out += digits[b >> 4];
			out += digits[b & 15];
		}
		else
		{
			out += c;
		}
	}
	return out;
}

Session::~Session()
{
	if (doc)
		BaseDocument::Free(doc);
}

Bool Session::NewDocument()
{
	doc = BaseDocument::Alloc();
	op = doc ? vh::AllocPluginObject(ID_VIRELTAN, &initOk) : nullptr;
	if (!op)
		return false;
	doc->InsertObject(op, nullptr, nullptr);
	return true;
}

std::string Session::Resolve(const std::string& path) const
{
	return (path.empty() || path[0] == '/') ? path : baseFolder + "/" + path;
}

namespace
{
const vh::ParamInfo* FindParameter(const std::string& name)
{
	static const std::vector<vh::ParamInfo> params = vh::DescriptionParameters("oxvireltan"_s);
	for (const vh::ParamInfo& p : params)
		if (p.symbol == name)
			return &p;
	return nullptr;
}

Vector ParseColour(const std::string& text, const std::string& what)
{
	std::vector<Float> parts;
	std::stringstream in(text);
	std::string part;
	while (std::getline(in, part, ','))
		parts.push_back(ParseFloat(part, what));
	if (parts.size() != 3 || !std::isfinite(parts[0]) || !std::isfinite(parts[1]) || !std::isfinite(parts[2]))
		throw UsageError{"bad colour for " + what + ": '" + text + "' (expected r,g,b, three finite numbers)"};
	return Vector(parts[0], parts[1], parts[2]);
}

std::string NumberText(Float v)
{
	if (std::abs(v) < 1e15 && v == std::floor(v))
		return std::to_string(static_cast<long long>(v));
	std::ostringstream out;
	out << std::setprecision(10) << v;
	return out.str();
}

std::string RangeText(const vh::ParamRange& r)
{
	if (!r.cycle.empty())
	{
		std::string values;
		for (Int32 c : r.cycle)
			values += (values.empty() ? "" : ", ") + std::to_string(c);
		return "one of " + values;
	}
	const std::string low = r.hasMin ? NumberText(r.min) + (r.minExclusive ? " (excluded)" : "") : "";
	const std::string high = r.hasMax ? NumberText(r.max) + (r.maxExclusive ? " (excluded)" : "") : "";
	if (r.hasMin && r.hasMax)
		return "from " + low + " to " + high;
	return r.hasMin ? "at least " + low : "at most " + high;
}

// The attribute panel lets through only what the object's description allows.
void CheckRange(const vh::ParamInfo& p, const GeData& value)
{
	if (p.dtype != DTYPE_LONG && p.dtype != DTYPE_REAL)
		return;
	vh::ParamRange range;
	if (!vh::DescriptionRange("oxvireltan"_s, p.id, &range))
		return;
	const Float v = p.dtype == DTYPE_LONG ? Float(value.GetInt32()) : value.GetFloat();
	if (!vh::InRange(range, v))
		throw UsageError{p.symbol + " must be " + RangeText(range) + ", got " + NumberText(v)};
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

// Whether the attribute panel shows the parameter: a user cannot type into a hidden one (the
// material group count, which only the add and remove buttons keep).
Bool PanelShows(Session& s, const vh::ParamInfo& p)
{
	Description* d = Description::Alloc();
	if (!d)
		return false;
	DESCFLAGS_DESC flags = DESCFLAGS_DESC::NONE;
	if (NodeData* data = s.op->GetNodeData())
		data->GetDDescription(s.op, d, flags);
	const BaseContainer* bc = d->GetParameterI(DescID(DescLevel(p.id, p.dtype, 0)), nullptr);
	const Bool shown = bc && !bc->GetBool(DESC_HIDE);
	Description::Free(d);
	return shown;
}

BaseMaterial* FindMaterial(Session& s, const std::string& name)
{
	for (BaseMaterial* m = s.doc->GetFirstMaterial(); m; m = m->GetNext())
		if (vh::ToUtf8(m->GetName()) == name)
			return m;
	return nullptr;
}
} // namespace

Bool HasValue(Int32 dtype)
{
	return dtype == DTYPE_BOOL || dtype == DTYPE_LONG || dtype == DTYPE_REAL || dtype == DTYPE_COLOR ||
		dtype == DTYPE_VECTOR || dtype == DTYPE_STRING || dtype == DTYPE_FILENAME;
}

namespace
{
std::string UpperTrimmed(const std::string& text)
{
	const size_t first = text.find_first_not_of(" \t");
	if (first == std::string::npos)
		return "";
	std::string key = text.substr(first, text.find_last_not_of(" \t") + 1 - first);
	for (char& c : key)
		c = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
	return key;
}

Bool IsElementSymbol(const std::string& symbol)
{
	if (symbol.empty() || symbol.size() > 3)
		return false;
	for (char c : symbol)
		if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
			return false;
	return true;
}
} // namespace

std::string ElementTableProblem(Session& s)
{
	const std::string table = "the element table (ptable.csv in the module's res folder)";
	const Vireltan* data = MoleculeData(s.op);
	if (!s.initOk || !data)
		return table + " is missing or unreadable";
	if (data->elements.GetCount() == 0)
		return table + " is empty";
	for (Int i = 0; i < data->elements.GetCount(); ++i)
		if (!IsElementSymbol(vh::ToUtf8(data->elements[i].symbol)))
			return table + " is damaged: record " + std::to_string(i + 1) + " has no element symbol";
	return "";
}

Bool KnownGroupSymbol(Session& s, const std::string& symbol)
{
	const std::string key = UpperTrimmed(symbol);
	if (key == NUCLEUS_GROUP_SYMBOL)
		return true;
	for (const char* bond : BOND_GROUP_SYMBOLS)
		if (key == bond)
			return true;
	if (const Vireltan* data = MoleculeData(s.op))
		for (const ElementRecord& e : data->elements)
			if (UpperTrimmed(vh::ToUtf8(e.symbol)) == key)
				return true;
	return false;
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

void SetParameter(Session& s, const std::string& name, const std::string& value)
{
	const vh::ParamInfo* p = FindParameter(name);
	if (!p || !HasValue(p->dtype))
		throw UsageError{"unknown parameter '" + name + "'"};
	if (!PanelShows(s, *p))
		throw UsageError{name + " is kept by the object itself and cannot be set (the attribute panel does not show it)"};
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
	CheckRange(*p, data);
	const DescID id(DescLevel(p->id, p->dtype, 0));
	s.op->SetParameter(id, data, DESCFLAGS_SET::USERINTERACTION);
	DescriptionPostSetValue msg;
	msg.descid = &id;
	s.op->Message(MSG_DESCRIPTION_POSTSETPARAMETER, &msg);
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

void AddMaterial(Session& s, const std::string& spec)
{
	const std::string form = " (expected SYMBOL[:NAME][:#RRGGBB])";
	std::vector<std::string> parts;
	std::stringstream in(spec);
	std::string part;
	while (std::getline(in, part, ':'))
		parts.push_back(part);
	if (parts.empty() || parts[0].empty() || parts.size() > 3)
		throw UsageError{"bad material '" + spec + "'" + form};
	if (!KnownGroupSymbol(s, parts[0]))
		throw UsageError{"unknown symbol '" + parts[0] + "' in material '" + spec +
			"' (an element symbol of the table, BD1 to BD4 for bonds, or NUC for nuclei)"};
	std::string name = parts[0];
	Vector colour(0.8, 0.8, 0.8);
	Bool named = false, coloured = false;
	for (size_t i = 1; i < parts.size(); ++i)
	{
		if (!parts[i].empty() && parts[i][0] == '#' && !coloured)
		{
			if (parts[i].size() != 7 || parts[i].find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
				throw UsageError{"bad material colour '" + parts[i] + "' (expected #RRGGBB)"};
			Bool error = false;
			colour = HexColour(vh::FromUtf8(parts[i].substr(1)), &error);
			coloured = true;
		}
		else if (!parts[i].empty() && !named && !coloured)
		{
			name = parts[i];
			named = true;
		}
		else if (!parts[i].empty())
		{
			throw UsageError{"bad material colour '" + parts[i] + "' in '" + spec + "'" + form};
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

void ApplyOptions(Session& s, const MoleculeOptions& options)
{
	for (const std::string& set : options.sets)
	{
		const size_t eq = set.find('=');
		if (eq == std::string::npos)
			throw UsageError{"--set expects NAME=VALUE, got '" + set + "'"};
		SetParameter(s, set.substr(0, eq), set.substr(eq + 1));
	}
	for (const std::string& m : options.materials)
		AddMaterial(s, m);
}

Bool LoadMolecule(Session& s, const MoleculeOptions& options)
{
	ApplyOptions(s, options);
	Load(s, options.molfile);
	const Vireltan* data = MoleculeData(s.op);
	const Bool loaded = data && !molecule::LoadFailed(*data);
	vh::EvaluateDocument(s.doc);
	return loaded;
}
} // namespace tool
