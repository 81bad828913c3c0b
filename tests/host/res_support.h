// Helpers of the resource tests: the project's res folder, editable copies of it, console checks.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "c4d.h"
#include "testfiles.h"
#include "vh/host.h"

namespace res_test
{
inline std::string ProjectRes() { return std::string(VIRELTAN_SOURCE_DIR) + "/res"; }

inline C4D_HostCalls& Calls() { return *vh::HostFunctionTable()->host; }

inline LocalResource* Load(const std::string& folder) { return Calls().LoadResource(Filename(vh::FromUtf8(folder))); }

using testfiles::ReadFile;
using testfiles::WriteFile;

// 1-based line of the first occurrence of needle in the file, 0 when absent.
inline int LineOf(const std::string& path, const std::string& needle)
{
	std::istringstream in(ReadFile(path));
	std::string line;
	for (int n = 1; std::getline(in, line); ++n)
		if (line.find(needle) != std::string::npos)
			return n;
	return 0;
}

inline Bool ConsoleHas(const std::string& needle)
{
	for (const std::string& l : vh::ConsoleLines())
		if (l.find(needle) != std::string::npos)
			return true;
	return false;
}

inline std::string ConsoleText()
{
	std::string all;
	for (const std::string& l : vh::ConsoleLines())
		all += l + "\n";
	return all;
}

// A scratch folder, optionally with a copy of the project's res.
class TempDir : public testfiles::TempDir
{
public:
	explicit TempDir(Bool copyProjectRes = false)
	{
		if (copyProjectRes)
			Copy(ProjectRes(), "res");
	}

	std::string Res() const { return Path() + "/res"; }
	std::string ResFile(const std::string& relative) const { return Res() + "/" + relative; }

	// Replaces the first occurrence of from in a file of the res copy; false when it is absent.
	Bool Replace(const std::string& relative, const std::string& from, const std::string& to) const
	{
		std::string text = ReadFile(ResFile(relative));
		const size_t at = text.find(from);
		if (at == std::string::npos)
			return false;
		text.replace(at, from.size(), to);
		WriteFile(ResFile(relative), text);
		return true;
	}
};

class QuietConsole : public ::testing::Test
{
protected:
	void SetUp() override
	{
		vh::SetEcho(false);
		vh::ClearConsoleAndDialogs();
		vh::ResetAllocationFailures();
	}
	void TearDown() override
	{
		vh::ResetAllocationFailures();
		vh::ClearConsoleAndDialogs();
		vh::SetEcho(true);
	}
};
} // namespace res_test
