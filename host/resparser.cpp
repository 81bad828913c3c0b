// The description resource reader (see resparser.h).
#include "resparser.h"

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

// Which element types a setting is allowed for.
Bool IsNumeric(Int32 dtype) { return dtype == DTYPE_LONG || dtype == DTYPE_REAL || dtype == DTYPE_VECTOR; }
Bool HoldsValue(Int32 dtype)
{
	return dtype != DTYPE_GROUP && dtype != DTYPE_BUTTON && dtype != DTYPE_SEPARATOR && dtype != DTYPE_STATICTEXT;
}
Bool IsGroup(Int32 dtype) { return dtype == DTYPE_GROUP; }
Bool IsNotGroup(Int32 dtype) { return dtype != DTYPE_GROUP; }
Bool IsLong(Int32 dtype) { return dtype == DTYPE_LONG; }
Bool IsLink(Int32 dtype) { return dtype == DTYPE_BASELISTLINK; }
Bool IsFilename(Int32 dtype) { return dtype == DTYPE_FILENAME; }
Bool IsSeparator(Int32 dtype) { return dtype == DTYPE_SEPARATOR; }
Bool TakesDefault(Int32 dtype)
{
	return dtype == DTYPE_GROUP || dtype == DTYPE_LONG || dtype == DTYPE_BOOL || dtype == DTYPE_REAL || dtype == DTYPE_VECTOR ||
		dtype == DTYPE_COLOR;
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
		Element* reopened = nullptr;
		if (!ReadElementId(kw, fresh, reopened))
			return false;
		if (!reopened)
			TakeTypeDefaults(fresh);
		if (!_c.ExpectPunct('{'))
			return false;
		// Children are added after their group; keep the group's index, the vector may grow.
		size_t index = 0;
		if (!reopened)
		{
			_elements.push_back(std::move(fresh));
			index = _elements.size() - 1;
		}
		else
		{
			index = static_cast<size_t>(reopened - _elements.data());
		}
		return ParseElementBody(index, dtype);
	}

	// The element's symbol and id. A host group named again is reopened (its element returned in
	// reopened) rather than made anew; groups, separators and texts may go without a symbol.
	Bool ReadElementId(const Token& kw, Element& fresh, Element*& reopened)
	{
		const Int32 dtype = fresh.dtype;
		if (!_c.IsIdent())
		{
			if (dtype != DTYPE_GROUP && dtype != DTYPE_SEPARATOR && dtype != DTYPE_STATICTEXT)
				return _c.FailExpected("the symbol of the " + kw.text);
			fresh.id = AnonymousId();
			return true;
		}
		const Token sym = _c.Next();
		auto it = _symbols.find(sym.text);
		if (it != _symbols.end())
		{
			fresh.id = it->second;
			fresh.symbol = sym.text;
			if (const Element* prev = FindElement(fresh.id))
			{
				const std::string where = prev->own ? " (first used at line " + std::to_string(prev->line) + ")" : " (taken by the base description)";
				return _c.Fail(sym.line, "duplicate id " + std::to_string(fresh.id) + " of '" + sym.text + "'" + where);
			}
			return true;
		}
		const HostGroup* hostGroup = FindHostGroup(sym.text);
		if (!hostGroup || dtype != DTYPE_GROUP)
			return _c.Fail(sym.line, "unknown symbol '" + sym.text + "'");
		if (Element* prev = FindElement(hostGroup->id))
		{
			reopened = prev;
			return true;
		}
		fresh.id = hostGroup->id;
		fresh.own = false;
		fresh.settings.SetString(DESC_NAME, String(hostGroup->label));
		fresh.settings.SetString(DESC_SHORT_NAME, String(hostGroup->label));
		return true;
	}

	// The type's default settings under what the element already has.
	static void TakeTypeDefaults(Element& e)
	{
		BaseContainer defaults = GetCustomDataTypeDefault(e.dtype);
		for (Int32 i = 0; i < e.settings.GetCount(); ++i)
			defaults.SetData(e.settings.GetIndexId(i), *e.settings.GetIndexData(i));
		e.settings = defaults;
	}

	// { children and NAME (groups only), settings } of the element at index, then its label.
	Bool ParseElementBody(size_t index, Int32 dtype)
	{
		std::string nameSymbol;
		Int nameLine = 0;
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

	// One setting an element may carry: its keyword, the element types that may have it (nullptr:
	// every type), how its value is read, and the description key it sets.
	struct FlagRule
	{
		const char* keyword;
		Bool (*allowed)(Int32 dtype);
		Bool (ResParser::*read)(const Token& flag, Int32 key, Element& e);
		Int32 key;
		Bool braced; // ends with its braced list instead of ';'
	};

	static const FlagRule* FindFlagRule(const std::string& keyword)
	{
		static const FlagRule kRules[] = {
			{"CYCLE", IsLong, &ResParser::ReadCycle, DESC_CYCLE, true},
			{"ACCEPT", IsLink, &ResParser::ReadTypeList, DESC_ACCEPT, true},
			{"REFUSE", IsLink, &ResParser::ReadTypeList, DESC_REFUSE, true},
			{"MIN", IsNumeric, &ResParser::ReadLimit, DESC_MIN, false},
			{"MAX", IsNumeric, &ResParser::ReadLimit, DESC_MAX, false},
			{"STEP", IsNumeric, &ResParser::ReadLimit, DESC_STEP, false},
			{"MINSLIDER", IsNumeric, &ResParser::ReadLimit, DESC_MINSLIDER, false},
			{"MAXSLIDER", IsNumeric, &ResParser::ReadLimit, DESC_MAXSLIDER, false},
			{"MINEX", IsNumeric, &ResParser::SetTrue, DESC_MINEX, false},
			{"MAXEX", IsNumeric, &ResParser::SetTrue, DESC_MAXEX, false},
			{"UNIT", IsNumeric, &ResParser::ReadUnit, DESC_UNIT, false},
			{"CUSTOMGUI", nullptr, &ResParser::ReadGui, DESC_CUSTOMGUI, false},
			{"ANIM", HoldsValue, &ResParser::ReadAnim, DESC_ANIMATE, false},
			{"DEFAULT", TakesDefault, &ResParser::ReadDefault, DESC_DEFAULT, false},
			{"COLUMNS", IsGroup, &ResParser::ReadColumns, DESC_COLUMNS, false},
			{"LAYOUTGROUP", IsGroup, &ResParser::SetTrue, DESC_LAYOUTGROUP, false},
			{"PARENTID", IsNotGroup, &ResParser::ReadParentId, DESC_PARENTID, false},
			{"HIDDEN", nullptr, &ResParser::SetTrue, DESC_HIDE, false},
			{"SCALE_H", nullptr, &ResParser::SetTrue, DESC_SCALEH, false},
			{"FIT_H", nullptr, &ResParser::SetTrue, DESC_FITH, false},
			{"OPEN", nullptr, &ResParser::SetTrue, DESC_GUIOPEN, false},
			// Layout only: the headless host draws no panel, and a file dialog is no concern of it.
			{"ALIGN_LEFT", nullptr, &ResParser::Ignore, 0, false},
			{"ALIGN_RIGHT", nullptr, &ResParser::Ignore, 0, false},
			{"DIRECTORY", IsFilename, &ResParser::Ignore, 0, false},
			{"LINE", IsSeparator, &ResParser::SetTrue, DESC_SEPARATORLINE, false},
		};
		for (const FlagRule& r : kRules)
			if (keyword == r.keyword)
				return &r;
		return nullptr;
	}

	Bool ParseFlag(Element& e)
	{
		const Token flag = _c.Peek();
		if (flag.kind != Token::Kind::IDENT)
			return _c.FailExpected("a setting");
		_c.Next();
		const FlagRule* rule = FindFlagRule(flag.text);
		if (!rule)
			return _c.Fail(flag.line, "unknown setting '" + flag.text + "'");
		if (rule->allowed && !rule->allowed(e.dtype))
			return FlagNotAllowed(flag, e);
		if (!(this->*rule->read)(flag, rule->key, e))
			return false;
		return rule->braced || _c.ExpectPunct(';');
	}

	// ---- the readers of the settings' values ----

	Bool SetTrue(const Token&, Int32 key, Element& e)
	{
		e.settings.SetBool(key, true);
		return true;
	}

	Bool Ignore(const Token&, Int32, Element&) { return true; }

	// An integer for LONG elements, a number for the others.
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

	Bool ReadLimit(const Token&, Int32 key, Element& e)
	{
		GeData v;
		if (!ReadNumber(e, v))
			return false;
		e.settings.SetData(key, v);
		return true;
	}

	// A name from one of the tables of named values.
	template <size_t N>
	Bool ReadNamed(const Token& flag, const NamedValue (&table)[N], const char* what, Int32 key, Element& e)
	{
		std::string name;
		if (!_c.ExpectIdent(name))
			return false;
		const NamedValue* v = FindNamed(table, name);
		if (!v)
			return _c.Fail(flag.line, std::string("unknown ") + what + " '" + name + "'");
		e.settings.SetInt32(key, v->value);
		return true;
	}

	Bool ReadUnit(const Token& flag, Int32 key, Element& e) { return ReadNamed(flag, kUnits, "unit", key, e); }
	Bool ReadGui(const Token& flag, Int32 key, Element& e) { return ReadNamed(flag, kGuis, "custom GUI", key, e); }

	Bool ReadAnim(const Token& flag, Int32 key, Element& e)
	{
		std::string mode;
		if (!_c.ExpectIdent(mode))
			return false;
		if (mode != "ON" && mode != "OFF" && mode != "MIX")
			return _c.Fail(flag.line, "ANIM takes ON, OFF or MIX, not '" + mode + "'");
		e.settings.SetInt32(key, mode == "ON" ? DESC_ANIMATE_ON : mode == "OFF" ? DESC_ANIMATE_OFF : DESC_ANIMATE_MIX);
		return true;
	}

	// The default in the element's own type: integers for groups, LONG and BOOL, three numbers for vectors.
	Bool ReadDefault(const Token&, Int32 key, Element& e)
	{
		if (e.dtype == DTYPE_REAL)
		{
			Float v = 0.0;
			if (!_c.ExpectFloat(v))
				return false;
			e.settings.SetFloat(key, v);
		}
		else if (e.dtype == DTYPE_VECTOR || e.dtype == DTYPE_COLOR)
		{
			Vector v;
			if (!_c.ExpectFloat(v.x) || !_c.ExpectFloat(v.y) || !_c.ExpectFloat(v.z))
				return false;
			e.settings.SetVector(key, v);
		}
		else
		{
			Int32 v = 0;
			if (!_c.ExpectInt(v))
				return false;
			e.settings.SetInt32(key, v);
		}
		return true;
	}

	Bool ReadColumns(const Token& flag, Int32 key, Element& e)
	{
		Int32 v = 0;
		if (!_c.ExpectInt(v))
			return false;
		if (v < 1)
			return _c.Fail(flag.line, "COLUMNS must be at least 1");
		e.settings.SetInt32(key, v);
		return true;
	}

	Bool ReadParentId(const Token& flag, Int32 key, Element& e)
	{
		std::string sym;
		if (!_c.ExpectIdent(sym))
			return false;
		auto it = _symbols.find(sym);
		if (it == _symbols.end())
			return _c.Fail(flag.line, "unknown symbol '" + sym + "'");
		e.settings.SetInt32(key, it->second);
		return true;
	}

	Bool ReadCycle(const Token& flag, Int32 key, Element& e)
	{
		BaseContainer list;
		if (!ReadList(flag, true, list))
			return false;
		e.settings.SetContainer(key, list);
		e.settings.SetInt32(DESC_CUSTOMGUI, CUSTOMGUI_CYCLE);
		return true;
	}

	Bool ReadTypeList(const Token& flag, Int32 key, Element& e)
	{
		BaseContainer list;
		if (!ReadList(flag, false, list))
			return false;
		e.settings.SetContainer(key, list);
		return true;
	}

	// { entry; entry; ... } of a cycle or of an ACCEPT/REFUSE type list.
	Bool ReadList(const Token& flag, Bool cycle, BaseContainer& list)
	{
		if (!_c.ExpectPunct('{'))
			return false;
		while (!_c.IsPunct('}'))
		{
			const Token item = _c.Peek();
			if (!(cycle ? ReadCycleEntry(item, list) : ReadTypeEntry(flag, item, list)) || !_c.ExpectPunct(';'))
				return false;
		}
		_c.Next();
		return true;
	}

	// A symbol, whose value gets its label as the entry's text; -1 is a separator and adds nothing.
	Bool ReadCycleEntry(const Token& item, BaseContainer& list)
	{
		if (item.kind == Token::Kind::NUMBER && item.text == "-1")
		{
			_c.Next();
			return true;
		}
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
		return true;
	}

	// A type id, as a number or as one of the type names the host knows.
	Bool ReadTypeEntry(const Token& flag, const Token& item, BaseContainer& list)
	{
		if (item.kind == Token::Kind::NUMBER)
		{
			Int32 type = 0;
			if (!_c.ExpectInt(type))
				return false;
			list.SetString(type, FromUtf8(item.text));
			return true;
		}
		std::string sym;
		if (!_c.ExpectIdent(sym))
			return false;
		const NamedValue* type = FindNamed(kTypeSymbols, sym);
		if (!type)
			return _c.Fail(item.line, "unknown type '" + sym + "' in " + flag.text);
		list.SetString(type->value, FromUtf8(sym));
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
