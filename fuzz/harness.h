// What the harnesses share: the plug-in attached as the host attaches it, readers that take only a
// path fed from memory, and the checks every evaluated document must pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "c4d.h"

namespace fuzz
{
// The project's folder (its res/ holds the plug-in's resources, examples/ the molecules).
std::string SourceDir();

// Attaches the statically linked plug-in once per process with its module file inside folder
// (whose res/ it reads) and, with start, registers it; ends it when the process exits.
Bool AttachPlugin(const std::string& folder, Bool start);

// A folder of this process under TMPDIR (or /tmp), made on first use and removed at exit.
const std::string& ScratchFolder();
// Replaces a file of the scratch folder; false when it cannot be written.
Bool WriteScratchFile(const std::string& name, const uint8_t* data, size_t size);

// A file that lives in memory (memfd) under a path of /proc/self/fd, for readers that take a path.
class MemoryFile
{
public:
	MemoryFile();
	~MemoryFile();
	MemoryFile(const MemoryFile&) = delete;
	MemoryFile& operator=(const MemoryFile&) = delete;

	// Replaces the content; false when the file could not be made or written.
	Bool Set(const uint8_t* data, size_t size);
	const std::string& Path() const { return _path; }

private:
	int _fd = -1;
	std::string _path;
};

// The coarsest spheres and bond profiles, so that an input costs milliseconds; the paths the
// fuzzer explores do not depend on how fine the geometry is.
void CoarseGeometry(BaseObject* op);

// Evaluates the document, checks that no generated position, point, radius or sweep point is
// non-finite (aborts, which the fuzzer reports, when one is) and serialises it as binary glTF.
void EvaluateCheckExport(BaseDocument* doc);
} // namespace fuzz
