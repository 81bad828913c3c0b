// The host's plug-in loader: finds modules, attaches and starts them, and ends them at shut-down.
#pragma once

#include <string>
#include <vector>

#include "vh/host.h"

namespace vh
{
// Loads one module file; false (with a console line saying why) when it is refused or cannot be loaded.
Bool LoadModule(const std::string& path, Int32 apiVersion = API_VERSION);
// Loads every *.xso64 in folder and in its direct subfolders; returns how many modules loaded.
Int LoadPlugins(const std::string& folder, Int32 apiVersion = API_VERSION);
struct LoadedModule
{
	std::string path;
	std::string version; // what the module records as its version (vh_module_version); empty when none
};
// The modules loaded, in load order.
std::vector<LoadedModule> LoadedModules();
// Ends every loaded module in reverse order and forgets its plug-ins.
void UnloadPlugins();
} // namespace vh
