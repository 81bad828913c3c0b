// What each generated object of the molecule objects stands for, to name its material after it.
#pragma once

#include <string>

#include "c4d.h"
#include "vh/gltf.h"

namespace tool
{
// The role name of a generated object: the element symbol for an atom, BD1..BD4 for a bond of
// that order, NUC for a nucleus (the symbols a material group takes); empty for objects of other
// generators and for bonds whose order cannot be told. Valid while the document's caches are.
vh::MaterialRoleName MaterialRoles(BaseDocument* doc);

// vh::ExportGltf with the materials named after these roles, so that an artist can restyle each
// role on its own; `merged` writes one mesh per material instead of the object tree.
Bool ExportWithRoles(BaseDocument* doc, const std::string& out, vh::ExportSummary* summary, std::string* error,
	bool merged = false);
// The bytes ExportWithRoles would write, in memory (the batch writes and commits them itself).
Bool ExportBytesWithRoles(BaseDocument* doc, std::string& bytes, vh::ExportSummary* summary, std::string* error);
} // namespace tool
