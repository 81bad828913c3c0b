// Fills the preview page template: the model travels inside the page as base64, because browsers
// refuse a page opened from a file the right to read the file beside it.
#include "preview.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace preview
{
namespace
{
const char* const MODEL_MARK = "<!-- vireltan:model -->";

bool ReadFile(const std::string& path, std::string* out)
{
	std::ifstream in(path, std::ios::binary);
	if (!in)
		return false;
	std::ostringstream s;
	s << in.rdbuf();
	*out = s.str();
	return !in.bad();
}

std::string Base64(const std::string& bytes)
{
	static const char* const digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
	std::string out;
	out.reserve((bytes.size() + 2) / 3 * 4);
	for (size_t i = 0; i < bytes.size(); i += 3)
	{
		const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
		unsigned long v = 0;
		for (size_t k = 0; k < 3; ++k)
			v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
		for (size_t k = 0; k < 4; ++k)
			out += k <= n ? digits[(v >> (18 - 6 * k)) & 0x3F] : '=';
	}
	return out;
}

std::string EscapeHtml(const std::string& text)
{
	std::string out;
	for (const char c : text)
	{
		switch (c)
		{
			case '&':
				out += "&amp;";
				break;
			case '<':
				out += "&lt;";
				break;
			case '>':
				out += "&gt;";
				break;
			case '"':
				out += "&quot;";
				break;
			default:
				out += c;
		}
	}
	return out;
}
} // namespace

std::string PagePath(const std::string& glb)
{
	const size_t slash = glb.find_last_of('/');
	const size_t dot = glb.find_last_of('.');
	const bool hasGlb = dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
		glb.compare(dot, std::string::npos, ".glb") == 0;
	return (hasGlb ? glb.substr(0, dot) : glb) + ".html";
}

bool WritePage(const std::string& templatePath, const std::string& glb, const std::string& summary,
	const std::string& page, std::string* error)
{
	std::string html, model;
	if (!ReadFile(templatePath, &html))
	{
		*error = "cannot read the preview page template " + templatePath +
			" (it is built with vireltan-host and needs Node.js: run make demo)";
		return false;
	}
	const size_t mark = html.find(MODEL_MARK);
	if (mark == std::string::npos)
	{
		*error = templatePath + " is not a preview page template";
		return false;
	}
	if (!ReadFile(glb, &model))
	{
		*error = "cannot read " + glb;
		return false;
	}
	const std::string filled = "<pre id=\"summary\">" + EscapeHtml(summary) + "</pre>\n" +
		"<script id=\"model\" type=\"application/octet-stream\">" + Base64(model) + "</script>";
	html.replace(mark, std::char_traits<char>::length(MODEL_MARK), filled);
	std::ofstream out(page, std::ios::binary | std::ios::trunc);
	if (!out.write(html.data(), std::streamsize(html.size())) || !out.flush())
	{
		*error = "cannot write " + page;
		return false;
	}
	return true;
}
} // namespace preview
