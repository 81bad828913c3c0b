// What each generated object of the molecule objects stands for, to name its material after it.
#pragma once

#include <string>
#include <unordered_map>

#include "c4d.h"
#include "vh/gltf.h"

namespace tool
{
// Role names by generated object: the element symbol for an atom, BD1..BD4 for a bond of that
// order, NUC for a nucleus (the symbols a material group takes). Objects of other generators,
// and bonds whose order cannot be told, are left out.
std::unordered_map<BaseObject*, std::string> MaterialRoles(BaseDocument* doc);

// vh::ExportGltf with the materials named after these roles, so that an artist can restyle each
// role on its own; `merged` writes one mesh per material instead of the object tree.
Bool ExportWithRoles(BaseDocument* doc, const std::string& out, vh::ExportSummary* summary, std::string* error,
	bool merged = false);
// The bytes ExportWithRoles would write, in memory (the batch writes and commits them itself).
Bool ExportBytesWithRoles(BaseDocument* doc, std::string& bytes, vh::ExportSummary* summary, std::string* error);
} // namespace tool
