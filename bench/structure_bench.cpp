// Reading a 100k-atom PDB file and perceiving its bonds, as `convert` and `export` do. bench/run.py
// writes the file (copies of a demo protein side by side) and names it in VIRELTAN_BENCH_STRUCTURE.
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "structure.h"

namespace
{
const char* StructureFile()
{
	return std::getenv("VIRELTAN_BENCH_STRUCTURE");
}

const structure::RadiusTable& Radii()
{
	static const structure::RadiusTable table = structure::RadiusTable::Load(std::string(VIRELTAN_SOURCE_DIR) + "/res/ptable.csv");
	return table;
}

void BM_ReadStructure(benchmark::State& state)
{
	if (!StructureFile())
	{
		state.SkipWithError("VIRELTAN_BENCH_STRUCTURE names no file (bench/run.py writes one)");
		return;
	}
	size_t atoms = 0, bonds = 0;
	for (auto _ : state)
	{
		const std::vector<structure::Record> records = structure::ReadStructure(StructureFile(), Radii());
		atoms = records[0].atoms.size();
		bonds = records[0].bonds.size();
		benchmark::DoNotOptimize(records.data());
	}
	state.counters["atoms"] = double(atoms);
	state.counters["bonds"] = double(bonds);
}
BENCHMARK(BM_ReadStructure)->Unit(benchmark::kMillisecond);

void BM_PerceiveBonds(benchmark::State& state)
{
	if (!StructureFile())
	{
		state.SkipWithError("VIRELTAN_BENCH_STRUCTURE names no file (bench/run.py writes one)");
		return;
	}
	structure::Record record = structure::ReadStructure(StructureFile(), Radii()).at(0);
	for (auto _ : state)
	{
		record.bonds.clear();
		structure::PerceiveBonds(record, Radii());
		benchmark::DoNotOptimize(record.bonds.data());
	}
	state.counters["bonds"] = double(record.bonds.size());
}
BENCHMARK(BM_PerceiveBonds)->Unit(benchmark::kMillisecond);
} // namespace
