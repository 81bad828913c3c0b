#include "maxon/cpuyield.h"

extern "C" {
MAXON_ATTRIBUTE_DLL_PUBLIC maxon::CpuYieldState::SwitchDelegate g_CpuYieldDelegate = nullptr;
}
