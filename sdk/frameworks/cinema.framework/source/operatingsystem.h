// The function table the host hands to a module when it attaches it.
#pragma once

#include "c4d_file.h"

class BaseBitmap;
class LocalResource;
class NodeData;
typedef NodeData* DataAllocator(void);

#define API_VERSION 26100

struct C4D_HostCalls
{
	LocalResource* (*LoadResource)(const Filename& resFolder);
	void (*FreeResource)(LocalResource* lr);
	const String* (*LoadString)(LocalResource* lr, Int32 id);
	BaseBitmap* (*LoadBitmap)(const Filename& file, Float pixelRatio);
	void (*FreeBitmap)(BaseBitmap* bmp);
	Bool (*RegisterObjectPlugin)(Int32 id, const String& name, Int32 info, DataAllocator* g, const String& description,
		BaseBitmap* icon, Int32 disklevel, LocalResource* lr);
};

struct OperatingSystem
{
	Int32 version;
	C4D_HostCalls* host;
};

// Stores the table; returns the host's API version.
Int32 InitOS(void* p);
extern OperatingSystem* g_os;
