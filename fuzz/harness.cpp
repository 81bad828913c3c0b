#include "harness.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "vh/gltf.h"
#include "vh/host.h"
#include "description/oxvireltan.h"

namespace fuzz
{
namespace
{
std::string g_scratch;

void EndPlugin()
{
	c4d_main(C4DPL_END, nullptr, nullptr, nullptr);
	vh::UnregisterAllPlugins();
}

void RemoveScratch()
{
	std::error_code ec;
	std::filesystem::remove_all(g_scratch, ec);
}

Bool Finite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

Bool PointsFinite(const Vector* points, Int32 count)
{
	for (Int32 i = 0; i < count; ++i)
		if (!Finite(points[i]))
			return false;
	return true;
}

// Whether everything the object and its cache and children hold is finite.
Bool ObjectFinite(BaseObject* op, Int depth)
{
	// The host caps nesting far below this; deeper means the walk itself is wrong.
	if (depth > 100000)
		return false;
	for (; op; op = op->GetNext())
	{
		if (!Finite(op->GetRelPos()) || !std::isfinite(vh::GetPrimitiveInfo(op).radius))
			return false;
		if (op->GetType() == Opolygon || op->GetType() == Ospline)
		{
			const PointObject* points = static_cast<const PointObject*>(op);
			if (!PointsFinite(points->GetPointR(), points->GetPointCount()))
				return false;
		}
		if (op->GetType() == Osweep)
		{
			if (PolygonObject* tube = vh::GetSweepGeometry(op); tube && !PointsFinite(tube->GetPointR(), tube->GetPointCount()))
				return false;
		}
		if (!ObjectFinite(op->GetCache(), depth + 1) || !ObjectFinite(op->GetDown(), depth + 1))
			return false;
	}
	return true;
}
} // namespace

std::string SourceDir() { return VIRELTAN_SOURCE_DIR; }

Bool AttachPlugin(const std::string& folder, Bool start)
{
	static const Bool attached = [&]() {
		vh::SetEcho(false);
		Filename location(vh::FromUtf8(folder + "/vireltan.xso64"));
		if (c4d_main(C4DPL_INIT_SYS, vh::HostFunctionTable(), nullptr, &location) != 1)
			return false;
		const Bool ok = c4d_main(C4DPL_MESSAGE, reinterpret_cast<void*>(Int(C4DPL_INIT_SYS)), nullptr, nullptr) == 1 &&
			(!start || c4d_main(C4DPL_INIT, nullptr, nullptr, nullptr) == 1);
		// Registered after the host's tables came to be, so that the end runs before they go.
		std::atexit(EndPlugin);
		return ok;
	}();
	return attached;
}

const std::string& ScratchFolder()
{
	if (g_scratch.empty())
	{
		const char* tmp = std::getenv("TMPDIR");
		std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vireltan-fuzz-XXXXXX";
		if (::mkdtemp(pattern.data()))
		{
			g_scratch = pattern;
			std::atexit(RemoveScratch);
		}
	}
	return g_scratch;
}

Bool WriteScratchFile(const std::string& name, const uint8_t* data, size_t size)
{
	if (ScratchFolder().empty())
		return false;
	std::ofstream out(ScratchFolder() + "/" + name, std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
	return bool(out);
}

MemoryFile::MemoryFile()
{
	_fd = ::memfd_create("vireltan-fuzz-input", MFD_CLOEXEC);
	if (_fd >= 0)
		_path = "/proc/self/fd/" + std::to_string(_fd);
}

MemoryFile::~MemoryFile()
{
	if (_fd >= 0)
		::close(_fd);
}

Bool MemoryFile::Set(const uint8_t* data, size_t size)
{
	if (_fd < 0 || ::ftruncate(_fd, 0) != 0)
		return false;
	size_t done = 0;
	while (done < size)
	{
		const ssize_t n = ::pwrite(_fd, data + done, size - done, off_t(done));
		if (n <= 0)
			return false;
		done += size_t(n);
	}
	return true;
}

void CoarseGeometry(BaseObject* op)
{
	op->SetParameter(DescID(MOLOBJ_ATOM_SEGMENTS), GeData(3), DESCFLAGS_SET::NONE);
	op->SetParameter(DescID(MOLOBJ_BOND_PROFILE_SUBDIV), GeData(0), DESCFLAGS_SET::NONE);
}

void EvaluateCheckExport(BaseDocument* doc)
{
	vh::EvaluateDocument(doc);
	if (!ObjectFinite(doc->GetFirstObject(), 0))
	{
		std::fprintf(stderr, "fuzz: the evaluated document holds a non-finite value\n");
		std::abort();
	}
	std::string bytes;
	vh::ExportGltfBytes(doc, bytes);
}
} // namespace fuzz
