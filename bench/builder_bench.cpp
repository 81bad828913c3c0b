// Rebuild of the generated hierarchy for a 999-atom, 999-bond molecule with default settings.
#include <benchmark/benchmark.h>

#include <cmath>

#include "session.h"

namespace
{
// A helix of carbon, hydrogen, nitrogen and oxygen atoms, bonded in a closed chain.
struct Scene : Session
{
	Scene()
	{
		Vireltan* data = Data();
		const Int32 elements[4] = {5, 0, 6, 7};
		for (Int32 i = 0; i < 999; ++i)
		{
			const Float t = i * 0.6;
			if (data->atoms.Append(AtomRecord{elements[i % 4], Vector(3.0 * std::cos(t), 3.0 * std::sin(t), 0.15 * i)}).Failed())
				break;
			if (data->bonds.Append(BondRecord{i + 1, (i + 1) % 999 + 1, i % 3 + 1}).Failed())
				break;
		}
	}
};

void BM_Rebuild999(benchmark::State& state)
{
	Scene scene;
	for (auto _ : state)
	{
		scene.op->SetDirty(DIRTYFLAGS::DATA);
		vh::EvaluateDocument(scene.doc);
		benchmark::DoNotOptimize(scene.op->GetCache());
	}
	state.counters["atoms"] = 999;
	state.counters["bonds"] = 999;
}
BENCHMARK(BM_Rebuild999)->Unit(benchmark::kMillisecond);

void BM_UnchangedCache999(benchmark::State& state)
{
	Scene scene;
	vh::EvaluateDocument(scene.doc);
	for (auto _ : state)
	{
		vh::EvaluateDocument(scene.doc);
		benchmark::DoNotOptimize(scene.op->GetCache());
	}
}
BENCHMARK(BM_UnchangedCache999)->Unit(benchmark::kMicrosecond);
} // namespace
