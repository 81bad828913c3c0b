// Runs the Khronos glTF validator (tools/validate-gltf.js) from tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace validator
{
// Path of tools/validate-gltf.js when its npm package is installed, empty otherwise.
inline std::string Script()
{
	const std::filesystem::path tools = std::filesystem::path(VIRELTAN_SOURCE_DIR) / "tools";
	if (!std::filesystem::exists(tools / "node_modules" / "gltf-validator" / "package.json"))
		return {};
	return (tools / "validate-gltf.js").string();
}

// Exit status of the validator on the files (0: no errors and no warnings); its output goes to log.
inline int Run(const std::vector<std::string>& files, std::string* log)
{
	if (files.empty())
		return -1;
	const std::string out = files.front() + ".validator.log";
	std::string command = "node '" + Script() + "'";
	for (const std::string& f : files)
		command += " '" + f + "'";
	command += " > '" + out + "' 2>&1";
	const int status = std::system(command.c_str());
	std::ifstream in(out);
	std::stringstream text;
	text << in.rdbuf();
	if (log)
		*log = text.str();
	std::remove(out.c_str());
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
} // namespace validator
