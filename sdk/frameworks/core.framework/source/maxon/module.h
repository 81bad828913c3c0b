// Module symbols every maxon module exports.
#pragma once

#include "maxon/apibase.h"

namespace maxon
{
// Describes the module to the host's module system.
struct Binary
{
	const Char* moduleId;
	Int32 apiVersion;
};
} // namespace maxon

extern "C" MAXON_ATTRIBUTE_DLL_PUBLIC maxon::Binary g_maxon;

#define MAXON_MODULE_ID_STRING_VALUE g_maxon.moduleId
