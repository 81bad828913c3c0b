// Structure files read on the command line and written as MDL files.
#include "structures.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>

#include <unistd.h>

#include "records.h"
#include "scratch.h"
#include "sdfloader.h"
#include "session.h"
#include "structure.h"

namespace tool
{
namespace
{
using structure::BaseName;
using structure::EndsWith;
using structure::Lower;

std::string Comment(const std::string& in, size_t index, size_t count)
{
	std::string comment = "from " + BaseName(in);
	if (count > 1)
		comment += ", model " + std::to_string(index + 1) + " of " + std::to_string(count);
	return comment;
}

// Writes `path` through a temporary file beside it that replaces it once complete, so that a
// failure leaves nothing behind.
class AtomicOutput
{
public:
	explicit AtomicOutput(std::string path) : path_(std::move(path)), temp_(path_ + ".partXXXXXX")
	{
		const int fd = ::mkstemp(&temp_[0]);
		if (fd < 0)
		{
			temp_.clear();
			throw structure::ReadError(path_ + ": cannot be written: " + std::strerror(errno));
		}
		::close(fd);
		out.open(temp_, std::ios::binary | std::ios::trunc);
	}
	~AtomicOutput()
	{
		if (!temp_.empty())
			::unlink(temp_.c_str());
	}
	void Commit()
	{
		out.flush();
		out.close();
		if (!out || std::rename(temp_.c_str(), path_.c_str()) != 0)
			throw structure::ReadError(path_ + ": cannot be written: " + std::strerror(errno));
		temp_.clear();
	}

	std::ofstream out;

private:
	std::string path_;
	std::string temp_;
};

// The records of an SD or MOL file, copied as they are.
size_t CopyMdl(const std::string& in, std::ostream& out, bool first)
{
	RecordScanner scanner(in);
	RecordSpan span;
	std::string firstLine;
	std::ifstream file(in, std::ios::binary);
	size_t count = 0;
	for (; scanner.Next(span, firstLine); ++count)
	{
		// A MOL file takes the first record; the others are only counted.
		if (first && count > 0)
			continue;
		std::string bytes(size_t(span.length), '\0');
		if (!file.seekg(span.offset) || !file.read(&bytes[0], span.length))
			throw structure::ReadError(in + ": cannot be read: " + std::strerror(errno));
		if (!bytes.empty() && bytes.back() != '\n')
			bytes += '\n';
		if (first)
		{
			// A MOL file is the connection table alone.
			const size_t end = bytes.find("M  END");
			const size_t lineEnd = end == std::string::npos ? end : bytes.find('\n', end);
			if (lineEnd != std::string::npos)
				bytes.erase(lineEnd + 1);
			out << bytes;
			continue;
		}
		out << bytes;
		const size_t last = bytes.find_last_not_of("\r\n");
		const size_t lineStart = bytes.find_last_of('\n', last);
		const std::string lastLine = bytes.substr(lineStart == std::string::npos ? 0 : lineStart + 1, last + 1);
		if (!IsRecordSeparator(lastLine.c_str()))
			out << "$$$$\n";
	}
	if (!scanner.Error().empty())
		throw structure::ReadError(scanner.Error());
	if (count == 0)
		throw structure::ReadError(in + ": the file is empty");
	return count;
}

void WriteRecords(std::ostream& out, const std::string& in, const std::vector<structure::Record>& records, bool first)
{
	for (size_t i = 0; i < (first ? 1 : records.size()); ++i)
	{
		structure::WriteMdl(out, records[i], Comment(in, i, records.size()));
		if (!first)
			out << "$$$$\n";
	}
}
} // namespace

bool IsStructureFile(const std::string& path)
{
	const structure::Format f = structure::FormatOf(path);
	return f == structure::Format::Pdb || f == structure::Format::Mmcif || f == structure::Format::Xyz;
}

std::string ElementTablePath(const std::string& pluginsFolder)
{
	return pluginsFolder + "/vireltan/res/ptable.csv";
}

int ConvertCommand(const std::string& in, const std::string& out, const std::string& elementTable)
{
	const auto began = std::chrono::steady_clock::now();
	const std::string suffix = Lower(out);
	const bool mol = EndsWith(suffix, ".mol");
	if (!mol && !EndsWith(suffix, ".sdf"))
		throw UsageError{"convert writes MDL files: give -o a name ending in .sdf (every record) or .mol (the first)"};
	const structure::Format format = structure::FormatOf(in);
	try
	{
		if (format == structure::Format::Unknown)
			throw structure::ReadError(in + ": not a format convert reads (.pdb, .ent, .cif, .mmcif, .xyz, each also .gz; .sdf, .mol)");
		size_t count = 0;
		size_t atoms = 0, bonds = 0;
		bool v3000 = false;
		AtomicOutput output(out);
		if (format == structure::Format::Mdl)
		{
			count = CopyMdl(in, output.out, mol);
		}
		else
		{
			const std::vector<structure::Record> records =
				structure::ReadStructure(in, structure::RadiusTable::Load(elementTable));
			count = records.size();
			atoms = records[0].atoms.size();
			bonds = records[0].bonds.size();
			v3000 = !structure::FitsV2000(records[0]);
			WriteRecords(output.out, in, records, mol);
		}
		output.Commit();
		const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
		std::cout << out << ": " << (mol ? 1 : count) << " record" << ((mol || count == 1) ? "" : "s");
		if (format != structure::Format::Mdl)
			std::cout << ", the first " << atoms << " atoms, " << bonds << " bonds (" << (v3000 ? "V3000" : "V2000") << ")";
		std::cout << ", " << std::fixed << std::setprecision(3) << seconds << " s";
		if (mol && count > 1)
			std::cout << "; " << in << " holds " << count << " records, a MOL file only the first (write .sdf for every one)";
		std::cout << "\n";
		return 0;
	}
	catch (const structure::ReadError& e)
	{
		std::cerr << "vireltan-host: " << e.what() << "; nothing written\n";
		return 1;
	}
}

HandedOver::HandedOver(const std::string& path, const std::string& elementTable)
{
	const std::vector<structure::Record> records =
		structure::ReadStructure(path, structure::RadiusTable::Load(elementTable));
	folder_ = MakeScratchFolder("vireltan-structure");
	if (folder_.empty())
		throw structure::ReadError(std::string("cannot make a temporary folder: ") + std::strerror(errno));
	path_ = folder_ + "/" + structure::Stem(path) + ".sdf";
	std::ofstream out(path_, std::ios::binary | std::ios::trunc);
	WriteRecords(out, path, records, false);
	out.close();
	if (!out)
	{
		const std::string problem = path_ + ": cannot be written: " + std::strerror(errno);
		::unlink(path_.c_str());
		::rmdir(folder_.c_str());
		throw structure::ReadError(problem);
	}
}

HandedOver::~HandedOver()
{
	if (!path_.empty())
		::unlink(path_.c_str());
	if (!folder_.empty())
		::rmdir(folder_.c_str());
}

std::string StructureOutput(const std::string& path, bool all, int record)
{
	const size_t slash = path.find_last_of('/');
	const std::string base = (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + structure::Stem(path);
	if (all)
		return base;
	return record > 0 ? base + "-" + std::to_string(record) + ".glb" : base + ".glb";
}
} // namespace tool
