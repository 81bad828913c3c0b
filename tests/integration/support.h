// Shell commands and scratch folders for the integration tests.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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

class TempDir
{
public:
	TempDir()
	{
		char pattern[] = "/tmp/vireltan-it-XXXXXX";
		const char* made = mkdtemp(pattern);
		EXPECT_NE(made, nullptr);
		path = made ? made : "/nonexistent";
	}
	~TempDir() { EXPECT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0); }
	TempDir(const TempDir&) = delete;
	TempDir& operator=(const TempDir&) = delete;
	void Copy(const std::string& from, const std::string& to) const
	{
		EXPECT_EQ(std::system(("mkdir -p \"$(dirname '" + path + "/" + to + "')\" && cp -r '" + from + "' '" + path + "/" + to + "'").c_str()), 0);
	}
	void Write(const std::string& name, const std::string& content) const
	{
		std::ofstream(path + "/" + name, std::ios::binary) << content;
	}
	std::string path;
};
} // namespace integration
