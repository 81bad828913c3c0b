// Export of each example molecule, from the file to a .glb (load, rebuild, write), and the writer
// alone on the largest.
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
void Load(Session& s, const std::string& file)
{
	s.op->GetDataInstance()->SetFilename(MOLOBJ_FILE, Filename(vh::FromUtf8(file)));
	DescriptionCommand dc;
	dc._descId = DescID(DescLevel(MOLOBJ_LOAD, DTYPE_BUTTON, 0));
	s.op->Message(MSG_DESCRIPTION_COMMAND, &dc);
}

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
		Load(s, molfile);
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
	Load(s, molfile);
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

// One export benchmark per example molecule, registered before the benchmarks run.
int main(int argc, char** argv)
{
	std::vector<std::filesystem::path> examples;
	for (const auto& e : std::filesystem::directory_iterator(std::string(VIRELTAN_SOURCE_DIR) + "/examples"))
		if (e.path().extension() == ".sdf")
			examples.push_back(e.path());
	std::sort(examples.begin(), examples.end());
	for (const auto& path : examples)
		benchmark::RegisterBenchmark(("BM_Export/" + path.stem().string()).c_str(), BM_Export, path.string())
			->Unit(benchmark::kMillisecond);
	// The largest example file is the largest molecule.
	auto largest = std::max_element(examples.begin(), examples.end(),
		[](const auto& a, const auto& b) { return std::filesystem::file_size(a) < std::filesystem::file_size(b); });
	if (largest != examples.end())
		benchmark::RegisterBenchmark(("BM_WriteOnly/" + largest->stem().string()).c_str(), BM_WriteOnly, largest->string())
			->Unit(benchmark::kMillisecond);

	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		return 1;
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	return 0;
}
