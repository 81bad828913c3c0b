// Shared internals of the headless host library (not installed, not seen by the plug-in).
#pragma once

#include <string>
#include <vector>

#include "vh/host.h"

namespace vh
{
// Counts one allocation of the kind; false when failure injection says this one must fail.
Bool ConsumeAllocation(AllocKind kind);

// The host side of RegisterObjectPlugin (the function table's entry): false for an id <= 0, an id
// already taken, no allocator or an empty name. The icon's size is copied; the caller keeps the bitmap.
Bool RegisterObjectPluginHost(Int32 id, const String& name, Int32 info, DataAllocator* g, const String& description,
	BaseBitmap* icon, Int32 disklevel, LocalResource* lr);

// A regular file's bytes, read no further than one byte past limit whatever its size said when it
// was opened; false with the reason (not a regular file, over the limit, a read error).
Bool ReadFileCapped(const std::string& path, Int64 limit, std::vector<unsigned char>& bytes, std::string& reason);
} // namespace vh
