// The description resource reader (see resparser.h).
#include "resparser.h"

#include "maxon/debugdiagnostics.h"

namespace vh
{
namespace
{
struct TypeKeyword
{
	const char* keyword;
	Int32 dtype;
};
const TypeKeyword kTypes[] = {{"LONG", DTYPE_LONG}, {"REAL", DTYPE_REAL}, {"BOOL", DTYPE_BOOL}, {"VECTOR", DTYPE_VECTOR},
	{"COLOR", DTYPE_COLOR}, {"STRING", DTYPE_STRING}, {"FILENAME", DTYPE_FILENAME}, {"LINK", DTYPE_BASELISTLINK},
	{"BUTTON", DTYPE_BUTTON}, {"SEPARATOR", DTYPE_SEPARATOR}, {"STATICTEXT", DTYPE_STATICTEXT}, {"GROUP", DTYPE_GROUP}};

Int32 TypeOfKeyword(const std::string& kw)
{
	for (const TypeKeyword& t : kTypes)
		if (kw == t.keyword)
			return t.dtype;
	return -1;
}

struct NamedValue
{
	const char* name;
	Int32 value;
};
const NamedValue kUnits[] = {{"METER", DESC_UNIT_METER}, {"PERCENT", DESC_UNIT_PERCENT}, {"DEGREE", DESC_UNIT_DEGREE},
	{"REAL", DESC_UNIT_FLOAT}, {"FLOAT", DESC_UNIT_FLOAT}, {"LONG", DESC_UNIT_INT}, {"TIME", DESC_UNIT_TIME}};
const NamedValue kGuis[] = {{"REALSLIDER", CUSTOMGUI_REALSLIDER}, {"REALSLIDERONLY", CUSTOMGUI_REALSLIDERONLY},
	{"LONGSLIDER", CUSTOMGUI_LONGSLIDER}, {"MULTISTRING", CUSTOMGUI_STRINGMULTI}, {"CYCLE", CUSTOMGUI_CYCLE},
	{"CYCLEBUTTON", CUSTOMGUI_CYCLEBUTTON}, {"LINKBOX", CUSTOMGUI_LINKBOX}};
// Type names that ACCEPT/REFUSE lists may use.
const NamedValue kTypeSymbols[] = {{"Opolygon", Opolygon}, {"Ospline", Ospline}, {"Osweep", Osweep}, {"Onull", Onull},
	{"Obase", Obase}, {"Osphere", Osphere}, {"Ocylinder", Ocylinder}, {"Tphong", Tphong}, {"Ttexture", Ttexture},
	{"Mbase", Mbase}, {"Mmaterial", Mmaterial}};
// Groups of the base descriptions that a resource may open and extend.
struct HostGroup
{
	const char* symbol;
	Int32 id;
	const char* label;
};
const HostGroup kHostGroups[] = {{"ID_BASEOBJECT_GROUP1", ID_BASEOBJECT_GROUP1, "Basic"}, {"ID_OBJECTPROPERTIES", ID_OBJECTPROPERTIES, "Object"}};

const HostGroup* FindHostGroup(const std::string& symbol)
{
	for (const HostGroup& g : kHostGroups)
		if (symbol == g.symbol)
			return &g;
	return nullptr;
}

const NamedValue* FindNamed(const NamedValue* begin, const NamedValue* end, const std::string& name)
{
	for (const NamedValue* p = begin; p != end; ++p)
		if (name == p->name)
			return p;
	return nullptr;
}
template <size_t N>
const NamedValue* FindNamed(const NamedValue (&table)[N], const std::string& name)
{
	return FindNamed(table, table + N, name);
}

Bool IsNumeric(Int32 dtype) { return dtype == DTYPE_LONG || dtype == DTYPE_REAL || dtype == DTYPE_VECTOR; }
Bool HoldsValue(Int32 dtype)
{
	return dtype != DTYPE_GROUP && dtype != DTYPE_BUTTON && dtype != DTYPE_SEPARATOR && dtype != DTYPE_STATICTEXT;
}

// Reads one description resource (.res) against its symbols (.h) and labels (.str).
class ResParser
{
public:
	ResParser(const std::vector<Token>& tokens, const std::string& file, const std::string& strFile, const SymbolMap& symbols,
		const std::map<std::string, Label>& labels, ResourceError& err)
		: _c(tokens, file, err), _strFile(strFile), _symbols(symbols), _labels(labels)
	{
	}

	Bool Parse(std::string& containerName, std::vector<Element>& out)
	{
		if (!_c.ExpectKeyword("CONTAINER") || !_c.ExpectIdent(containerName) || !_c.ExpectPunct('{'))
			return false;
		while (!_c.IsPunct('}'))
		{
			if (_c.AtEnd())
				return _c.FailExpected("'}'");
			const Token& t = _c.Peek();
			if (t.kind == Token::Kind::IDENT && t.text == "NAME")
			{
				_c.Next();
				std::string sym;
				if (!_c.ExpectIdent(sym))
					return false;
				if (!_labels.count(sym))
					return _c.Fail(t.line, "'" + sym + "' has no label in " + _strFile);
				if (!_c.ExpectPunct(';'))
					return false;
			}
			else if (t.kind == Token::Kind::IDENT && t.text == "INCLUDE")
			{
				_c.Next();
				std::string base;
				if (!_c.ExpectIdent(base))
					return false;
				if (base != "Obase")
					return _c.Fail(t.line, "unknown base description '" + base + "'");
				if (_includedObase)
					return _c.Fail(t.line, "Obase is included twice");
				_includedObase = true;
				AddObaseEntries();
				if (!_c.ExpectPunct(';'))
					return false;
			}
			else if (!ParseElement(false, 0))
			{
				return false;
			}
		}
		_c.Next();
		if (!_c.AtEnd())
			return _c.FailExpected("end of file");
		out = std::move(_elements);
		return true;
	}

private:
	Element* FindElement(Int32 id)
	{
		for (Element& e : _elements)
			if (e.id == id)
				return &e;
		return nullptr;
	}

	void AddHost(Int32 id, Int32 dtype, const char* name, Bool hasParent, Int32 parent)
	{
		Element e;
		e.id = id;
		e.dtype = dtype;
		e.own = false;
		e.hasParent = hasParent;
		e.parent = parent;
		e.settings = GetCustomDataTypeDefault(dtype);
		e.settings.SetString(DESC_NAME, String(name));
		e.settings.SetString(DESC_SHORT_NAME, String(name));
		_elements.push_back(std::move(e));
	}

	// The base object's own parameters, as far as the headless host keeps them.
	void AddObaseEntries()
	{
		AddHost(ID_BASEOBJECT_GROUP1, DTYPE_GROUP, "Basic", false, 0);
		AddHost(ID_BASELIST_NAME, DTYPE_STRING, "Name", true, ID_BASEOBJECT_GROUP1);
		AddHost(ID_BASEOBJECT_USECOLOR, DTYPE_LONG, "Use Color", true, ID_BASEOBJECT_GROUP1);
		BaseContainer cycle;
		cycle.SetString(ID_BASEOBJECT_USECOLOR_OFF, String("Off"));
		cycle.SetString(ID_BASEOBJECT_USECOLOR_AUTOMATIC, String("Automatic"));
		cycle.SetString(ID_BASEOBJECT_USECOLOR_ALWAYS, String("On"));
		cycle.SetString(ID_BASEOBJECT_USECOLOR_LAYER, String("Layer"));
		_elements.back().settings.SetContainer(DESC_CYCLE, cycle);
		_elements.back().settings.SetInt32(DESC_CUSTOMGUI, CUSTOMGUI_CYCLE);
		AddHost(ID_BASEOBJECT_COLOR, DTYPE_COLOR, "Display Color", true, ID_BASEOBJECT_GROUP1);
		AddHost(ID_BASEOBJECT_XRAY, DTYPE_BOOL, "X-Ray", true, ID_BASEOBJECT_GROUP1);
		AddHost(ID_OBJECTPROPERTIES, DTYPE_GROUP, "Object", false, 0);
	}

	Bool ApplyLabel(Element& e, const std::string& symbol, Int line)
	{
		auto it = _labels.find(symbol);
		if (it == _labels.end())
			return _c.Fail(line, "'" + symbol + "' has no label in " + _strFile);
		e.settings.SetString(DESC_NAME, FromUtf8(it->second.longText));
		e.settings.SetString(DESC_SHORT_NAME, FromUtf8(it->second.shortText));
		return true;
	}

	Int32 AnonymousId()
	{
		for (;;)
		{
			const Int32 id = _nextAnonymous++;
			Bool used = FindElement(id) != nullptr;
			for (const auto& s : _symbols)
				used = used || s.second == id;
			if (!used)
				return id;
		}
	}

	Bool ParseElement(Bool hasParent, Int32 parent)
	{
		const Token kw = _c.Peek();
		if (kw.kind != Token::Kind::IDENT)
			return _c.FailExpected("an element");
		const Int32 dtype = TypeOfKeyword(kw.text);
		if (dtype < 0)
			return _c.Fail(kw.line, "unknown element type '" + kw.text + "'");
		_c.Next();

		Element fresh;
		fresh.dtype = dtype;
		fresh.line = kw.line;
		fresh.hasParent = hasParent;
		fresh.parent = parent;
		Element* target = &fresh;
		Bool reopened = false;

		if (_c.IsIdent())
		{
			const Token sym = _c.Next();
			auto it = _symbols.find(sym.text);
			const HostGroup* hostGroup = FindHostGroup(sym.text);
			if (it != _symbols.end())
			{
				fresh.id = it->second;
				fresh.symbol = sym.text;
				if (const Element* prev = FindElement(fresh.id))
				{
					const std::string where = prev->own ? " (first used at line " + std::to_string(prev->line) + ")" : " (taken by the base description)";
					return _c.Fail(sym.line, "duplicate id " + std::to_string(fresh.id) + " of '" + sym.text + "'" + where);
				}
			}
			else if (hostGroup && dtype == DTYPE_GROUP)
			{
				if (Element* prev = FindElement(hostGroup->id))
				{
					target = prev;
					reopened = true;
				}
				else
				{
					fresh.id = hostGroup->id;
					fresh.own = false;
					fresh.settings.SetString(DESC_NAME, String(hostGroup->label));
					fresh.settings.SetString(DESC_SHORT_NAME, String(hostGroup->label));
				}
			}
			else
			{
				return _c.Fail(sym.line, "unknown symbol '" + sym.text + "'");
			}
		}
		else if (dtype == DTYPE_GROUP || dtype == DTYPE_SEPARATOR || dtype == DTYPE_STATICTEXT)
		{
			fresh.id = AnonymousId();
		}
		else
		{
			return _c.FailExpected("the symbol of the " + kw.text);
		}

		if (!reopened)
		{
			BaseContainer defaults = GetCustomDataTypeDefault(dtype);
			for (Int32 i = 0; i < fresh.settings.GetCount(); ++i)
				defaults.SetData(fresh.settings.GetIndexId(i), *fresh.settings.GetIndexData(i));
			fresh.settings = defaults;
		}

		if (!_c.ExpectPunct('{'))
			return false;
		std::string nameSymbol;
		Int nameLine = 0;
		// Children are added after their group; keep the group's index, the vector may grow.
		size_t index = 0;
		if (!reopened)
		{
			_elements.push_back(std::move(fresh));
			index = _elements.size() - 1;
		}
		else
		{
			index = static_cast<size_t>(target - _elements.data());
		}
		while (!_c.IsPunct('}'))
		{
			if (_c.AtEnd())
				return _c.FailExpected("'}'");
			const Token& t = _c.Peek();
			if (dtype == DTYPE_GROUP && t.kind == Token::Kind::IDENT && TypeOfKeyword(t.text) >= 0)
			{
				if (!ParseElement(true, _elements[index].id))
					return false;
				continue;
			}
			if (dtype == DTYPE_GROUP && t.kind == Token::Kind::IDENT && t.text == "NAME")
			{
				_c.Next();
				nameLine = t.line;
				if (!_c.ExpectIdent(nameSymbol) || !_c.ExpectPunct(';'))
					return false;
				continue;
			}
			if (!ParseFlag(_elements[index]))
				return false;
		}
		_c.Next();

		Element& e = _elements[index];
		if (!nameSymbol.empty())
			return ApplyLabel(e, nameSymbol, nameLine);
		if (e.own && !e.symbol.empty())
			return ApplyLabel(e, e.symbol, e.line);
		return true;
	}

	Bool FlagNotAllowed(const Token& flag, const Element& e)
	{
		return _c.Fail(flag.line, "'" + flag.text + "' is not allowed for " + (e.symbol.empty() ? "this element" : "'" + e.symbol + "'"));
	}

	Bool ReadNumber(const Element& e, GeData& value)
	{
		if (e.dtype == DTYPE_LONG)
		{
			Int32 v = 0;
			if (!_c.ExpectInt(v))
				return false;
			value = GeData(v);
			return true;
		}
		Float v = 0.0;
		if (!_c.ExpectFloat(v))
			return false;
		value = GeData(v);
		return true;
	}

	Bool ParseList(const Token& flag, Element& e, Bool cycle)
	{
		if (!_c.ExpectPunct('{'))
			return false;
		BaseContainer list;
		while (!_c.IsPunct('}'))
		{
			const Token item = _c.Peek();
			if (cycle && item.kind == Token::Kind::NUMBER && item.text == "-1")
			{
				_c.Next();
			}
			else if (cycle)
			{
				std::string sym;
				if (!_c.ExpectIdent(sym))
					return false;
				auto it = _symbols.find(sym);
				if (it == _symbols.end())
					return _c.Fail(item.line, "unknown symbol '" + sym + "'");
				auto label = _labels.find(sym);
				if (label == _labels.end())
					return _c.Fail(item.line, "cycle entry '" + sym + "' has no label in " + _strFile);
				if (list.GetData(it->second).GetType() != DA_NIL)
					return _c.Fail(item.line, "cycle value " + std::to_string(it->second) + " of '" + sym + "' is listed twice");
				list.SetString(it->second, FromUtf8(label->second.longText));
			}
			else if (item.kind == Token::Kind::NUMBER)
			{
				Int32 type = 0;
				if (!_c.ExpectInt(type))
					return false;
				list.SetString(type, FromUtf8(item.text));
			}
			else
			{
				std::string sym;
				if (!_c.ExpectIdent(sym))
					return false;
				const NamedValue* type = FindNamed(kTypeSymbols, sym);
				if (!type)
					return _c.Fail(item.line, "unknown type '" + sym + "' in " + flag.text);
				list.SetString(type->value, FromUtf8(sym));
			}
			if (!_c.ExpectPunct(';'))
				return false;
		}
		_c.Next();
		if (cycle)
		{
			e.settings.SetContainer(DESC_CYCLE, list);
			e.settings.SetInt32(DESC_CUSTOMGUI, CUSTOMGUI_CYCLE);
		}
		else
		{
			e.settings.SetContainer(flag.text == "ACCEPT" ? DESC_ACCEPT : DESC_REFUSE, list);
		}
		return true;
	}

	Bool ParseFlag(Element& e)
	{
		const Token flag = _c.Peek();
		if (flag.kind != Token::Kind::IDENT)
			return _c.FailExpected("a setting");
		_c.Next();
		const std::string& f = flag.text;
		const Bool isGroup = e.dtype == DTYPE_GROUP;

		if (f == "CYCLE" || f == "ACCEPT" || f == "REFUSE")
		{
			const Bool cycle = f == "CYCLE";
			if ((cycle && e.dtype != DTYPE_LONG) || (!cycle && e.dtype != DTYPE_BASELISTLINK))
				return FlagNotAllowed(flag, e);
			return ParseList(flag, e, cycle);
		}

		if (f == "MIN" || f == "MAX" || f == "STEP" || f == "MINSLIDER" || f == "MAXSLIDER")
		{
			if (!IsNumeric(e.dtype))
				return FlagNotAllowed(flag, e);
			GeData v;
			if (!ReadNumber(e, v))
				return false;
			const Int32 key = f == "MIN" ? DESC_MIN : f == "MAX" ? DESC_MAX : f == "STEP" ? DESC_STEP : f == "MINSLIDER" ? DESC_MINSLIDER : DESC_MAXSLIDER;
			e.settings.SetData(key, v);
		}
		else if (f == "MINEX" || f == "MAXEX")
		{
			if (!IsNumeric(e.dtype))
				return FlagNotAllowed(flag, e);
			e.settings.SetBool(f == "MINEX" ? DESC_MINEX : DESC_MAXEX, true);
		}
		else if (f == "UNIT")
		{
			if (e.dtype != DTYPE_REAL && e.dtype != DTYPE_VECTOR && e.dtype != DTYPE_LONG)
				return FlagNotAllowed(flag, e);
			std::string unit;
			if (!_c.ExpectIdent(unit))
				return false;
			const NamedValue* u = FindNamed(kUnits, unit);
			if (!u)
				return _c.Fail(flag.line, "unknown unit '" + unit + "'");
			e.settings.SetInt32(DESC_UNIT, u->value);
		}
		else if (f == "CUSTOMGUI")
		{
			std::string gui;
			if (!_c.ExpectIdent(gui))
				return false;
			const NamedValue* g = FindNamed(kGuis, gui);
			if (!g)
				return _c.Fail(flag.line, "unknown custom GUI '" + gui + "'");
			e.settings.SetInt32(DESC_CUSTOMGUI, g->value);
		}
		else if (f == "ANIM")
		{
			if (!HoldsValue(e.dtype))
				return FlagNotAllowed(flag, e);
			std::string mode;
			if (!_c.ExpectIdent(mode))
				return false;
			if (mode != "ON" && mode != "OFF" && mode != "MIX")
				return _c.Fail(flag.line, "ANIM takes ON, OFF or MIX, not '" + mode + "'");
			e.settings.SetInt32(DESC_ANIMATE, mode == "ON" ? DESC_ANIMATE_ON : mode == "OFF" ? DESC_ANIMATE_OFF : DESC_ANIMATE_MIX);
		}
		else if (f == "DEFAULT")
		{
			if (isGroup || e.dtype == DTYPE_LONG || e.dtype == DTYPE_BOOL)
			{
				Int32 v = 0;
				if (!_c.ExpectInt(v))
					return false;
				e.settings.SetInt32(DESC_DEFAULT, v);
			}
			else if (e.dtype == DTYPE_REAL)
			{
				Float v = 0.0;
				if (!_c.ExpectFloat(v))
					return false;
				e.settings.SetFloat(DESC_DEFAULT, v);
			}
			else if (e.dtype == DTYPE_VECTOR || e.dtype == DTYPE_COLOR)
			{
				Vector v;
				if (!_c.ExpectFloat(v.x) || !_c.ExpectFloat(v.y) || !_c.ExpectFloat(v.z))
					return false;
				e.settings.SetVector(DESC_DEFAULT, v);
			}
			else
			{
				return FlagNotAllowed(flag, e);
			}
		}
		else if (f == "COLUMNS")
		{
			if (!isGroup)
				return FlagNotAllowed(flag, e);
			Int32 v = 0;
			if (!_c.ExpectInt(v))
				return false;
			if (v < 1)
				return _c.Fail(flag.line, "COLUMNS must be at least 1");
			e.settings.SetInt32(DESC_COLUMNS, v);
		}
		else if (f == "LAYOUTGROUP")
		{
			if (!isGroup)
				return FlagNotAllowed(flag, e);
			e.settings.SetBool(DESC_LAYOUTGROUP, true);
		}
		else if (f == "PARENTID")
		{
			if (isGroup)
				return FlagNotAllowed(flag, e);
			std::string sym;
			if (!_c.ExpectIdent(sym))
				return false;
			auto it = _symbols.find(sym);
			if (it == _symbols.end())
				return _c.Fail(flag.line, "unknown symbol '" + sym + "'");
			e.settings.SetInt32(DESC_PARENTID, it->second);
		}
		else if (f == "HIDDEN")
			e.settings.SetBool(DESC_HIDE, true);
		else if (f == "SCALE_H")
			e.settings.SetBool(DESC_SCALEH, true);
		else if (f == "FIT_H")
			e.settings.SetBool(DESC_FITH, true);
		else if (f == "OPEN")
			e.settings.SetBool(DESC_GUIOPEN, true);
		else if (f == "ALIGN_LEFT" || f == "ALIGN_RIGHT")
		{
			// Layout only; the headless host draws no panel.
		}
		else if (f == "DIRECTORY")
		{
			if (e.dtype != DTYPE_FILENAME)
				return FlagNotAllowed(flag, e);
		}
		else if (f == "LINE")
		{
			if (e.dtype != DTYPE_SEPARATOR)
				return FlagNotAllowed(flag, e);
			e.settings.SetBool(DESC_SEPARATORLINE, true);
		}
		else
		{
			return _c.Fail(flag.line, "unknown setting '" + f + "'");
		}
		if (!_c.ExpectPunct(';'))
			return false;
		return true;
	}

	Cursor _c;
	std::string _strFile;
	const SymbolMap& _symbols;
	const std::map<std::string, Label>& _labels;
	Bool _includedObase = false;
	std::vector<Element> _elements;
	Int32 _nextAnonymous = 1000000000;
};
} // namespace

Bool ParseResFile(const std::vector<Token>& tokens, const std::string& file, const std::string& strFile, const SymbolMap& symbols,
	const std::map<std::string, Label>& labels, std::string& containerName, std::vector<Element>& out, ResourceError& err)
{
	ResParser parser(tokens, file, strFile, symbols, labels, err);
	return parser.Parse(containerName, out);
}
} // namespace vh
