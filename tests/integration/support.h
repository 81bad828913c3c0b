// Shell commands for the integration tests, and the shared scratch folders.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testfiles.h"

namespace integration
{
const std::string PLUGINS = VIRELTAN_PLUGIN_DIR;
const std::string DATA = VIRELTAN_TEST_DATA;

struct Output
{
	int status;
	std::string out;
};

// Runs a shell command; its standard output, and standard error too when asked, come back.
inline Output Shell(const std::string& command, bool withStderr = false)
{
	Output result{-1, ""};
	FILE* pipe = popen((command + (withStderr ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
	if (!pipe)
		return result;
	std::array<char, 4096> buffer;
	size_t n;
	while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
		result.out.append(buffer.data(), n);
	const int status = pclose(pipe);
	result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
	return result;
}

using testfiles::TempDir;

#ifdef VIRELTAN_HOST_TOOL
const std::string TOOL = VIRELTAN_HOST_TOOL;

// vireltan-host with the built plug-ins (or those of another folder) and args; standard error
// comes back with the output.
inline Output Tool(const std::string& args, const std::string& plugins = PLUGINS)
{
	return Shell("'" + TOOL + "' --plugins '" + plugins + "' " + args, true);
}
#endif
} // namespace integration
