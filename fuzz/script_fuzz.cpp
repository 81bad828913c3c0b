// Scripts of vireltan-host's `run`: any text run as a script in a work folder of this process that
// holds two molecule files and a scene. Inputs with a '/' are refused, so that every path a step
// names stays inside the work folder; the folder is laid anew before each input.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "script.h"
#include "session.h"
#include "vh/host.h"

namespace
{
namespace fs = std::filesystem;

struct WorkFile
{
	std::string name;
	std::string bytes;
};

std::vector<WorkFile> ReadWorkFiles()
{
	const std::string source = fuzz::SourceDir();
	const std::pair<const char*, std::string> files[] = {{"caffeine.sdf", source + "/examples/caffeine.sdf"},
		{"benzene.mol", source + "/examples/benzene.sdf"}, {"scene.vhs", source + "/fuzz/corpus/scene/caffeine-materials.vhs"}};
	std::vector<WorkFile> out;
	for (const auto& [name, path] : files)
	{
		std::ifstream in(path, std::ios::binary);
		std::ostringstream text;
		text << in.rdbuf();
		out.push_back({name, text.str()});
	}
	return out;
}

// The work folder with only its own files, as they were at the start.
Bool ResetWorkFolder(const std::string& folder)
{
	static const std::vector<WorkFile> files = ReadWorkFiles();
	std::error_code ec;
	fs::remove_all(folder, ec);
	if (!fs::create_directory(folder, ec))
		return false;
	for (const WorkFile& f : files)
	{
		std::ofstream out(folder + "/" + f.name, std::ios::binary);
		out << f.bytes;
		if (!out)
			return false;
	}
	return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	static const Bool attached = fuzz::AttachPlugin(fuzz::SourceDir(), true);
	const std::string text(reinterpret_cast<const char*>(data), size);
	if (text.find('/') != std::string::npos)
		return -1;
	const std::string work = fuzz::ScratchFolder() + "/work";
	if (!attached || fuzz::ScratchFolder().empty() || !ResetWorkFolder(work))
		return 0;

	// The steps' reports and dumps would only slow the fuzzer down.
	std::streambuf* out = std::cout.rdbuf(nullptr);
	std::streambuf* err = std::cerr.rdbuf(nullptr);
	{
		tool::Session session;
		if (session.NewDocument())
		{
			session.baseFolder = work;
			std::istringstream in(text);
			try
			{
				tool::RunSteps(session, in);
			}
			catch (const tool::UsageError&)
			{
				// A malformed step ends the run, as it ends the command with status 2.
			}
		}
	}
	std::cout.rdbuf(out);
	std::cerr.rdbuf(err);
	vh::SetQuestionAnswer(GEMB_R::V_NO);
	vh::ClearConsoleAndDialogs();
	return 0;
}
