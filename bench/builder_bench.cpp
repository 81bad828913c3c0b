// Rebuild of the generated hierarchy (defaults, with nuclei, with ten material groups) against a
// plain copy of as many bytes as the hierarchy holds, and a cache hit for 1 and for 999 atoms.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstring>
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

// Heap bytes in use: what the hierarchy's nodes, containers, tags and arrays take, all counted
// (the nodes come from the host's own blocks, which malloc does not count).
Int64 HeapBytes()
{
	const struct mallinfo2 m = mallinfo2();
	return Int64(m.uordblks) + Int64(m.hblkhd) + vh::NodeBytesInUse();
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
}

// The memory floor of a rebuild: copying as many bytes as the built hierarchy holds on the heap,
// every node, container, tag and array in it (an array objects share is allocated, and so
// counted, once). They are the heap's growth over the first build, which also holds what that
// build sets up once, so the floor is if anything too high.
void BM_Copy(benchmark::State& state, const std::string& file, Setup setup)
{
	size_t bytes = 0;
	{
		Session s;
		const Int64 before = HeapBytes();
		Prepare(s, file, setup);
		const Int64 after = HeapBytes();
		bytes = size_t(after > before ? after - before : 1);
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
