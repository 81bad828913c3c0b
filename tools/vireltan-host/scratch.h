// A private scratch folder, as the command line and the fuzz harnesses make them.
#pragma once

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace tool
{
// The form of the names MakeScratchFolder gives: stem-XXXXXX under TMPDIR, under /tmp when TMPDIR
// is unset or empty.
inline std::string ScratchPattern(const std::string& stem)
{
	const char* tmp = std::getenv("TMPDIR");
	return std::string(tmp && *tmp ? tmp : "/tmp") + "/" + stem + "-XXXXXX";
}

// A new folder that only this user may enter, named as ScratchPattern says; "" with errno set when
// it cannot be made.
inline std::string MakeScratchFolder(const std::string& stem)
{
	std::string pattern = ScratchPattern(stem);
	return ::mkdtemp(&pattern[0]) ? pattern : "";
}
} // namespace tool
