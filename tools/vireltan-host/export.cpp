// The export command and the summary line it prints.
#include "export.h"

#include <iomanip>
#include <iostream>
#include <sstream>

#include "records.h"
#include "vh/gltf.h"
#include "vh/host.h"
#include "preview.h"
#include "roles.h"

namespace tool
{
int ExportDocument(Session& s, const std::string& out, const std::chrono::steady_clock::time_point* began,
	const std::string& note, const std::string* pageTemplate, bool merged)
{
	vh::ExportSummary summary;
	std::string error;
	if (!ExportWithRoles(s.doc, out, &summary, &error, merged))
	{
		std::cerr << "vireltan-host: export failed: " << error << "\n";
		return 1;
	}
	const double seconds =
		began ? std::chrono::duration<double>(std::chrono::steady_clock::now() - *began).count() : summary.seconds;
	const Vireltan* data = MoleculeData(s.op);
	std::ostringstream line;
	line << out << ": " << (data ? data->atoms.GetCount() : 0) << " atoms, " << (data ? data->bonds.GetCount() : 0)
		 << " bonds, " << summary.objects << " objects, " << summary.polygonObjects + summary.sweeps << " meshes, "
		 << summary.triangles << " triangles, " << summary.bytes << " bytes, " << std::fixed << std::setprecision(3)
		 << seconds << " s" << note;
	std::cout << line.str() << "\n";
	if (pageTemplate && !preview::WritePage(*pageTemplate, out, line.str(), preview::PagePath(out), &error))
	{
		std::cerr << "vireltan-host: the preview page was not written: " << error << "\n";
		return 1;
	}
	return 0;
}

namespace
{
// The object reads the first record; say so when the file holds more.
std::string RecordsNote(const std::string& molfile)
{
	std::vector<RecordSpan> records;
	std::string error;
	if (!ScanRecords(molfile, records, error) || records.size() < 2)
		return "";
	return "; the file holds " + std::to_string(records.size()) +
		" records, only the first was used (--all exports every one, --record N one)";
}
} // namespace

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
	if (!LoadMolecule(s, options))
	{
		std::cerr << "vireltan-host: the molecule could not be loaded; nothing exported\n";
		return 1;
	}
	const Vireltan* data = MoleculeData(s.op);
	if (!data || data->atoms.GetCount() == 0)
	{
		std::cerr << "vireltan-host: " << options.molfile
				  << " gave no atoms (an empty molecule, or a connection table the object does not read); nothing exported\n";
		return 1;
	}
	return ExportDocument(s, output.empty() ? DefaultOutput(options.molfile) : output, &began, RecordsNote(options.molfile),
		pageTemplate, merged);
}
} // namespace tool
