// Console output of the host, tagged with the source location of the call.
#pragma once

#include "maxon/apibase.h"
#include "maxon/string.h"

namespace maxon
{
enum class TARGETAUDIENCE { DEBUGGER = 1, REALTIME = 2, APPLICATION = 4, ALL = 7 };
enum class WRITEMETA { DEFAULT = 0 };

void _ApplicationOutput(TARGETAUDIENCE audience, WRITEMETA meta, const String& text, Int line, const Char* file);
} // namespace maxon

// The plug-in passes complete texts; '@' placeholders are not expanded by this host.
#define ApplicationOutput(text) \
	maxon::_ApplicationOutput(maxon::TARGETAUDIENCE::ALL, maxon::WRITEMETA::DEFAULT, maxon::String(text), __LINE__, __FILE__)
