// The module entry point every plug-in built with this SDK exports.
#include "c4d.h"
#include "operatingsystem.h"

OperatingSystem* g_os = nullptr;

namespace
{
Int32 g_attachCount = 0;
Filename* g_moduleLocation = nullptr;
} // namespace

Int32 InitOS(void* p)
{
	g_os = static_cast<OperatingSystem*>(p);
	return g_os ? g_os->version : 0;
}

const Filename GeGetPluginPath()
{
	return g_moduleLocation ? g_moduleLocation->GetDirectory() : Filename();
}

Filename GeGetPluginResourcePath()
{
	if (!g_moduleLocation)
		return Filename();
	return GeGetPluginPath() + Filename("res");
}

extern "C" MAXON_ATTRIBUTE_DLL_PUBLIC Int32 c4d_main(Int32 action, void* p1, void* p2, void* p3)
{
	switch (action)
	{
		case C4DPL_INIT_VERSION:
			return C4DPL_VERSION;

		case C4DPL_INIT_SYS:
		{
			++g_attachCount;
			if (g_attachCount > 1)
				return 1;
			if (InitOS(p1) < API_VERSION || p3 == nullptr || g_os->host == nullptr)
			{
				g_os = nullptr;
				--g_attachCount;
				return C4DPL_ERROR_VERSION;
			}
			g_moduleLocation = new (std::nothrow) Filename(*static_cast<const Filename*>(p3));
			if (!g_moduleLocation)
			{
				g_os = nullptr;
				--g_attachCount;
				return C4DPL_ERROR_VERSION;
			}
			return 1;
		}

		case C4DPL_MESSAGE:
			return PluginMessage(static_cast<Int32>(reinterpret_cast<Int>(p1)), p2) ? 1 : C4DPL_ERROR;

		case C4DPL_INIT:
			return PluginStart() ? 1 : 0;

		case C4DPL_END:
			if (g_attachCount > 0 && --g_attachCount == 0)
			{
				PluginEnd();
				FreeResource();
				delete g_moduleLocation;
				g_moduleLocation = nullptr;
				g_os = nullptr;
			}
			return 1;

		default:
			return C4DPL_ERROR;
	}
}
