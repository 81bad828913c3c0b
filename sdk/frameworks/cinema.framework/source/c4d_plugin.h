#pragma once

#include "ge_prepass.h"

// Defined by the plug-in.
Bool PluginStart(void);
void PluginEnd(void);
Bool PluginMessage(Int32 id, void* data);
