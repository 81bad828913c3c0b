#include "vh/loader.h"

#include <algorithm>
#include <vector>

#include <cstring>
#include <fstream>

#include <dirent.h>
#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>

namespace vh
{
namespace
{
using EntryPoint = Int32 (*)(Int32, void*, void*, void*);

struct Module
{
	std::string path;
	void* handle;
	EntryPoint entry;
};

std::vector<Module>& Modules()
{
	static std::vector<Module> modules;
	return modules;
}

void Report(const std::string& path, const std::string& reason)
{
	maxon::_ApplicationOutput(maxon::TARGETAUDIENCE::ALL, maxon::WRITEMETA::DEFAULT,
		FromUtf8("Module " + path + " skipped: " + reason), __LINE__, __FILE__);
}

Bool EndsWith(const std::string& s, const std::string& suffix)
{
	return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The system loader maps a truncated shared library and crashes on the missing pages, so the
// file must be checked to hold every segment it declares before it is opened.
std::string CheckElf(const std::string& path)
{
	std::ifstream in(path, std::ios::binary | std::ios::ate);
	if (!in)
		return "it cannot be read";
	const std::streamoff size = in.tellg();
	in.seekg(0);
	Elf64_Ehdr header;
	if (size < std::streamoff(sizeof(header)) || !in.read(reinterpret_cast<char*>(&header), sizeof(header)) ||
		std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
		return "not a shared library";
	if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_type != ET_DYN || header.e_phentsize != sizeof(Elf64_Phdr))
		return "not a 64-bit shared library";
	const UInt64 fileSize = UInt64(size);
	if (header.e_phoff + UInt64(header.e_phnum) * sizeof(Elf64_Phdr) > fileSize ||
		header.e_shoff + UInt64(header.e_shnum) * header.e_shentsize > fileSize)
		return "the file is truncated";
	for (Int32 i = 0; i < header.e_phnum; ++i)
	{
		Elf64_Phdr ph;
		in.seekg(std::streamoff(header.e_phoff + UInt64(i) * sizeof(Elf64_Phdr)));
		if (!in.read(reinterpret_cast<char*>(&ph), sizeof(ph)))
			return "the file is truncated";
		if (ph.p_type == PT_LOAD && ph.p_offset + ph.p_filesz > fileSize)
			return "the file is truncated";
	}
	return std::string();
}

std::vector<std::string> ModulesIn(const std::string& folder)
{
	std::vector<std::string> found;
	DIR* dir = opendir(folder.c_str());
	if (!dir)
		return found;
	while (dirent* e = readdir(dir))
	{
		const std::string name = e->d_name;
		if (name == "." || name == "..")
			continue;
		const std::string path = folder + "/" + name;
		struct stat st;
		if (stat(path.c_str(), &st) != 0)
			continue;
		if (S_ISREG(st.st_mode) && EndsWith(name, ".xso64"))
			found.push_back(path);
	}
	closedir(dir);
	std::sort(found.begin(), found.end());
	return found;
}
} // namespace

Bool LoadModule(const std::string& path, Int32 apiVersion)
{
	struct stat st;
	if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
	{
		Report(path, "the file does not exist");
		return false;
	}
	const std::string damage = CheckElf(path);
	if (!damage.empty())
	{
		Report(path, "not a loadable module (" + damage + ")");
		return false;
	}
	void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
	if (!handle)
	{
		const char* why = dlerror();
		Report(path, std::string("not a loadable module (") + (why ? why : "unknown error") + ")");
		return false;
	}
	EntryPoint entry = reinterpret_cast<EntryPoint>(dlsym(handle, "c4d_main"));
	if (!entry)
	{
		Report(path, "it exports no c4d_main");
		dlclose(handle);
		return false;
	}
	entry(4, nullptr, nullptr, nullptr);
	Filename location(FromUtf8(path));
	const Int32 attached = entry(1, HostFunctionTable(apiVersion), nullptr, &location);
	if (attached != 1)
	{
		Report(path, attached == -3 ? "it refused to attach (API version " + std::to_string(apiVersion) + ")"
									: "it refused to attach (result " + std::to_string(attached) + ")");
		dlclose(handle);
		return false;
	}
	if (entry(6, reinterpret_cast<void*>(Int(1)), nullptr, nullptr) != 1)
	{
		Report(path, "its resources could not be initialised");
		entry(3, nullptr, nullptr, nullptr);
		dlclose(handle);
		return false;
	}
	if (entry(2, nullptr, nullptr, nullptr) != 1)
	{
		Report(path, "it failed to start");
		entry(3, nullptr, nullptr, nullptr);
		dlclose(handle);
		return false;
	}
	Modules().push_back(Module{path, handle, entry});
	return true;
}

Int LoadPlugins(const std::string& folder, Int32 apiVersion)
{
	std::vector<std::string> paths = ModulesIn(folder);
	DIR* dir = opendir(folder.c_str());
	if (dir)
	{
		std::vector<std::string> subfolders;
		while (dirent* e = readdir(dir))
		{
			const std::string name = e->d_name;
			struct stat st;
			const std::string sub = folder + "/" + name;
			if (name != "." && name != ".." && stat(sub.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
				subfolders.push_back(sub);
		}
		closedir(dir);
		std::sort(subfolders.begin(), subfolders.end());
		for (const std::string& sub : subfolders)
		{
			std::vector<std::string> more = ModulesIn(sub);
			paths.insert(paths.end(), more.begin(), more.end());
		}
	}
	Int loaded = 0;
	for (const std::string& path : paths)
		loaded += LoadModule(path, apiVersion) ? 1 : 0;
	return loaded;
}

std::vector<LoadedModule> LoadedModules()
{
	std::vector<LoadedModule> out;
	for (const Module& m : Modules())
	{
		const char* version = static_cast<const char*>(dlsym(m.handle, "vh_module_version"));
		out.push_back(LoadedModule{m.path, version ? version : ""});
	}
	return out;
}

void UnloadPlugins()
{
	std::vector<Module>& modules = Modules();
	for (auto it = modules.rbegin(); it != modules.rend(); ++it)
		it->entry(3, nullptr, nullptr, nullptr);
	UnregisterAllPlugins();
	for (auto it = modules.rbegin(); it != modules.rend(); ++it)
		dlclose(it->handle);
	modules.clear();
}
} // namespace vh
