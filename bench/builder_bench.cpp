// Rebuild of the generated hierarchy (defaults, with nuclei, with ten material groups) against a
// plain copy of as many bytes as the hierarchy holds, and a cache hit for 1 and for 999 atoms.
#include <benchmark/benchmark.h>

#include <cstring>
#include <unordered_set>
#include <vector>

#include "session.h"

namespace
{
enum class Setup
{
	DEFAULTS,
	NUCLEI,
	MATERIALS
};

void Prepare(Session& s, const std::string& file, Setup setup)
{
	if (setup == Setup::NUCLEI)
		s.op->GetDataInstance()->SetBool(MOLOBJ_SHOW_NUCLEUS, true);
	if (setup == Setup::MATERIALS)
		for (const char* symbol : {"H", "C", "N", "O", "S", "P", "BD1", "BD2", "BD3", "BD4"})
			s.AddMaterialGroup(symbol);
	s.Load(file);
	vh::EvaluateDocument(s.doc);
}

// Bytes of points, polygons and tangents in a hierarchy: what a rebuild writes at the least. An
// array that several objects share (the mesh of one element's spheres) is written once, so it
// counts once.
Int64 GeometryBytes(BaseObject* op, std::unordered_set<const void*>& seen)
{
	Int64 bytes = 0;
	auto add = [&](const void* items, Int64 size) {
		if (items && seen.insert(items).second)
			bytes += size;
	};
	for (; op; op = op->GetNext())
	{
		if (op->GetType() == Opolygon)
		{
			auto* poly = static_cast<PolygonObject*>(op);
			add(poly->GetPointR(), Int64(poly->GetPointCount()) * Int64(sizeof(Vector)));
			add(poly->GetPolygonR(), Int64(poly->GetPolygonCount()) * Int64(sizeof(CPolygon)));
		}
		else if (op->GetType() == Ospline)
		{
			auto* spline = static_cast<SplineObject*>(op);
			add(spline->GetPointR(), Int64(spline->GetPointCount()) * Int64(sizeof(Vector)));
			add(spline->GetTangentR(), Int64(spline->GetTangentCount()) * Int64(sizeof(Tangent)));
		}
		bytes += GeometryBytes(op->GetDown(), seen);
	}
	return bytes;
}

Int64 GeometryBytes(BaseObject* op)
{
	std::unordered_set<const void*> seen;
	return GeometryBytes(op, seen);
}

void BM_Rebuild(benchmark::State& state, const std::string& file, Setup setup)
{
	Session s;
	Prepare(s, file, setup);
	for (auto _ : state)
	{
		s.op->SetDirty(DIRTYFLAGS::DATA);
		vh::EvaluateDocument(s.doc);
		benchmark::DoNotOptimize(s.op->GetCache());
	}
	state.counters["atoms"] = double(s.Data()->atoms.GetCount());
	state.counters["bytes"] = double(GeometryBytes(s.op->GetCache()));
}

// The memory floor of a rebuild: copying as many bytes as its hierarchy holds.
void BM_Copy(benchmark::State& state, const std::string& file, Setup setup)
{
	size_t bytes = 0;
	{
		Session s;
		Prepare(s, file, setup);
		bytes = size_t(GeometryBytes(s.op->GetCache()));
	}
	std::vector<char> from(bytes, 1), to(bytes);
	for (auto _ : state)
	{
		std::memcpy(to.data(), from.data(), bytes);
		benchmark::ClobberMemory();
	}
	state.counters["bytes"] = double(bytes);
	state.SetBytesProcessed(Int64(state.iterations()) * Int64(bytes));
}

#define REBUILD_AND_COPY(name, file, setup)                                                      \
	BENCHMARK_CAPTURE(BM_Rebuild, name, file, setup)->Unit(benchmark::kMillisecond);             \
	BENCHMARK_CAPTURE(BM_Copy, name, file, setup)->Unit(benchmark::kMillisecond)

REBUILD_AND_COPY(procaine27_defaults, BenchRecord(), Setup::DEFAULTS);
REBUILD_AND_COPY(procaine27_nuclei, BenchRecord(), Setup::NUCLEI);
REBUILD_AND_COPY(procaine27_materials10, BenchRecord(), Setup::MATERIALS);
REBUILD_AND_COPY(protein_g_b1_defaults, LargestExample(), Setup::DEFAULTS);

// Evaluation of a document whose object has not changed: the cache is handed back.
void BM_CacheHit(benchmark::State& state, Int atomCount)
{
	Session s;
	if (atomCount == 1)
	{
		if (s.Data()->atoms.Append(AtomRecord{5, Vector()}).Failed())
			state.SkipWithError("no memory for the atom");
		s.op->SetDirty(DIRTYFLAGS::DATA);
	}
	else
	{
		s.Load(BenchRecord());
	}
	vh::EvaluateDocument(s.doc);
	for (auto _ : state)
	{
		vh::EvaluateDocument(s.doc);
		benchmark::DoNotOptimize(s.op->GetCache());
	}
	state.counters["atoms"] = double(s.Data()->atoms.GetCount());
}
BENCHMARK_CAPTURE(BM_CacheHit, atoms1, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CacheHit, atoms999, 999)->Unit(benchmark::kMicrosecond);
} // namespace
