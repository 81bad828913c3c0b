// Console lines and dialog boxes: recorded, echoed to standard error, never blocking.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "c4d_general.h"
#include "internal.h"
#include "maxon/debugdiagnostics.h"

namespace vh
{
namespace
{
struct ConsoleState
{
	std::mutex mutex;
	std::vector<std::string> lines;
	std::vector<DialogRecord> dialogs;
	GEMB_R questionAnswer = GEMB_R::V_NO;
	Bool echo = true;
	Bool consoleEcho = true;
};

ConsoleState& State()
{
	static ConsoleState s;
	return s;
}
} // namespace

const std::vector<std::string>& ConsoleLines() { return State().lines; }
const std::vector<DialogRecord>& Dialogs() { return State().dialogs; }

void ClearConsoleAndDialogs()
{
	std::lock_guard<std::mutex> lock(State().mutex);
	State().lines.clear();
	State().dialogs.clear();
}

void SetQuestionAnswer(GEMB_R answer)
{
	std::lock_guard<std::mutex> lock(State().mutex);
	State().questionAnswer = answer;
}

void SetEcho(Bool echo)
{
	std::lock_guard<std::mutex> lock(State().mutex);
	State().echo = echo;
	State().consoleEcho = echo;
}

void SetConsoleEcho(Bool echo)
{
	std::lock_guard<std::mutex> lock(State().mutex);
	State().consoleEcho = echo;
}
} // namespace vh

namespace maxon
{
void _ApplicationOutput(TARGETAUDIENCE audience, WRITEMETA meta, const String& text, Int line, const Char* file)
{
	vh::ConsoleState& s = vh::State();
	std::lock_guard<std::mutex> lock(s.mutex);
	try
	{
		std::string utf8 = vh::ToUtf8(text);
		if (s.echo && s.consoleEcho)
		{
			// The source file's name only: the path is the build machine's.
			const Char* name = file ? std::strrchr(file, '/') : nullptr;
			name = name ? name + 1 : file ? file : "?";
			std::fprintf(stderr, "console: %s (%s:%lld)\n", utf8.c_str(), name, static_cast<long long>(line));
		}
		s.lines.push_back(std::move(utf8));
	}
	catch (const std::bad_alloc&)
	{
	}
}
} // namespace maxon

GEMB_R GeOutString(const maxon::String& str, GEMB flags)
{
	vh::ConsoleState& s = vh::State();
	std::lock_guard<std::mutex> lock(s.mutex);
	vh::DialogRecord rec;
	rec.flags = static_cast<Int64>(flags);
	rec.question = (rec.flags & 0xF) == static_cast<Int64>(GEMB::YESNO);
	rec.answer = rec.question ? s.questionAnswer : GEMB_R::V_OK;
	try
	{
		rec.text = vh::ToUtf8(str);
		if (s.echo)
		{
			if (rec.question)
				std::fprintf(stderr, "question: %s -> %s\n", rec.text.c_str(), rec.answer == GEMB_R::V_YES ? "yes" : "no");
			else
				std::fprintf(stderr, "message box: %s\n", rec.text.c_str());
		}
		s.dialogs.push_back(rec);
	}
	catch (const std::bad_alloc&)
	{
	}
	return rec.answer;
}
