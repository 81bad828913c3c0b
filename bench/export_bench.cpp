// Export of each example molecule and of the 999-atom record, from the file to a .glb (load,
// rebuild, write), and the writer alone on the largest example and the record.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "session.h"
#include "vh/gltf.h"

namespace
{
// Output in memory where the machine has a RAM disk, so that the disk's speed stays out of the figures.
std::string Output()
{
	const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
																			  : std::filesystem::temp_directory_path();
	return (dir / ("vireltan-bench-" + std::to_string(getpid()) + ".glb")).string();
}

void BM_Export(benchmark::State& state, const std::string& molfile)
{
	Session s;
	const std::string out = Output();
	vh::ExportSummary summary;
	std::string error;
	for (auto _ : state)
	{
		s.Load(molfile);
		vh::EvaluateDocument(s.doc);
		if (!vh::ExportGltf(s.doc, Filename(vh::FromUtf8(out)), &summary, &error))
		{
			state.SkipWithError(error.c_str());
			break;
		}
	}
	std::remove(out.c_str());
	state.counters["atoms"] = double(s.Data()->atoms.GetCount());
	state.counters["bonds"] = double(s.Data()->bonds.GetCount());
	state.counters["triangles"] = double(summary.triangles);
	state.counters["bytes"] = double(summary.bytes);
}
// The writer alone, on a document evaluated once.
void BM_WriteOnly(benchmark::State& state, const std::string& molfile)
{
	Session s;
	const std::string out = Output();
	s.Load(molfile);
	vh::EvaluateDocument(s.doc);
	vh::ExportSummary summary;
	std::string error;
	for (auto _ : state)
	{
		if (!vh::ExportGltf(s.doc, Filename(vh::FromUtf8(out)), &summary, &error))
		{
			state.SkipWithError(error.c_str());
			break;
		}
	}
	std::remove(out.c_str());
	state.counters["triangles"] = double(summary.triangles);
	state.counters["bytes"] = double(summary.bytes);
}
} // namespace

// One export benchmark per example molecule and for the record, registered before the benchmarks run.
int main(int argc, char** argv)
{
	std::vector<std::filesystem::path> examples;
	for (const auto& e : std::filesystem::directory_iterator(std::string(VIRELTAN_SOURCE_DIR) + "/examples"))
		if (e.path().extension() == ".sdf")
			examples.push_back(e.path());
	std::sort(examples.begin(), examples.end());
	examples.push_back(BenchRecord());
	for (const auto& path : examples)
		benchmark::RegisterBenchmark(("BM_Export/" + path.stem().string()).c_str(), BM_Export, path.string())
			->Unit(benchmark::kMillisecond);
	for (const std::filesystem::path path : {LargestExample(), BenchRecord()})
		benchmark::RegisterBenchmark(("BM_WriteOnly/" + path.stem().string()).c_str(), BM_WriteOnly, path.string())
			->Unit(benchmark::kMillisecond);

	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		return 1;
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	return 0;
}
