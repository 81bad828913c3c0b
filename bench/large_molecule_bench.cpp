// A molecule far beyond the 999 atoms of a V2000 counts line, read from a V3000 file: load,
// rebuild and export to .glb, and the V3000 reader alone.
//
// Measured on 2026-12-09, the project's 2-core build machine while other builds ran (load
// average about 15, so wall times are inflated; CPU time is the figure to compare):
//   BM_LargeLoadBuildExport  5000 atoms, 4722 bonds, 19168 objects, 6.8 MB .glb:
//                            298 ms CPU (2.1 s wall) per load, rebuild and export
//   BM_LargeRead             5.2 ms CPU (46 ms wall) per read of the V3000 file
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "sdfloader.h"
#include "session.h"
#include "vh/gltf.h"

namespace
{
const int LARGE_ATOMS = 5000;

std::string Scratch(const std::string& suffix)
{
	const std::filesystem::path dir = std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
																			  : std::filesystem::temp_directory_path();
	return (dir / ("vireltan-large-" + std::to_string(getpid()) + suffix)).string();
}

// A V3000 file of LARGE_ATOMS atoms on a 1.5 unit grid (C, N, O and H in turn), each bonded to
// its neighbour along x, every fifth bond double.
std::string WriteLargeMolecule()
{
	const std::string path = Scratch(".mol");
	std::ofstream out(path);
	const int side = 18;
	const char* const symbols[] = {"C", "N", "O", "H"};
	std::string atoms, bonds;
	int bondCount = 0;
	for (int i = 0; i < LARGE_ATOMS; ++i)
	{
		const int x = i % side, y = (i / side) % side, z = i / (side * side);
		atoms += "M  V30 " + std::to_string(i + 1) + " " + symbols[i % 4] + " " + std::to_string(1.5 * x) + " " + std::to_string(1.5 * y) + " " +
				 std::to_string(1.5 * z) + " 0\n";
		if (x + 1 < side && i + 1 < LARGE_ATOMS)
		{
			++bondCount;
			bonds += "M  V30 " + std::to_string(bondCount) + (bondCount % 5 == 0 ? " 2 " : " 1 ") + std::to_string(i + 1) + " " +
					 std::to_string(i + 2) + "\n";
		}
	}
	out << "grid of " << LARGE_ATOMS << " atoms\n     bench\n\n  0  0  0     0  0            999 V3000\n"
		<< "M  V30 BEGIN CTAB\nM  V30 COUNTS " << LARGE_ATOMS << " " << bondCount << " 0 0 0\n"
		<< "M  V30 BEGIN ATOM\n"
		<< atoms << "M  V30 END ATOM\nM  V30 BEGIN BOND\n"
		<< bonds << "M  V30 END BOND\nM  V30 END CTAB\nM  END\n";
	return path;
}

void LoadInto(Session& s, const std::string& file)
{
	s.op->GetDataInstance()->SetFilename(MOLOBJ_FILE, Filename(vh::FromUtf8(file)));
	DescriptionCommand dc;
	dc._descId = DescID(DescLevel(MOLOBJ_LOAD, DTYPE_BUTTON, 0));
	s.op->Message(MSG_DESCRIPTION_COMMAND, &dc);
}

void BM_LargeLoadBuildExport(benchmark::State& state)
{
	Session s;
	const std::string molecule = WriteLargeMolecule();
	const std::string out = Scratch(".glb");
	vh::ExportSummary summary;
	std::string error;
	for (auto _ : state)
	{
		LoadInto(s, molecule);
		vh::EvaluateDocument(s.doc);
		if (!vh::ExportGltf(s.doc, Filename(vh::FromUtf8(out)), &summary, &error))
		{
			state.SkipWithError(error.c_str());
			break;
		}
	}
	if (s.Data()->atoms.GetCount() != LARGE_ATOMS)
		state.SkipWithError("the molecule did not load whole");
	std::remove(out.c_str());
	std::remove(molecule.c_str());
	state.counters["atoms"] = double(s.Data()->atoms.GetCount());
	state.counters["bonds"] = double(s.Data()->bonds.GetCount());
	state.counters["objects"] = double(summary.objects);
	state.counters["bytes"] = double(summary.bytes);
}
BENCHMARK(BM_LargeLoadBuildExport)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LargeRead(benchmark::State& state)
{
	Session s;
	const std::string molecule = WriteLargeMolecule();
	maxon::BaseArray<AtomRecord> atoms;
	maxon::BaseArray<BondRecord> bonds;
	SDFLoader loader;
	const Filename name(vh::FromUtf8(molecule));
	for (auto _ : state)
	{
		loader.LoadFile(nullptr, name, s.Data()->elements, atoms, bonds);
		benchmark::DoNotOptimize(atoms.GetFirst());
	}
	std::remove(molecule.c_str());
	state.counters["atoms"] = double(atoms.GetCount());
	state.counters["bonds"] = double(bonds.GetCount());
}
BENCHMARK(BM_LargeRead)->Unit(benchmark::kMillisecond);
} // namespace
