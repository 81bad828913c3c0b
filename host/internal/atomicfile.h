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

// Writes all bytes to fd, going on after interrupted and partial writes; false with errno set.
Bool WriteAll(int fd, const void* data, size_t size);

// A file written piece by piece and then put in place whole: the temporary beside the target is
// removed unless Commit succeeds.
class TemporaryFile
{
public:
	explicit TemporaryFile(const std::string& target);
	~TemporaryFile();
	TemporaryFile(const TemporaryFile&) = delete;
	TemporaryFile& operator=(const TemporaryFile&) = delete;

	// The descriptor to write to; -1 (errno set) when the temporary could not be made.
	int Descriptor() const { return _fd; }
	// Flushes, closes and renames over the target; false with errno set, the temporary removed.
	Bool Commit();

private:
	std::string _target, _temp;
	int _fd = -1;
};

// Both of the above: target holds data, or is left as it was and error says
// "cannot write <target>: <reason>".
Bool WriteFileAtomically(const std::string& target, const void* data, size_t size, std::string& error);
} // namespace vh
