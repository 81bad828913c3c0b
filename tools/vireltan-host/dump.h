// The document as JSON: console lines, message boxes, and every object with its parameters,
// molecule and generated cache.
#pragma once

#include <nlohmann/json.hpp>

#include "session.h"

namespace tool
{
nlohmann::json DumpDocument(BaseDocument* doc);
// `dump MOLFILE`: loads, evaluates and prints the document; 0 even when the molecule failed to load.
int DumpCommand(Session& s, const MoleculeOptions& options);
} // namespace tool
