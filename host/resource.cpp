// The host's resource loader and registry: a plug-in's res folder (c4d_symbols.h, the global string table and
// every description with its .h and .str), read strictly so that a broken resource fails here.
#include <algorithm>
#include <filesystem>
#include <mutex>
#include <new>

#include "maxon/debugdiagnostics.h"
#include "resource.h"
#include "resparser.h"

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

// enum { NAME = value, NAME, ... }; (values: integers or earlier names; implicit values count up)
Bool ParseEnumHeader(const ResourceText& src, SymbolMap& symbols, ResourceError& err)
{
	std::vector<Token> tokens;
	if (!Tokenize(src.text, true, src.name, tokens, err))
		return false;
	Cursor c(tokens, src.name, err);
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
Bool ParseStringTable(const ResourceText& src, const std::string* container, std::vector<StringEntry>& out, ResourceError& err)
{
	std::vector<Token> tokens;
	if (!Tokenize(src.text, false, src.name, tokens, err))
		return false;
	Cursor c(tokens, src.name, err);
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

// The container's name from the first tokens of a .res file; it must match the file's name.
Bool ReadContainerName(const std::vector<Token>& resTokens, const std::string& resFile, const std::string& stem, std::string& name,
	ResourceError& err)
{
	if (resTokens.size() < 2 || resTokens[0].text != "CONTAINER" || resTokens[1].kind != Token::Kind::IDENT)
	{
		err = {resFile, resTokens[0].line, "expected 'CONTAINER' and its name"};
		return false;
	}
	name = resTokens[1].text;
	if (LowerAscii(name) != LowerAscii(stem))
	{
		err = {resFile, resTokens[1].line, "CONTAINER '" + name + "' does not match the file name"};
		return false;
	}
	return true;
}

// The description's labels by symbol; every symbol must be one of the .h file's or the container's.
Bool ReadLabels(const ResourceText& strFile, const std::string& containerName, const SymbolMap& symbols,
	std::map<std::string, Label>& labels, ResourceError& err)
{
	std::vector<StringEntry> strings;
	if (!ParseStringTable(strFile, &containerName, strings, err))
		return false;
	for (const StringEntry& s : strings)
	{
		if (!symbols.count(s.symbol) && s.symbol != containerName)
		{
			err = {strFile.name, s.line, "unknown symbol '" + s.symbol + "'"};
			return false;
		}
		labels[s.symbol] = Label{s.longText, s.shortText};
	}
	return true;
}

// The parsed elements as description entries, and the named ones as parameters.
void AddEntries(std::vector<Element>& elements, StaticDescription& out)
{
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
}

Bool ReadResourceText(const fs::path& path, ResourceText& out, ResourceError& err)
{
	out.name = path.string();
	return ReadTextFile(path, out.text, err);
}

Bool LoadDescriptionFiles(const fs::path& root, const std::string& stem, StaticDescription& out, ResourceError& err)
{
	ResourceText res, h, str;
	return ReadResourceText(root / "description" / (stem + ".h"), h, err) &&
		ReadResourceText(root / "description" / (stem + ".res"), res, err) &&
		ReadResourceText(root / "strings_en-US" / "description" / (stem + ".str"), str, err) &&
		ParseDescription(stem, res, h, str, out, err);
}

Bool LoadFolder(const fs::path& root, LocalResource& lr, ResourceError& err)
{
	std::error_code ec;
	if (!fs::is_directory(root, ec))
	{
		err = {root.string(), 0, "resource folder is missing"};
		return false;
	}

	ResourceText symbols, strings;
	if (!ReadResourceText(root / "c4d_symbols.h", symbols, err) ||
		!ReadResourceText(root / "strings_en-US" / "c4d_strings.str", strings, err) ||
		!ParseGlobalStrings(symbols, strings, lr.strings, err))
		return false;

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

// Never destroyed, for the same reason as the function tables: a module's resource may be freed
// by the module's static destructors after this file's have run.
Registry& Reg()
{
	static Registry* r = new Registry;
	return *r;
}

// A binding counts only while its plug-in is registered with the same description name.
Bool BindingValid(const Binding& b)
{
	const ObjectPlugin* p = FindObjectPlugin(b.pluginId);
	return p && LowerAscii(ToUtf8(p->description)) == LowerAscii(b.description->name);
}
} // namespace

Bool ParseDescription(const std::string& stem, const ResourceText& res, const ResourceText& h, const ResourceText& str,
	StaticDescription& out, ResourceError& err)
{
	SymbolMap symbols;
	if (!ParseEnumHeader(h, symbols, err))
		return false;
	std::vector<Token> resTokens;
	if (!Tokenize(res.text, false, res.name, resTokens, err))
		return false;
	// The container's name is needed to check the string table before the elements are read.
	std::string containerName;
	if (!ReadContainerName(resTokens, res.name, stem, containerName, err))
		return false;
	std::map<std::string, Label> labels;
	if (!ReadLabels(str, containerName, symbols, labels, err))
		return false;
	std::vector<Element> elements;
	if (!ParseResFile(resTokens, res.name, fs::path(str.name).filename().string(), symbols, labels, containerName, elements, err))
		return false;
	out.name = containerName;
	AddEntries(elements, out);
	return true;
}

Bool ParseGlobalStrings(const ResourceText& symbolsHeader, const ResourceText& stringTable, std::map<Int32, String>& out, ResourceError& err)
{
	SymbolMap globalSymbols;
	if (!ParseEnumHeader(symbolsHeader, globalSymbols, err))
		return false;
	std::vector<StringEntry> strings;
	if (!ParseStringTable(stringTable, nullptr, strings, err))
		return false;
	for (const StringEntry& s : strings)
	{
		auto it = globalSymbols.find(s.symbol);
		if (it == globalSymbols.end())
		{
			err = {stringTable.name, s.line, "unknown symbol '" + s.symbol + "' (not in c4d_symbols.h)"};
			return false;
		}
		if (!out.emplace(it->second, FromUtf8(s.longText)).second)
		{
			err = {stringTable.name, s.line, "string id " + std::to_string(it->second) + " has two texts"};
			return false;
		}
	}
	return true;
}

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
