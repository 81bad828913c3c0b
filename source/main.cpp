// Module entry: resources and registration of the molecule object.
#include "c4d.h"
#include "c4d_symbols.h"
#include "vireltan.h"

namespace
{
Bool RegisterVireltan()
{
	// The name and the icon are released when this scope ends, after registration copied them.
	const String name = GeLoadString(IDS_VIRELTAN);
	AutoBitmap icon("icons8-test-tube.tif"_s, 1.0);
	return RegisterObjectPlugin(ID_VIRELTAN, name, OBJECT_GENERATOR | OBJECT_USECACHECOLOR | OBJECT_CALL_ADDEXECUTION,
		Vireltan::Alloc, "oxvireltan"_s, icon, 0);
}
} // namespace

Bool PluginStart()
{
	const Bool registered = RegisterVireltan();
	if (registered)
		ApplicationOutput("Tarnwick Software : Vireltan successfully loaded."_s);
	else
		ApplicationOutput("Tarnwick Software: Failed to load Vireltan"_s);
	return registered;
}

void PluginEnd()
{
}

Bool PluginMessage(Int32 id, void* data)
{
	switch (id)
	{
		case C4DMSG_PRIORITY:
			return true;
		case C4DPL_INIT_SYS:
			if (!g_resource.Init())
			{
				ApplicationOutput("Vireltan: failed to load resource file."_s);
				return false;
			}
			return true;
		default:
			return false;
	}
}
