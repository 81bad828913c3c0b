#pragma once

#include "c4d_plugin.h"

#define C4DPL_INIT_SYS 1
#define C4DPL_INIT 2
#define C4DPL_END 3
#define C4DPL_INIT_VERSION 4
#define C4DPL_MESSAGE 6
#define C4DPL_VERSION 0x0005
#define C4DPL_ERROR -1
#define C4DPL_ERROR_VERSION -3
#define C4DMSG_PRIORITY 0
#define C4DPL_STARTACTIVITY 1000
#define C4DPL_ENDACTIVITY 1001
#define C4DPL_BUILDMENU 1001188

#define SetPluginPriority(data, i) \
	{ \
		*((Int32*)(data)) = i; \
	}

extern "C" MAXON_ATTRIBUTE_DLL_PUBLIC Int32 c4d_main(Int32 action, void* p1, void* p2, void* p3);
