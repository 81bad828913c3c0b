// Tokens of the host's resource files (.res, .h, .str) and a cursor that reads them with exact
// error messages.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "internal.h"

namespace vh
{
// Where and why a resource failed to load; reported as one console line.
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

// Splits a resource file into tokens, ending with one END token. cppHeader: lines starting with
// '#' (include guards, #define ...) are skipped.
Bool Tokenize(const std::string& src, Bool cppHeader, const std::string& file, std::vector<Token>& out, ResourceError& err);
// Decimal, or hexadecimal written 0x...; false for anything else or a value outside Int32.
Bool ParseInt(const std::string& text, Int32& value);
Bool ParseFloat(const std::string& text, Float& value);

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

// The whole file; false with the reason when it is missing or unreadable.
Bool ReadTextFile(const std::filesystem::path& path, std::string& out, ResourceError& err);
} // namespace vh
