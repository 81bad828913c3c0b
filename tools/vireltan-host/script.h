// Scripts of steps: one step a line, `#` starts a comment, paths relative to the script's folder.
#pragma once

#include <istream>
#include <string>

#include "session.h"

namespace tool
{
// Runs every step in order. 0 when all succeeded, 1 when a save or export failed (the others
// still run) or a scene could not be opened (the script stops there). A malformed step or bad
// value throws UsageError naming the line.
int RunScript(Session& s, const std::string& script);
// The same for a script already open: paths relative to s.baseFolder.
int RunSteps(Session& s, std::istream& in);
} // namespace tool
