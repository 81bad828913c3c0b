// The export command and the summary line it prints.
#include "export.h"

#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "records.h"
#include "vh/gltf.h"
#include "vh/host.h"
#include "preview.h"
#include "roles.h"
#include "sdfloader.h"

namespace tool
{
std::string SummaryLine(const std::string& out, Int atoms, Int bonds, const vh::ExportSummary& summary, double seconds)
{
	std::ostringstream line;
	line << Printable(out) << ": " << atoms << " atoms, " << bonds << " bonds, " << summary.objects << " objects, "
		 << summary.polygonObjects + summary.sweeps << " meshes, " << summary.triangles << " triangles, " << summary.bytes
		 << " bytes, " << std::fixed << std::setprecision(3) << seconds << " s";
	return line.str();
}

int ExportDocument(Session& s, const std::string& out, const std::chrono::steady_clock::time_point* began,
	const std::string& note, const std::string* pageTemplate, bool merged)
{
	vh::ExportSummary summary;
	std::string error;
	if (!ExportWithRoles(s.doc, out, &summary, &error, merged))
	{
		std::cerr << "vireltan-host: export failed: " << Printable(error) << "\n";
		return 1;
	}
	const double seconds =
		began ? std::chrono::duration<double>(std::chrono::steady_clock::now() - *began).count() : summary.seconds;
	const Vireltan* data = MoleculeData(s.op);
	const std::string line =
		SummaryLine(out, data ? data->atoms.GetCount() : 0, data ? data->bonds.GetCount() : 0, summary, seconds) + note;
	std::cout << line << "\n";
	if (pageTemplate && !preview::WritePage(*pageTemplate, out, line, preview::PagePath(out), &error))
	{
		std::cerr << "vireltan-host: the preview page was not written: " << Printable(error) << "\n";
		return 1;
	}
	return 0;
}

namespace
{
// The object reads the first record; say so when the file holds more. Reading stops at the start
// of the second record, so a large library costs no more than its first record.
std::string RecordsNote(const std::string& molfile)
{
	std::ifstream in(molfile, std::ios::binary);
	std::string line;
	Bool ended = false; // past the first record's separator line
	while (std::getline(in, line))
	{
		if (ended && line.find_first_not_of(" \t\r") != std::string::npos)
			return "; the file holds more than one record, only the first was used (--all exports every one, --record N one)";
		ended = ended || IsRecordSeparator(line.c_str());
	}
	return "";
}

// The merged form's atom spheres, unless the command sets MOLOBJ_ATOM_SEGMENTS. Importers of the
// merged form spend their time per vertex: Blender 3.4 takes 10^4 atoms in about 7 s at 16
// segments and 16 s at the object's 24; at 16 a sphere's outline stays within 2 % of its radius.
constexpr Int32 MERGED_SPHERE_SEGMENTS = 16;

MoleculeOptions WithMergedDefaults(const MoleculeOptions& options)
{
	const std::string name = "MOLOBJ_ATOM_SEGMENTS=";
	MoleculeOptions merged = options;
	for (const std::string& set : options.sets)
		if (set.compare(0, name.size(), name) == 0)
			return merged;
	merged.sets.push_back(name + std::to_string(MERGED_SPHERE_SEGMENTS));
	return merged;
}
} // namespace

std::string LoadForExport(Session& s, const MoleculeOptions& options)
{
	if (!LoadMolecule(s, options))
	{
		std::string texts;
		for (const vh::DialogRecord& d : vh::Dialogs())
			texts += (texts.empty() ? "" : " ") + d.text;
		return "could not be loaded: " + texts;
	}
	const Vireltan* data = MoleculeData(s.op);
	if (!data || data->atoms.GetCount() == 0)
		return "gave no atoms (an empty molecule, or a connection table the object does not read)";
	return "";
}

std::string DefaultOutput(const std::string& molfile)
{
	std::string output = molfile;
	const size_t dot = output.find_last_of('.');
	const size_t slash = output.find_last_of('/');
	if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
		output.erase(dot);
	return output + ".glb";
}

int ExportCommand(Session& s, const MoleculeOptions& options, const std::string& output, const std::string* pageTemplate,
	bool merged)
{
	const auto began = std::chrono::steady_clock::now();
	const std::string tableProblem = ElementTableProblem(s);
	if (!tableProblem.empty())
	{
		std::cerr << "vireltan-host: " << tableProblem << "; reinstall the module. Nothing exported\n";
		return 1;
	}
	const std::string problem = LoadForExport(s, merged ? WithMergedDefaults(options) : options);
	if (!problem.empty())
	{
		std::cerr << "vireltan-host: " << Printable(options.molfile) << " " << Printable(problem) << "; nothing exported\n";
		return 1;
	}
	return ExportDocument(s, output.empty() ? DefaultOutput(options.molfile) : output, &began, RecordsNote(options.molfile),
		pageTemplate, merged);
}
} // namespace tool
