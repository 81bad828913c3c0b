// Description resources: the input holds up to five files, each ended by a line "%%": a
// description's .res, its .h and its .str (named after the .res file's container), then the
// global c4d_symbols.h and c4d_strings.str. Missing files are empty.
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "reslexer.h"
#include "resource.h"
#include "vh/host.h"

namespace
{
// The file name a .res text claims: the lower-cased name after CONTAINER, as the host requires.
std::string Stem(const std::string& res)
{
	size_t i = res.find("CONTAINER");
	std::string stem;
	for (i = i == std::string::npos ? res.size() : i + 9; i < res.size() && (res[i] == ' ' || res[i] == '\t'); ++i)
	{
	}
	for (; i < res.size() && (std::isalnum(static_cast<unsigned char>(res[i])) || res[i] == '_'); ++i)
		stem += char(std::tolower(static_cast<unsigned char>(res[i])));
	return stem;
}

std::vector<vh::ResourceText> Split(const std::string& input)
{
	static const char* const names[] = {"description.res", "description.h", "description.str", "c4d_symbols.h", "c4d_strings.str"};
	std::vector<vh::ResourceText> files;
	size_t start = 0;
	for (const char* name : names)
	{
		size_t end = input.find("\n%%\n", start);
		const size_t stop = end == std::string::npos ? input.size() : end + 1;
		files.push_back({name, start < input.size() ? input.substr(start, stop - start) : std::string()});
		start = end == std::string::npos ? input.size() : end + 4;
	}
	return files;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	vh::SetEcho(false);
	const std::vector<vh::ResourceText> files = Split(std::string(reinterpret_cast<const char*>(data), size));

	vh::StaticDescription description;
	vh::ResourceError err;
	vh::ParseDescription(Stem(files[0].text), files[0], files[1], files[2], description, err);
	std::map<Int32, String> strings;
	vh::ParseGlobalStrings(files[3], files[4], strings, err);
	return 0;
}
