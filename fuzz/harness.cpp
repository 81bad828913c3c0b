#include "harness.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vh/gltf.h"
#include "vh/host.h"
#include "description/oxvireltan.h"
#include "molecule.h"
#include "scratch.h"
#include "sdfloader.h"
#include "vireltan.h"

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

// The reader's line buffer takes lines of at most this many bytes; a longer one ends its input.
const size_t READER_LINE_LIMIT = 9998;
const Int32 V2000_MAX_ATOM_LINES = 999;

[[noreturn]] void ModelFault(const std::string& what)
{
	std::fprintf(stderr, "fuzz: the read model %s\n", what.c_str());
	std::abort();
}

// The input's lines as the reader sees them: up to a line feed, cut at a NUL byte, a carriage
// return at the end dropped. Stops after a line the reader's buffer cannot hold (marked by cut).
std::vector<std::string> ReaderLines(const uint8_t* data, size_t size, Bool* cut)
{
	std::vector<std::string> lines;
	*cut = false;
	size_t start = 0;
	while (start < size)
	{
		const uint8_t* feed = static_cast<const uint8_t*>(std::memchr(data + start, '\n', size - start));
		const size_t end = feed ? size_t(feed - data) : size;
		if (end - start > READER_LINE_LIMIT)
		{
			*cut = true;
			break;
		}
		std::string line(reinterpret_cast<const char*>(data + start), end - start);
		line.resize(std::strlen(line.c_str()));
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		lines.push_back(line);
		start = end + 1;
	}
	return lines;
}

Bool StartsWithNoCase(const std::string& line, const char* prefix)
{
	const size_t n = std::strlen(prefix);
	if (line.size() < n)
		return false;
	for (size_t i = 0; i < n; ++i)
		if (std::tolower(static_cast<unsigned char>(line[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
			return false;
	return true;
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

void SetupFailed(const std::string& what)
{
	std::fprintf(stderr, "fuzz: set-up failed: %s; the harness cannot run its inputs\n", what.c_str());
	std::abort();
}

void AttachPlugin(const std::string& folder, Bool start)
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
	if (!attached)
		SetupFailed("the plug-in did not attach with its module file in " + folder + " (is " + folder + "/res complete?)");
}

const std::string& ScratchFolder()
{
	if (g_scratch.empty())
	{
		g_scratch = tool::MakeScratchFolder("vireltan-fuzz");
		if (g_scratch.empty())
			SetupFailed("no scratch folder could be made as " + tool::ScratchPattern("vireltan-fuzz") +
				" (set TMPDIR to a writable folder)");
		std::atexit(RemoveScratch);
	}
	return g_scratch;
}

void WriteScratchFile(const std::string& name, const uint8_t* data, size_t size)
{
	const std::string path = ScratchFolder() + "/" + name;
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
	out.close();
	if (!out)
		SetupFailed("cannot write " + path);
}

void CoarseGeometry(BaseObject* op)
{
	op->SetParameter(DescID(MOLOBJ_ATOM_SEGMENTS), GeData(3), DESCFLAGS_SET::NONE);
	op->SetParameter(DescID(MOLOBJ_BOND_PROFILE_SUBDIV), GeData(0), DESCFLAGS_SET::NONE);
}

void CoarseGeometryAll(BaseObject* op)
{
	for (; op; op = op->GetNext())
	{
		if (op->GetType() == ID_VIRELTAN)
			CoarseGeometry(op);
		CoarseGeometryAll(op->GetDown());
	}
}

BondNumbers ExpectedBondNumbers(const uint8_t* data, size_t size)
{
	BondNumbers numbers;
	Bool cut = false;
	const std::vector<std::string> lines = ReaderLines(data, size, &cut);
	if (lines.size() < 4)
	{
		// A cut header line leaves the header unknown; an input of fewer lines holds no atoms.
		numbers.known = !cut;
		return numbers;
	}
	String counts;
	counts.SetCString(lines[3].c_str(), -1, STRINGENCODING::XBIT);
	// A counts line tagged V3000 (in any letter case) leads a V3000 table when the next line starts
	// as a V3000 line does; otherwise the lines are read as V2000. A next line that the reader's
	// buffer cuts is left to the V2000 rule, which allows all that the V3000 rule does.
	std::string tag = lines[3];
	for (char& c : tag)
		c = char(std::toupper(static_cast<unsigned char>(c)));
	if (tag.find("V3000") != std::string::npos)
		numbers.v2000 = lines.size() < 5 || !StartsWithNoCase(lines[4], "M  V30");
	Bool error = false;
	const Int32 declared = counts.SubStr(0, counts.GetLength() < 3 ? counts.GetLength() : 3).ToInt32(&error);
	numbers.atomLines = declared < V2000_MAX_ATOM_LINES ? declared : V2000_MAX_ATOM_LINES;
	return numbers;
}

void CheckReadModel(const maxon::BaseArray<ElementRecord>& elements, const maxon::BaseArray<AtomRecord>& atoms,
	const maxon::BaseArray<BondRecord>& bonds, const BondNumbers& numbers)
{
	for (Int i = 0; i < atoms.GetCount(); ++i)
	{
		if (!Finite(atoms[i].position))
			ModelFault("holds a non-finite coordinate (atom " + std::to_string(i + 1) + ")");
		if (atoms[i].elementIndex < 0 || atoms[i].elementIndex >= elements.GetCount())
			ModelFault("holds element index " + std::to_string(atoms[i].elementIndex) + " outside the table of " +
				std::to_string(elements.GetCount()) + " (atom " + std::to_string(i + 1) + ")");
	}
	if (!numbers.known)
		return;
	const Int32 stored = Int32(atoms.GetCount());
	for (Int i = 0; i < bonds.GetCount(); ++i)
	{
		for (const Int32 atom : {bonds[i].firstAtom, bonds[i].secondAtom})
		{
			const Bool storedAtom = atom >= 1 && atom <= stored;
			const Bool namesNoAtomLine = numbers.v2000 && (atom <= 0 || atom > numbers.atomLines);
			if (!storedAtom && !namesNoAtomLine)
				ModelFault("holds a bond (" + std::to_string(i + 1) + ") naming atom " + std::to_string(atom) + " of " +
					std::to_string(stored) + " stored" + (numbers.v2000 ? ", " + std::to_string(numbers.atomLines) + " atom lines" : ", V3000"));
		}
	}
}

void RunMolecule(const std::string& bytes, const BondNumbers& numbers, const std::function<void(BaseDocument*, BaseObject*)>& then)
{
	BaseDocument* doc = BaseDocument::Alloc();
	BaseObject* op = vh::AllocPluginObject(ID_VIRELTAN);
	if (doc && op)
	{
		doc->InsertObject(op, nullptr, nullptr);
		CoarseGeometry(op);
		Vireltan* v = molecule::Data(op);
		if (!v)
			SetupFailed("the registered object is no molecule object");
		std::istringstream in(bytes);
		String name;
		SDFLoader().ReadConnectionTable(in, v->elements, v->atoms, v->bonds, &name);
		if (!name.IsEmpty())
			op->SetName(name);
		CheckReadModel(v->elements, v->atoms, v->bonds, numbers);
		op->SetDirty(DIRTYFLAGS::DATA);
		EvaluateCheckExport(doc);
		if (then)
			then(doc, op);
	}
	else
	{
		BaseObject::Free(op);
	}
	BaseDocument::Free(doc);
	vh::ClearConsoleAndDialogs();
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
