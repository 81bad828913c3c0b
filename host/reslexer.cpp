// The resource lexer (see reslexer.h).
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "reslexer.h"

namespace vh
{
namespace
{
namespace fs = std::filesystem;

Bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
Bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
Bool IsDigit(char c) { return c >= '0' && c <= '9'; }
Bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// One pass over a file's text; every failure records file, line and message.
class Lexer
{
public:
	Lexer(const std::string& src, Bool cppHeader, const std::string& file, ResourceError& err)
		: _src(src), _n(src.size()), _cppHeader(cppHeader), _file(file), _err(err)
	{
	}

	Bool Run(std::vector<Token>& out)
	{
		while (_i < _n)
		{
			Bool skipped = false;
			if (!SkipBlank(skipped))
				return false;
			if (skipped)
				continue;
			Token t;
			t.line = _line;
			if (!ReadToken(t))
				return false;
			out.push_back(std::move(t));
		}
		Token end;
		end.line = _line;
		out.push_back(end);
		return true;
	}

private:
	Bool Fail(Int line, const std::string& msg)
	{
		_err = {_file, line, msg};
		return false;
	}

	Bool At(size_t k, char c) const { return k < _n && _src[k] == c; }
	Bool DigitAt(size_t k) const { return k < _n && IsDigit(_src[k]); }

	// Skips one run of white space, a comment or a preprocessor line (skipped tells whether it did).
	Bool SkipBlank(Bool& skipped)
	{
		skipped = true;
		const char c = _src[_i];
		if (c == '\n')
		{
			++_line;
			_lineStart = true;
			++_i;
			return true;
		}
		if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v')
		{
			++_i;
			return true;
		}
		if (c == '#' && _cppHeader && _lineStart)
		{
			SkipDirective();
			return true;
		}
		_lineStart = false;
		if (c == '/' && At(_i + 1, '/'))
		{
			while (_i < _n && _src[_i] != '\n')
				++_i;
			return true;
		}
		if (c == '/' && At(_i + 1, '*'))
			return SkipBlockComment();
		skipped = false;
		return true;
	}

	// A preprocessor line, with its backslash continuations.
	void SkipDirective()
	{
		while (_i < _n && _src[_i] != '\n')
		{
			if (_src[_i] == '\\' && At(_i + 1, '\n'))
			{
				++_line;
				++_i;
			}
			++_i;
		}
	}

	Bool SkipBlockComment()
	{
		const Int startLine = _line;
		_i += 2;
		while (_i + 1 < _n && !(_src[_i] == '*' && _src[_i + 1] == '/'))
		{
			if (_src[_i] == '\n')
				++_line;
			++_i;
		}
		if (_i + 1 >= _n)
			return Fail(startLine, "unterminated comment");
		_i += 2;
		return true;
	}

	Bool ReadToken(Token& t)
	{
		const char c = _src[_i];
		if (c == '"')
			return ReadString(t);
		if (IsIdentStart(c))
		{
			t.kind = Token::Kind::IDENT;
			while (_i < _n && IsIdentChar(_src[_i]))
				t.text += _src[_i++];
			return true;
		}
		// 1, .5, -1, -.5: a sign or a point counts only before a digit.
		if (IsDigit(c) || (c == '.' && DigitAt(_i + 1)) || (c == '-' && (DigitAt(_i + 1) || (At(_i + 1, '.') && DigitAt(_i + 2)))))
			return ReadNumber(t);
		if (c == '{' || c == '}' || c == ';' || c == '=' || c == ',')
		{
			t.kind = Token::Kind::PUNCT;
			t.text = std::string(1, c);
			++_i;
			return true;
		}
		return Fail(_line, std::string("unexpected character '") + c + "'");
	}

	// "text" on one line, with the escapes \" \\ \n and \t.
	Bool ReadString(Token& t)
	{
		t.kind = Token::Kind::STRING;
		++_i;
		for (;;)
		{
			if (_i >= _n || _src[_i] == '\n')
				return Fail(t.line, "unterminated string");
			const char s = _src[_i++];
			if (s == '"')
				return true;
			if (s != '\\')
			{
				t.text += s;
				continue;
			}
			if (_i >= _n)
				return Fail(t.line, "unterminated string");
			const char e = _src[_i++];
			if (e == '"' || e == '\\')
				t.text += e;
			else if (e == 'n')
				t.text += '\n';
			else if (e == 't')
				t.text += '\t';
			else
				return Fail(t.line, std::string("unknown escape '\\") + e + "' in string");
		}
	}

	// Hexadecimal 0x..., or decimal with an optional fraction and exponent; the number must end
	// where the name characters and points stop.
	Bool ReadNumber(Token& t)
	{
		t.kind = Token::Kind::NUMBER;
		size_t j = _i;
		if (_src[j] == '-')
			++j;
		if (At(j, '0') && (At(j + 1, 'x') || At(j + 1, 'X')))
		{
			j += 2;
			while (j < _n && IsHexDigit(_src[j]))
				++j;
		}
		else
		{
			j = SkipDigits(j);
			if (At(j, '.'))
				j = SkipDigits(j + 1);
			if (At(j, 'e') || At(j, 'E'))
			{
				++j;
				if (At(j, '+') || At(j, '-'))
					++j;
				j = SkipDigits(j);
			}
		}
		t.text = _src.substr(_i, j - _i);
		_i = j;
		if (_i < _n && (IsIdentChar(_src[_i]) || _src[_i] == '.'))
			return Fail(t.line, "malformed number '" + t.text + _src[_i] + "'");
		return true;
	}

	size_t SkipDigits(size_t j) const
	{
		while (DigitAt(j))
			++j;
		return j;
	}

	const std::string& _src;
	const size_t _n;
	const Bool _cppHeader;
	const std::string& _file;
	ResourceError& _err;
	size_t _i = 0;
	Int _line = 1;
	Bool _lineStart = true;
};
} // namespace

Bool Tokenize(const std::string& src, Bool cppHeader, const std::string& file, std::vector<Token>& out, ResourceError& err)
{
	return Lexer(src, cppHeader, file, err).Run(out);
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
} // namespace vh
