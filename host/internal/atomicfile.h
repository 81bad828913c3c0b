// Files replaced in one step: the content goes to a temporary file beside the target, is flushed
// to disk and renamed over it, so a reader sees the old file or the new one, never part of one,
// and a failed write leaves the target as it was.
#pragma once

#include <cstddef>
#include <string>

#include "maxon/apibase.h"

namespace vh
{
// Creates an empty file beside target under a name no other writer uses (returned in temp), and
// returns its descriptor; -1 with errno set when it cannot.
int CreateTemporaryBeside(const std::string& target, std::string& temp);

// Writes size bytes to fd, flushes and closes it, and renames temp over target. On failure the
// descriptor is closed, temp removed, and false returned with errno saying why.
Bool CommitTemporary(int fd, const std::string& temp, const std::string& target, const void* data, size_t size);

// Both of the above: target holds data, or is left as it was and error says
// "cannot write <target>: <reason>".
Bool WriteFileAtomically(const std::string& target, const void* data, size_t size, std::string& error);
} // namespace vh
