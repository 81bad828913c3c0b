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
} // namespace

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
} // namespace vh
