// The function table the host hands to every module it attaches (C4D_HostCalls).
#include <map>
#include <mutex>

#include "maxon/debugdiagnostics.h"
#include "resource.h"

namespace vh
{
namespace
{
LocalResource* HostLoadResource(const Filename& resFolder)
{
	return LoadLocalResource(resFolder);
}

void HostFreeResource(LocalResource* lr)
{
	FreeLocalResource(lr);
}

const String* HostLoadString(LocalResource* lr, Int32 id)
{
	return LocalResourceString(lr, id);
}

BaseBitmap* HostLoadBitmap(const Filename& file, Float pixelRatio)
{
	return LoadBitmapFile(file, pixelRatio);
}

void HostFreeBitmap(BaseBitmap* bmp)
{
	BaseBitmap::Free(bmp);
}

// The description must come with the module's resource: a panel that cannot be shown is refused
// at registration, not discovered when an object is first opened.
Bool HostRegisterObjectPlugin(Int32 id, const String& name, Int32 info, DataAllocator* g, const String& description,
	BaseBitmap* icon, Int32 disklevel, LocalResource* lr)
{
	StaticDescriptionRef desc;
	if (description.IsPopulated())
	{
		desc = LocalResourceDescription(lr, description);
		if (!desc)
		{
			ApplicationOutput(String("RegisterObjectPlugin: the resource holds no description \"") + String(description) +
				String("\""));
			return false;
		}
	}
	if (!RegisterObjectPluginHost(id, name, info, g, description, icon, disklevel, lr))
		return false;
	if (desc && !BindDescription(id, desc))
		return false;
	return true;
}

C4D_HostCalls g_calls = {HostLoadResource, HostFreeResource, HostLoadString, HostLoadBitmap, HostFreeBitmap,
	HostRegisterObjectPlugin};
} // namespace

OperatingSystem* HostFunctionTable(Int32 version)
{
	// One table per version, so that a pointer handed out earlier keeps its version. The tables are
	// never destroyed: a module that was not ended frees its resource from its own static
	// destructors at exit, which may run after this file's.
	static std::mutex* mutex = new std::mutex;
	static std::map<Int32, OperatingSystem>* tables = new std::map<Int32, OperatingSystem>;
	std::lock_guard<std::mutex> lock(*mutex);
	try
	{
		auto it = tables->emplace(version, OperatingSystem{version, &g_calls}).first;
		return &it->second;
	}
	catch (const std::bad_alloc&)
	{
		return nullptr;
	}
}
} // namespace vh
