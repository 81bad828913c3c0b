// Module symbols every maxon module exports.
#pragma once

#include "maxon/apibase.h"

namespace maxon
{
// The module's record in the host's module system. The host fills it in when it loads the
// module; a module does not construct one itself (its identifier comes from the ModuleId of the
// project definition), and core.framework defines the one instance, g_maxon.
class Binary
{
public:
	Binary() = default;
	Binary(const Binary&) = delete;
	Binary& operator=(const Binary&) = delete;
};
} // namespace maxon

extern "C" MAXON_ATTRIBUTE_DLL_PUBLIC maxon::Binary g_maxon;
