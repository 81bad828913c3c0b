// Reading a molecule file into atoms and bonds: the 999-atom record and the largest example.
#include <benchmark/benchmark.h>

#include "sdfloader.h"
#include "session.h"

namespace
{
void BM_Read(benchmark::State& state, const std::string& file)
{
	Session s;
	Vireltan* data = s.Data();
	maxon::BaseArray<AtomRecord> atoms;
	maxon::BaseArray<BondRecord> bonds;
	SDFLoader loader;
	const Filename name(vh::FromUtf8(file));
	for (auto _ : state)
	{
		if (!loader.LoadFile(nullptr, name, data->elements, atoms, bonds))
		{
			state.SkipWithError("the file could not be read");
			break;
		}
		benchmark::DoNotOptimize(atoms.GetFirst());
		benchmark::ClobberMemory();
	}
	state.counters["atoms"] = double(atoms.GetCount());
	state.counters["bonds"] = double(bonds.GetCount());
}
BENCHMARK_CAPTURE(BM_Read, procaine27, BenchRecord())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Read, protein_g_b1, LargestExample())->Unit(benchmark::kMicrosecond);
} // namespace
