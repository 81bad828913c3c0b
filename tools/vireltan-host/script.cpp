// The script runner and its table of steps.
#include "script.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include <sys/stat.h>

#include "dump.h"
#include "export.h"
#include "vh/host.h"

namespace tool
{
namespace
{
// One script line split into words; Rest keeps the blanks inside file names.
struct StepLine
{
	std::string text;
	std::vector<std::string> words;
	int number = 0;

	// Rest of the line after the first n words.
	std::string Rest(size_t n) const
	{
		size_t pos = 0;
		for (size_t i = 0; i < n; ++i)
		{
			pos = text.find_first_not_of(" \t", pos);
			pos = text.find_first_of(" \t", pos);
			if (pos == std::string::npos)
				return "";
		}
		pos = text.find_first_not_of(" \t", pos);
		if (pos == std::string::npos)
			return "";
		std::string rest = text.substr(pos);
		rest.erase(rest.find_last_not_of(" \t\r") + 1);
		return rest;
	}
};

enum class StepResult
{
	DONE,
	FAILED, // the run fails, later steps still run
	STOP // the run fails here
};

StepResult Fail(const StepLine& line, const std::string& what, StepResult result)
{
	std::cerr << "vireltan-host: line " << line.number << ": " << Printable(what) << "\n";
	return result;
}

StepResult SetStep(Session& s, const StepLine& l)
{
	SetParameter(s, l.words[1], l.Rest(2));
	return StepResult::DONE;
}

StepResult PressStep(Session& s, const StepLine& l)
{
	Press(s, l.words[1]);
	return StepResult::DONE;
}

StepResult AnswerStep(Session&, const StepLine& l)
{
	const std::string& answer = l.words[1];
	if (answer != "yes" && answer != "no")
		throw UsageError{"unknown or malformed step 'answer'"};
	vh::SetQuestionAnswer(answer == "yes" ? GEMB_R::V_YES : GEMB_R::V_NO);
	return StepResult::DONE;
}

StepResult MaterialStep(Session& s, const StepLine& l)
{
	AddMaterial(s, l.words[1]);
	return StepResult::DONE;
}

StepResult GroupStep(Session& s, const StepLine& l)
{
	SetGroupField(s, l.words[1], l.words[2], l.Rest(3));
	return StepResult::DONE;
}

StepResult LoadStep(Session& s, const StepLine& l)
{
	Load(s, l.Rest(1));
	return StepResult::DONE;
}

StepResult EvaluateStep(Session& s, const StepLine&)
{
	vh::EvaluateDocument(s.doc);
	return StepResult::DONE;
}

// The copy becomes the object later steps act on.
StepResult CopyStep(Session& s, const StepLine&)
{
	BaseObject* copy = vh::CloneObject(s.op);
	if (!copy)
		throw UsageError{"the object could not be copied"};
	s.doc->InsertObject(copy, nullptr, s.op);
	s.op = copy;
	return StepResult::DONE;
}

StepResult SaveStep(Session& s, const StepLine& l)
{
	if (!vh::SaveDocument(s.doc, Filename(vh::FromUtf8(s.Resolve(l.Rest(1))))))
		return Fail(l, "the scene could not be saved", StepResult::FAILED);
	return StepResult::DONE;
}

// The scene's first top-level molecule object becomes the object later steps act on.
StepResult OpenStep(Session& s, const StepLine& l)
{
	const std::string path = s.Resolve(l.Rest(1));
	std::string reason;
	BaseDocument* loaded = vh::LoadDocument(Filename(vh::FromUtf8(path)), &reason);
	if (!loaded)
		return Fail(l, "the scene " + path + " could not be opened: " + reason, StepResult::STOP);
	BaseObject* molecule = loaded->GetFirstObject();
	while (molecule && !MoleculeData(molecule))
		molecule = molecule->GetNext();
	if (!molecule)
	{
		BaseDocument::Free(loaded);
		return Fail(l, "the scene " + path + " holds no molecule object", StepResult::STOP);
	}
	BaseDocument::Free(s.doc);
	s.doc = loaded;
	s.op = molecule;
	return StepResult::DONE;
}

StepResult MessageStep(Session& s, const StepLine& l)
{
	if (l.words[1] != "docinfo")
		throw UsageError{"unknown or malformed step 'message'"};
	DocumentInfoData info;
	info.type = ParseInt(l.words[2], "docinfo type");
	info.doc = s.doc;
	vh::BroadcastMessage(s.doc, MSG_DOCUMENTINFO, &info);
	return StepResult::DONE;
}

StepResult DumpStep(Session& s, const StepLine&)
{
	std::cout << DumpDocument(s.doc).dump(2) << "\n";
	return StepResult::DONE;
}

StepResult ExportStep(Session& s, const StepLine& l)
{
	return ExportDocument(s, s.Resolve(l.Rest(1))) == 0 ? StepResult::DONE : StepResult::FAILED;
}

struct Step
{
	const char* name;
	size_t minWords; // the step's own name included
	size_t maxWords; // 0: any number (the rest of the line is one value)
	StepResult (*run)(Session&, const StepLine&);
};

const Step STEPS[] = {
	{"set", 3, 0, SetStep},
	{"press", 2, 2, PressStep},
	{"answer", 2, 2, AnswerStep},
	{"material", 2, 2, MaterialStep},
	{"group", 4, 0, GroupStep},
	{"load", 2, 0, LoadStep},
	{"evaluate", 1, 1, EvaluateStep},
	{"copy", 1, 1, CopyStep},
	{"save", 2, 0, SaveStep},
	{"open", 2, 0, OpenStep},
	{"message", 3, 3, MessageStep},
	{"dump", 1, 1, DumpStep},
	{"export", 2, 0, ExportStep},
};

const Step* FindStep(const StepLine& line)
{
	const size_t n = line.words.size();
	for (const Step& step : STEPS)
		if (line.words[0] == step.name && n >= step.minWords && (step.maxWords == 0 || n <= step.maxWords))
			return &step;
	return nullptr;
}

std::vector<std::string> Words(const std::string& line)
{
	std::vector<std::string> words;
	std::stringstream in(line);
	std::string w;
	while (in >> w)
		words.push_back(w);
	return words;
}
} // namespace

int RunScript(Session& s, const std::string& script)
{
	// A folder or a device would read as an empty script, or never end.
	struct stat info;
	const Bool exists = ::stat(script.c_str(), &info) == 0;
	if (!exists || !S_ISREG(info.st_mode))
		throw UsageError{"cannot read script '" + script + "': " + (exists ? "not a regular file" : std::strerror(errno))};
	std::ifstream in(script);
	if (!in)
		throw UsageError{"cannot read script '" + script + "'"};
	const size_t slash = script.find_last_of('/');
	s.baseFolder = slash == std::string::npos ? "." : script.substr(0, slash);
	return RunSteps(s, in);
}

int RunSteps(Session& s, std::istream& in)
{
	StepLine line;
	int status = 0;
	while (std::getline(in, line.text))
	{
		++line.number;
		line.text = line.text.substr(0, line.text.find('#'));
		line.words = Words(line.text);
		if (line.words.empty())
			continue;
		try
		{
			const Step* step = FindStep(line);
			if (!step)
				throw UsageError{"unknown or malformed step '" + line.words[0] + "'"};
			const StepResult result = step->run(s, line);
			if (result == StepResult::STOP)
				return 1;
			if (result == StepResult::FAILED)
				status = 1;
		}
		catch (const UsageError& e)
		{
			throw UsageError{"line " + std::to_string(line.number) + ": " + e.message};
		}
	}
	return status;
}
} // namespace tool
