// Shared internals of the headless host library (not installed, not seen by the plug-in).
#pragma once

#include "vh/host.h"

namespace vh
{
// Counts one allocation of the kind; false when failure injection says this one must fail.
Bool ConsumeAllocation(AllocKind kind);
} // namespace vh
