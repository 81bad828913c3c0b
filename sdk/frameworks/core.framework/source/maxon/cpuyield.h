#pragma once

#include "maxon/apibase.h"

namespace maxon
{
class CpuYieldState
{
public:
	using SwitchDelegate = void (*)(CpuYieldState*, const void*);
};
} // namespace maxon

extern "C" MAXON_ATTRIBUTE_DLL_PUBLIC maxon::CpuYieldState::SwitchDelegate g_CpuYieldDelegate;
