// The host's resource reader: a plug-in's res folder (c4d_symbols.h, the global string table and
// every description with its .h and .str), read strictly so that a broken resource fails here.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <new>
#include <sstream>

#include "maxon/debugdiagnostics.h"
#include "resource.h"

class LocalResource
{
public:
	std::map<Int32, String> strings;
	std::map<std::string, vh::StaticDescriptionRef> descriptions; // key: lower-case name
};

namespace vh
{
namespace
{
namespace fs = std::filesystem;

struct ResourceError
{
	std::string file;
	Int line = 0;
	std::string message;
};

struct Token
{
	enum class Kind { IDENT, NUMBER, STRING, PUNCT, END };
	Kind kind = Kind::END;
	std::string text;
	Int line = 0;
};

Bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
Bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
Bool IsDigit(char c) { return c >= '0' && c <= '9'; }
Bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// cppHeader: lines starting with '#' (include guards, #define ...) are skipped.
Bool Tokenize(const std::string& src, Bool cppHeader, const std::string& file, std::vector<Token>& out, ResourceError& err)
{
	auto fail = [&](Int line, const std::string& msg) {
		err = {file, line, msg};
		return false;
	};
	Int line = 1;
	Bool lineStart = true;
	size_t i = 0;
	const size_t n = src.size();
	while (i < n)
	{
		const char c = src[i];
		if (c == '\n')
		{
			++line;
			lineStart = true;
			++i;
			continue;
		}
		if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v')
		{
			++i;
			continue;
		}
		if (c == '#' && cppHeader && lineStart)
		{
			while (i < n && src[i] != '\n')
			{
				if (src[i] == '\\' && i + 1 < n && src[i + 1] == '\n')
				{
					++line;
					++i;
				}
				++i;
			}
			continue;
		}
		lineStart = false;
		if (c == '/' && i + 1 < n && src[i + 1] == '/')
		{
			while (i < n && src[i] != '\n')
				++i;
			continue;
		}
		if (c == '/' && i + 1 < n && src[i + 1] == '*')
		{
			const Int startLine = line;
			i += 2;
			while (i + 1 < n && !(src[i] == '*' && src[i + 1] == '/'))
			{
				if (src[i] == '\n')
					++line;
				++i;
			}
			if (i + 1 >= n)
				return fail(startLine, "unterminated comment");
			i += 2;
			continue;
		}
		Token t;
		t.line = line;
		if (c == '"')
		{
			t.kind = Token::Kind::STRING;
			++i;
			for (;;)
			{
				if (i >= n || src[i] == '\n')
					return fail(t.line, "unterminated string");
				const char s = src[i++];
				if (s == '"')
					break;
				if (s != '\\')
				{
					t.text += s;
					continue;
				}
				if (i >= n)
					return fail(t.line, "unterminated string");
				const char e = src[i++];
				if (e == '"' || e == '\\')
					t.text += e;
				else if (e == 'n')
					t.text += '\n';
				else if (e == 't')
					t.text += '\t';
				else
					return fail(t.line, std::string("unknown escape '\\") + e + "' in string");
			}
		}
		else if (IsIdentStart(c))
		{
			t.kind = Token::Kind::IDENT;
			while (i < n && IsIdentChar(src[i]))
				t.text += src[i++];
		}
		else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(src[i + 1])) ||
			(c == '-' && i + 1 < n && (IsDigit(src[i + 1]) || (src[i + 1] == '.' && i + 2 < n && IsDigit(src[i + 2])))))
		{
			t.kind = Token::Kind::NUMBER;
			size_t j = i;
			if (src[j] == '-')
				++j;
			if (j + 1 < n && src[j] == '0' && (src[j + 1] == 'x' || src[j + 1] == 'X'))
			{
				j += 2;
				while (j < n && IsHexDigit(src[j]))
					++j;
			}
			else
			{
				while (j < n && IsDigit(src[j]))
					++j;
				if (j < n && src[j] == '.')
				{
					++j;
					while (j < n && IsDigit(src[j]))
						++j;
				}
				if (j < n && (src[j] == 'e' || src[j] == 'E'))
				{
					++j;
					if (j < n && (src[j] == '+' || src[j] == '-'))
						++j;
					while (j < n && IsDigit(src[j]))
						++j;
				}
			}
			t.text = src.substr(i, j - i);
			i = j;
			if (i < n && (IsIdentChar(src[i]) || src[i] == '.'))
				return fail(t.line, "malformed number '" + t.text + src[i] + "'");
		}
		else if (c == '{' || c == '}' || c == ';' || c == '=' || c == ',')
		{
			t.kind = Token::Kind::PUNCT;
			t.text = std::string(1, c);
			++i;
		}
		else
		{
			return fail(line, std::string("unexpected character '") + c + "'");
		}
		out.push_back(std::move(t));
	}
	Token end;
	end.line = line;
	out.push_back(end);
	return true;
}

Bool ParseInt(const std::string& text, Int32& value)
{
	if (text.empty())
		return false;
	const size_t digits = text[0] == '-' ? 1 : 0;
	const Bool hex = text.size() > digits + 1 && text[digits] == '0' && (text[digits + 1] == 'x' || text[digits + 1] == 'X');
	errno = 0;
	char* end = nullptr;
	// Base 10 unless written 0x...: a leading zero is no octal prefix here.
	const long long v = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
	if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
		return false;
	value = static_cast<Int32>(v);
	return true;
}

Bool ParseFloat(const std::string& text, Float& value)
{
	if (text.empty())
		return false;
	errno = 0;
	char* end = nullptr;
	const double v = std::strtod(text.c_str(), &end);
	if (errno != 0 || *end != '\0')
		return false;
	value = v;
	return true;
}

// Cursor over a token list; every failure records file, line and message.
class Cursor
{
public:
	Cursor(const std::vector<Token>& tokens, const std::string& file, ResourceError& err) : _t(tokens), _file(file), _err(err) {}

	const Token& Peek(size_t ahead = 0) const { return _t[std::min(_pos + ahead, _t.size() - 1)]; }
	const Token& Next()
	{
		const Token& t = Peek();
		if (_pos < _t.size() - 1)
			++_pos;
		return t;
	}
	Bool AtEnd() const { return Peek().kind == Token::Kind::END; }
	Bool IsPunct(char c, size_t ahead = 0) const { return Peek(ahead).kind == Token::Kind::PUNCT && Peek(ahead).text[0] == c; }
	Bool IsIdent(size_t ahead = 0) const { return Peek(ahead).kind == Token::Kind::IDENT; }

	Bool Fail(Int line, const std::string& msg)
	{
		_err = {_file, line, msg};
		return false;
	}
	Bool Fail(const std::string& msg) { return Fail(Peek().line, msg); }
	Bool FailExpected(const std::string& what)
	{
		const Token& t = Peek();
		const std::string got = t.kind == Token::Kind::END ? "end of file" : "'" + t.text + "'";
		return Fail(t.line, "expected " + what + ", found " + got);
	}
	Bool ExpectPunct(char c)
	{
		if (!IsPunct(c))
			return FailExpected(std::string("'") + c + "'");
		Next();
		return true;
	}
	Bool ExpectIdent(std::string& out)
	{
		if (!IsIdent())
			return FailExpected("a name");
		out = Next().text;
		return true;
	}
	Bool ExpectKeyword(const char* kw)
	{
		if (!IsIdent() || Peek().text != kw)
			return FailExpected(std::string("'") + kw + "'");
		Next();
		return true;
	}
	Bool ExpectInt(Int32& v)
	{
		const Token& t = Peek();
		if (t.kind != Token::Kind::NUMBER || !ParseInt(t.text, v))
			return FailExpected("an integer");
		Next();
		return true;
	}
	Bool ExpectFloat(Float& v)
	{
		const Token& t = Peek();
		if (t.kind != Token::Kind::NUMBER || !ParseFloat(t.text, v))
			return FailExpected("a number");
		Next();
		return true;
	}
	const std::string& File() const { return _file; }

private:
	const std::vector<Token>& _t;
	size_t _pos = 0;
	std::string _file;
	ResourceError& _err;
};

Bool ReadTextFile(const fs::path& path, std::string& out, ResourceError& err)
{
	std::error_code ec;
	if (!fs::is_regular_file(path, ec))
	{
		err = {path.string(), 0, "file is missing"};
		return false;
	}
	std::ifstream in(path, std::ios::binary);
	if (!in)
	{
		err = {path.string(), 0, "cannot open the file"};
		return false;
	}
	std::ostringstream ss;
	ss << in.rdbuf();
	if (in.bad())
	{
		err = {path.string(), 0, "cannot read the file"};
		return false;
	}
	out = ss.str();
	return true;
}

Bool TokenizeFile(const fs::path& path, Bool cppHeader, std::vector<Token>& tokens, ResourceError& err)
{
	std::string text;
	return ReadTextFile(path, text, err) && Tokenize(text, cppHeader, path.string(), tokens, err);
}

using SymbolMap = std::map<std::string, Int32>;

// enum { NAME = value, NAME, ... }; (values: integers or earlier names; implicit values count up)
Bool ParseEnumHeader(const fs::path& path, SymbolMap& symbols, ResourceError& err)
{
	std::vector<Token> tokens;
	if (!TokenizeFile(path, true, tokens, err))
		return false;
	Cursor c(tokens, path.string(), err);
	while (!c.AtEnd())
	{
		if (!c.ExpectKeyword("enum"))
			return false;
		if (c.IsIdent())
			c.Next();
		if (!c.ExpectPunct('{'))
			return false;
		Int64 next = 0;
		while (!c.IsPunct('}'))
		{
			const Int line = c.Peek().line;
			std::string name;
			if (!c.ExpectIdent(name))
				return false;
			if (c.IsPunct('='))
			{
				c.Next();
				const Token& v = c.Peek();
				Int32 value = 0;
				if (v.kind == Token::Kind::NUMBER && ParseInt(v.text, value))
					next = value;
				else if (v.kind == Token::Kind::IDENT && symbols.count(v.text))
					next = symbols[v.text];
				else if (v.kind == Token::Kind::IDENT)
					return c.Fail(v.line, "unknown symbol '" + v.text + "'");
				else
					return c.FailExpected("an integer value");
				c.Next();
			}
			if (next < INT32_MIN || next > INT32_MAX)
				return c.Fail(line, "value of '" + name + "' is out of range");
			if (!symbols.emplace(name, static_cast<Int32>(next)).second)
				return c.Fail(line, "symbol '" + name + "' is defined twice");
			++next;
			if (c.IsPunct(','))
				c.Next();
			else if (!c.IsPunct('}'))
				return c.FailExpected("',' or '}'");
		}
		c.Next();
		if (!c.ExpectPunct(';'))
			return false;
	}
	return true;
}

struct StringEntry
{
	std::string symbol;
	std::string longText;
	std::string shortText;
	Int line = 0;
};

// STRINGTABLE [Name] { SYMBOL "text" ["short"]; ... }; a description's table is named like its container.
Bool ParseStringTable(const fs::path& path, const std::string* container, std::vector<StringEntry>& out, ResourceError& err)
{
	std::vector<Token> tokens;
	if (!TokenizeFile(path, false, tokens, err))
		return false;
	Cursor c(tokens, path.string(), err);
	if (!c.ExpectKeyword("STRINGTABLE"))
		return false;
	if (container)
	{
		const Int line = c.Peek().line;
		std::string name;
		if (!c.ExpectIdent(name))
			return false;
		if (LowerAscii(name) != LowerAscii(*container))
			return c.Fail(line, "STRINGTABLE '" + name + "' does not match CONTAINER '" + *container + "'");
	}
	else if (c.IsIdent())
	{
		return c.Fail("the global string table takes no name");
	}
	if (!c.ExpectPunct('{'))
		return false;
	while (!c.IsPunct('}'))
	{
		StringEntry e;
		e.line = c.Peek().line;
		if (!c.ExpectIdent(e.symbol))
			return false;
		if (c.Peek().kind != Token::Kind::STRING)
			return c.FailExpected("a quoted text for '" + e.symbol + "'");
		e.longText = c.Next().text;
		e.shortText = e.longText;
		if (c.Peek().kind == Token::Kind::STRING)
			e.shortText = c.Next().text;
		if (!c.ExpectPunct(';'))
			return false;
		for (const StringEntry& prev : out)
			if (prev.symbol == e.symbol)
				return c.Fail(e.line, "'" + e.symbol + "' has two texts (first at line " + std::to_string(prev.line) + ")");
		out.push_back(std::move(e));
	}
	c.Next();
	if (!c.AtEnd())
		return c.FailExpected("end of file");
	return true;
}

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

struct Label
{
	std::string longText;
	std::string shortText;
};

struct Element
{
	Int32 id = 0;
	Int32 dtype = 0;
	std::string symbol; // empty for anonymous groups and separators and for host groups
	Bool own = true;
	Bool hasParent = false;
	Int32 parent = 0;
	BaseContainer settings;
	Int line = 0;
};

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

Bool LoadDescriptionFiles(const fs::path& root, const std::string& stem, StaticDescription& out, ResourceError& err)
{
	const fs::path resFile = root / "description" / (stem + ".res");
	const fs::path hFile = root / "description" / (stem + ".h");
	const fs::path strFile = root / "strings_en-US" / "description" / (stem + ".str");

	SymbolMap symbols;
	if (!ParseEnumHeader(hFile, symbols, err))
		return false;

	std::vector<Token> resTokens;
	if (!TokenizeFile(resFile, false, resTokens, err))
		return false;
	// The container's name is needed to check the string table before the elements are read.
	if (resTokens.size() < 2 || resTokens[0].text != "CONTAINER" || resTokens[1].kind != Token::Kind::IDENT)
	{
		err = {resFile.string(), resTokens[0].line, "expected 'CONTAINER' and its name"};
		return false;
	}
	std::string containerName = resTokens[1].text;
	if (LowerAscii(containerName) != LowerAscii(stem))
	{
		err = {resFile.string(), resTokens[1].line, "CONTAINER '" + containerName + "' does not match the file name"};
		return false;
	}

	std::vector<StringEntry> strings;
	if (!ParseStringTable(strFile, &containerName, strings, err))
		return false;
	std::map<std::string, Label> labels;
	for (const StringEntry& s : strings)
	{
		if (!symbols.count(s.symbol) && s.symbol != containerName)
		{
			err = {strFile.string(), s.line, "unknown symbol '" + s.symbol + "'"};
			return false;
		}
		labels[s.symbol] = Label{s.longText, s.shortText};
	}

	std::vector<Element> elements;
	ResParser parser(resTokens, resFile.string(), strFile.filename().string(), symbols, labels, err);
	if (!parser.Parse(containerName, elements))
		return false;

	out.name = containerName;
	for (Element& e : elements)
	{
		DescEntry d;
		d.id = DescID(DescLevel(e.id, e.dtype, 0));
		if (e.hasParent)
		{
			d.parent = DescID(DescLevel(e.parent, DTYPE_GROUP, 0));
			e.settings.SetInt32(DESC_PARENTGROUP, e.parent);
		}
		if (!e.symbol.empty())
		{
			e.settings.SetString(DESC_IDENT, FromUtf8(e.symbol));
			out.parameters.push_back(ParamInfo{e.id, e.dtype, e.symbol});
		}
		d.settings = std::move(e.settings);
		out.entries.push_back(std::move(d));
	}
	return true;
}

Bool LoadFolder(const fs::path& root, LocalResource& lr, ResourceError& err)
{
	std::error_code ec;
	if (!fs::is_directory(root, ec))
	{
		err = {root.string(), 0, "resource folder is missing"};
		return false;
	}

	SymbolMap globalSymbols;
	if (!ParseEnumHeader(root / "c4d_symbols.h", globalSymbols, err))
		return false;
	const fs::path stringsFile = root / "strings_en-US" / "c4d_strings.str";
	std::vector<StringEntry> strings;
	if (!ParseStringTable(stringsFile, nullptr, strings, err))
		return false;
	for (const StringEntry& s : strings)
	{
		auto it = globalSymbols.find(s.symbol);
		if (it == globalSymbols.end())
		{
			err = {stringsFile.string(), s.line, "unknown symbol '" + s.symbol + "' (not in c4d_symbols.h)"};
			return false;
		}
		if (!lr.strings.emplace(it->second, FromUtf8(s.longText)).second)
		{
			err = {stringsFile.string(), s.line, "string id " + std::to_string(it->second) + " has two texts"};
			return false;
		}
	}

	const fs::path descDir = root / "description";
	if (!fs::is_directory(descDir, ec))
		return true;
	std::vector<std::string> stems;
	for (fs::directory_iterator it(descDir, ec), end; !ec && it != end; it.increment(ec))
		if (it->path().extension() == ".res")
			stems.push_back(it->path().stem().string());
	if (ec)
	{
		err = {descDir.string(), 0, "cannot list the folder"};
		return false;
	}
	std::sort(stems.begin(), stems.end());
	for (const std::string& stem : stems)
	{
		auto d = std::make_shared<StaticDescription>();
		if (!LoadDescriptionFiles(root, stem, *d, err))
			return false;
		const std::string key = LowerAscii(d->name);
		if (lr.descriptions.count(key))
		{
			err = {(descDir / (stem + ".res")).string(), 0, "description '" + d->name + "' is defined twice"};
			return false;
		}
		lr.descriptions.emplace(key, std::move(d));
	}
	return true;
}

void ReportError(const ResourceError& err)
{
	std::string text = "Resource error: " + err.file;
	if (err.line > 0)
		text += ":" + std::to_string(err.line);
	text += ": " + err.message;
	ApplicationOutput(FromUtf8(text));
}

struct Binding
{
	Int32 pluginId = 0;
	StaticDescriptionRef description;
};

struct Registry
{
	std::mutex mutex;
	std::vector<Binding> bindings;
	std::vector<const LocalResource*> live; // in load order
};

Registry& Reg()
{
	static Registry r;
	return r;
}

// A binding counts only while its plug-in is registered with the same description name.
Bool BindingValid(const Binding& b)
{
	const ObjectPlugin* p = FindObjectPlugin(b.pluginId);
	return p && LowerAscii(ToUtf8(p->description)) == LowerAscii(b.description->name);
}
} // namespace

std::string LowerAscii(std::string s)
{
	for (char& c : s)
		if (c >= 'A' && c <= 'Z')
			c = static_cast<char>(c - 'A' + 'a');
	return s;
}

LocalResource* LoadLocalResource(const Filename& folder)
{
	try
	{
		const fs::path root(ToUtf8(folder.GetString()));
		auto lr = std::make_unique<LocalResource>();
		ResourceError err;
		if (!LoadFolder(root, *lr, err))
		{
			ReportError(err);
			return nullptr;
		}
		Registry& r = Reg();
		std::lock_guard<std::mutex> lock(r.mutex);
		r.live.push_back(lr.get());
		return lr.release();
	}
	catch (const std::exception& e)
	{
		ReportError({ToUtf8(folder.GetString()), 0, std::string("cannot read the resource: ") + e.what()});
		return nullptr;
	}
}

void FreeLocalResource(LocalResource* lr)
{
	if (!lr)
		return;
	{
		Registry& r = Reg();
		std::lock_guard<std::mutex> lock(r.mutex);
		r.live.erase(std::remove(r.live.begin(), r.live.end(), lr), r.live.end());
	}
	delete lr;
}

const String* LocalResourceString(const LocalResource* lr, Int32 id)
{
	if (!lr)
		return nullptr;
	auto it = lr->strings.find(id);
	return it == lr->strings.end() ? nullptr : &it->second;
}

StaticDescriptionRef LocalResourceDescription(const LocalResource* lr, const String& name)
{
	if (!lr)
		return nullptr;
	try
	{
		auto it = lr->descriptions.find(LowerAscii(ToUtf8(name)));
		return it == lr->descriptions.end() ? nullptr : it->second;
	}
	catch (const std::bad_alloc&)
	{
		return nullptr;
	}
}

Bool BindDescription(Int32 pluginId, const StaticDescriptionRef& d)
{
	if (!d)
		return false;
	Registry& r = Reg();
	std::lock_guard<std::mutex> lock(r.mutex);
	try
	{
		for (Binding& b : r.bindings)
			if (b.pluginId == pluginId)
			{
				b.description = d;
				return true;
			}
		r.bindings.push_back(Binding{pluginId, d});
	}
	catch (const std::bad_alloc&)
	{
		return false;
	}
	return true;
}

StaticDescriptionRef FindStaticDescription(Int32 pluginId)
{
	Registry& r = Reg();
	std::lock_guard<std::mutex> lock(r.mutex);
	for (const Binding& b : r.bindings)
		if (b.pluginId == pluginId)
			return BindingValid(b) ? b.description : nullptr;
	return nullptr;
}

StaticDescriptionRef FindStaticDescription(const String& name)
{
	try
	{
		const std::string key = LowerAscii(ToUtf8(name));
		Registry& r = Reg();
		std::lock_guard<std::mutex> lock(r.mutex);
		for (const Binding& b : r.bindings)
			if (LowerAscii(b.description->name) == key && BindingValid(b))
				return b.description;
		for (const LocalResource* lr : r.live)
		{
			auto it = lr->descriptions.find(key);
			if (it != lr->descriptions.end())
				return it->second;
		}
	}
	catch (const std::bad_alloc&)
	{
	}
	return nullptr;
}
} // namespace vh
