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
