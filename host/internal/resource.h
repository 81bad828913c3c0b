// Resources of plug-in modules as the host reads them from a res folder: string tables, static
// descriptions, bitmaps. Shared by the resource reader (resource.cpp, resparser.cpp), description.cpp,
// bitmap.cpp and hosttable.cpp.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "internal.h"

namespace vh
{
// One description resource (.res with its .h and .str), immutable once loaded.
struct StaticDescription
{
	std::string name; // CONTAINER name as written, e.g. "Oxvireltan"
	std::vector<DescEntry> entries; // included base entries first, then the file's elements in order
	std::vector<ParamInfo> parameters; // the file's own elements with a symbol, in file order
};
// Shared: a registration keeps its description after the resource that brought it is freed.
using StaticDescriptionRef = std::shared_ptr<const StaticDescription>;

// Lower-cases ASCII letters: description names are matched without regard to case.
std::string LowerAscii(std::string s);

struct ResourceError;
// The text of one resource file and the name its messages give it.
struct ResourceText
{
	std::string name;
	std::string text;
};
// One description from its .res, .h and .str texts, as a res folder's description/STEM.res with its
// .h and strings_en-US/description/STEM.str are read; false with err when anything is wrong.
Bool ParseDescription(const std::string& stem, const ResourceText& res, const ResourceText& h, const ResourceText& str,
	StaticDescription& out, ResourceError& err);
// The global string table (c4d_strings.str) against the symbols of c4d_symbols.h, by id.
Bool ParseGlobalStrings(const ResourceText& symbolsHeader, const ResourceText& stringTable, std::map<Int32, String>& out, ResourceError& err);

// Reads a res folder; nullptr (and one console line naming file and line) when anything is wrong.
LocalResource* LoadLocalResource(const Filename& folder);
void FreeLocalResource(LocalResource* lr);
const String* LocalResourceString(const LocalResource* lr, Int32 id);
StaticDescriptionRef LocalResourceDescription(const LocalResource* lr, const String& name);

// Binds a registered plug-in id to its description.
Bool BindDescription(Int32 pluginId, const StaticDescriptionRef& d);
// The description bound to a still registered plug-in; nullptr when none.
StaticDescriptionRef FindStaticDescription(Int32 pluginId);
// By name: registered descriptions first, then those of resources currently loaded.
StaticDescriptionRef FindStaticDescription(const String& name);

struct BitmapState
{
	Int32 width = 0;
	Int32 height = 0;
	Float pixelRatio = 1.0;
	std::vector<UInt32> pixels; // ABGR as libtiff delivers it, top row first
};
BaseBitmap* LoadBitmapFile(const Filename& file, Float pixelRatio);
} // namespace vh
