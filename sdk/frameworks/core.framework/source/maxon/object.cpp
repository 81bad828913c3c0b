// Module symbols that core.framework defines once for every module linked with it.
#include "maxon/module.h"

extern "C" {
MAXON_ATTRIBUTE_DLL_PUBLIC maxon::Binary g_maxon;
}
