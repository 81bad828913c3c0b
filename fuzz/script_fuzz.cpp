// Scripts of vireltan-host's `run`: any text run as a script in a work folder of this process that
// holds two molecule files and a scene; the document the steps leave is then evaluated, checked
// and exported. Inputs with a '/' are refused, so that every path a step names stays inside the
// work folder; the folder is laid anew before each input.
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
		if (!in || text.str().empty())
			fuzz::SetupFailed("cannot read " + path);
		out.push_back({name, text.str()});
	}
	return out;
}

// The work folder with only its own files, as they were at the start.
void ResetWorkFolder(const std::string& folder)
{
	static const std::vector<WorkFile> files = ReadWorkFiles();
	std::error_code ec;
	fs::remove_all(folder, ec);
	if (!fs::create_directory(folder, ec))
		fuzz::SetupFailed("cannot make the work folder " + folder);
	for (const WorkFile& f : files)
	{
		std::ofstream out(folder + "/" + f.name, std::ios::binary);
		out << f.bytes;
		out.close();
		if (!out)
			fuzz::SetupFailed("cannot write " + folder + "/" + f.name);
	}
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	fuzz::AttachPlugin(fuzz::SourceDir(), true);
	const std::string text(reinterpret_cast<const char*>(data), size);
	if (text.find('/') != std::string::npos)
		return -1;
	const std::string work = fuzz::ScratchFolder() + "/work";
	ResetWorkFolder(work);

	// The steps' reports and dumps would only slow the fuzzer down.
	std::streambuf* out = std::cout.rdbuf(nullptr);
	std::streambuf* err = std::cerr.rdbuf(nullptr);
	{
		tool::Session session;
		if (session.NewDocument())
		{
			session.baseFolder = work;
			fuzz::CoarseGeometry(session.op);
			std::istringstream in(text);
			try
			{
				tool::RunSteps(session, in);
			}
			catch (const tool::UsageError&)
			{
				// A malformed step ends the run, as it ends the command with status 2.
			}
			// Whatever the steps left (a scene opened, objects copied, parameters set) must
			// evaluate to finite geometry and export.
			fuzz::EvaluateCheckExport(session.doc);
		}
	}
	std::cout.rdbuf(out);
	std::cerr.rdbuf(err);
	vh::SetQuestionAnswer(GEMB_R::V_NO);
	vh::ClearConsoleAndDialogs();
	return 0;
}
