// The records of an SD file: finding them, naming their files, exporting one, and the entry of
// `export --all` and `--record N`.
#include "records.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iomanip>
#include <iostream>

#include <sys/stat.h>
#include <unistd.h>

#include "batch.h"
#include "cpus.h"
#include "export.h"
#include "molecule.h"
#include "roles.h"
#include "scratch.h"
#include "sdfloader.h"
#include "vh/host.h"

namespace tool
{
namespace
{
std::string TrimEnd(const std::string& line)
{
	const size_t last = line.find_last_not_of(" \t\r");
	return last == std::string::npos ? std::string() : line.substr(0, last + 1);
}

Bool IsBlank(const std::string& line)
{
	return line.find_first_not_of(" \t\r") == std::string::npos;
}

std::string Suffix(const std::string& path)
{
	const size_t dot = path.find_last_of('.');
	const size_t slash = path.find_last_of('/');
	return (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? "" : path.substr(dot);
}

Bool CopySpan(const std::string& path, const RecordSpan& span, const std::string& to)
{
	std::ifstream in(path, std::ios::binary);
	std::string bytes(size_t(span.length), '\0');
	if (!in.seekg(span.offset) || !in.read(&bytes[0], span.length))
		return false;
	std::ofstream out(to, std::ios::binary | std::ios::trunc);
	return out.write(bytes.data(), std::streamsize(bytes.size())) && out.flush();
}

Bool MakeFolder(const std::string& folder, std::string& error)
{
	struct stat info;
	if (::stat(folder.c_str(), &info) == 0)
	{
		if (S_ISDIR(info.st_mode))
			return true;
		error = folder + " is not a folder";
		return false;
	}
	if (::mkdir(folder.c_str(), 0777) == 0)
		return true;
	error = "cannot make the folder " + folder + ": " + std::strerror(errno);
	return false;
}

// The scratch folder and --record's record file, removed by a stop signal that comes while they
// exist (the batch has its own handler, which stops its workers first). Fixed buffers: the
// handler may only make async-signal-safe calls.
char g_scratchFolder[4096];
char g_scratchFile[4096];

void RemoveScratchAndStop(int signal)
{
	if (g_scratchFile[0])
		::unlink(g_scratchFile);
	if (g_scratchFolder[0])
		::rmdir(g_scratchFolder);
	std::signal(signal, SIG_DFL);
	::raise(signal);
}

void GuardScratch(const std::string& folder, const std::string& file)
{
	if (folder.size() >= sizeof g_scratchFolder || file.size() >= sizeof g_scratchFile)
		return;
	std::memcpy(g_scratchFile, file.c_str(), file.size() + 1);
	std::memcpy(g_scratchFolder, folder.c_str(), folder.size() + 1);
	for (int signal : {SIGINT, SIGTERM, SIGHUP})
		std::signal(signal, folder.empty() ? SIG_DFL : RemoveScratchAndStop);
}

size_t ShardSize(size_t count, const BatchOptions& batch)
{
	return count / batch.shards + (count % batch.shards >= batch.shard ? 1 : 0);
}

int ExportAll(BatchJob& job, const std::string& output)
{
	const auto began = std::chrono::steady_clock::now();
	std::string folder = output.empty() ? DefaultOutput(job.options->molfile) : output;
	if (output.empty())
		folder.erase(folder.size() - 4); // the molecule file's name without its suffix
	std::string error;
	if (!MakeFolder(folder, error))
	{
		std::cerr << "vireltan-host: " << Printable(error) << "; nothing exported\n";
		return 1;
	}
	job.folder = folder.back() == '/' ? folder : folder + "/";
	const size_t todo = ShardSize(job.count, job.batch);
	job.workers = std::max<size_t>(1, std::min<size_t>(job.batch.jobs ? job.batch.jobs : UsableCpus(), todo));
	if (job.batch.verbose)
		std::cerr << "vireltan-host: " << todo << " records on " << job.workers << " worker process"
				  << (job.workers == 1 ? "" : "es") << "\n";

	BatchCounts counts;
	RunBatch(job, counts);
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
	std::cout << Printable(job.folder) << ": ";
	if (job.batch.shards > 1)
		std::cout << "shard " << job.batch.shard << "/" << job.batch.shards << ", " << counts.records << " of ";
	std::cout << job.count << " records, " << counts.written << " written, " << counts.failed << " failed, "
			  << counts.skipped << " skipped, " << std::fixed << std::setprecision(3) << seconds << " s\n";
	return counts.failed ? 1 : 0;
}

int ExportOne(const BatchJob& job, const RecordSpan& span, const std::string& firstLine, const std::string& output)
{
	const auto began = std::chrono::steady_clock::now();
	const size_t index = size_t(job.batch.record);
	std::string out = output;
	if (out.empty())
	{
		out = DefaultOutput(job.options->molfile);
		out.insert(out.size() - 4, "-" + std::to_string(index));
	}
	const std::string temp = job.scratch + "/record" + job.suffix;
	GuardScratch(job.scratch, temp);
	const RecordResult r = ExportRecord(*job.options, span, temp, &out, nullptr);
	::unlink(temp.c_str());
	if (!r.ok)
	{
		std::cerr << "vireltan-host: record " << index << " (" << Printable(firstLine) << "): " << Printable(r.reason)
				  << "; nothing exported\n";
		return 1;
	}
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
	std::cout << SummaryLine(out, r.atoms, r.bonds, r.summary, seconds) << "; record " << index << " of " << job.count << "\n";
	return 0;
}
} // namespace

RecordScanner::RecordScanner(const std::string& path) : _path(path), _in(path, std::ios::binary)
{
	if (!_in)
	{
		_error = "cannot read " + path + ": " + std::strerror(errno);
		_done = true;
	}
}

Bool RecordScanner::Next(RecordSpan& span, std::string& firstLine)
{
	span = RecordSpan{_offset, 0};
	firstLine.clear();
	Bool blank = true; // the record holds only blank lines so far
	while (!_done && std::getline(_in, _line))
	{
		const Int64 next = _offset + Int64(_line.size()) + (_in.eof() ? 0 : 1);
		if (span.length == 0)
			firstLine = TrimEnd(_line);
		span.length = next - span.offset;
		blank = blank && IsBlank(_line);
		_offset = next;
		if (IsRecordSeparator(_line.c_str()))
			return true;
	}
	if (!_done && _in.bad())
		_error = "cannot read " + _path + ": " + std::strerror(errno);
	_done = true;
	return span.length > 0 && !blank && _error.empty();
}

std::string RecordFileName(size_t index, size_t count, const std::string& firstLine)
{
	std::string number = std::to_string(index);
	number.insert(0, std::to_string(count).size() - std::min(number.size(), std::to_string(count).size()), '0');
	std::string name;
	for (char c : firstLine.substr(0, firstLine.find_last_not_of(" \t") + 1))
	{
		const Bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
			c == '_' || c == '+' || c == '-';
		if (!plain && c != ' ' && c != '\t')
			return number + ".glb";
		name += plain ? c : '_';
	}
	const size_t lead = name.find_first_not_of('_');
	name = lead == std::string::npos ? "" : name.substr(lead);
	if (name.empty() || name.size() > 64 || name[0] == '.' || name[0] == '-')
		return number + ".glb";
	return number + "-" + name + ".glb";
}

RecordResult ExportRecord(const MoleculeOptions& options, const RecordSpan& span, const std::string& recordFile,
	const std::string* out, std::string* glb)
{
	RecordResult r;
	if (!CopySpan(options.molfile, span, recordFile))
	{
		r.reason = "the record could not be copied to " + recordFile + ": " + std::strerror(errno);
		return r;
	}
	Session s;
	if (!s.NewDocument())
	{
		r.reason = "the molecule object could not be created";
		return r;
	}
	vh::ClearConsoleAndDialogs();
	MoleculeOptions record = options;
	record.molfile = recordFile;
	try
	{
		r.reason = LoadForExport(s, record);
	}
	catch (const UsageError& e)
	{
		r.reason = e.message;
		return r;
	}
	const Vireltan* data = MoleculeData(s.op);
	r.atoms = data ? data->atoms.GetCount() : 0;
	r.bonds = data ? data->bonds.GetCount() : 0;
	std::string error;
	if (!r.reason.empty())
		r.reason = "the record " + r.reason;
	else if (out ? !ExportWithRoles(s.doc, *out, &r.summary, &error) : !ExportBytesWithRoles(s.doc, *glb, &r.summary, &error))
		r.reason = error;
	r.ok = r.reason.empty();
	return r;
}

void ParseShard(const std::string& text, BatchOptions& batch)
{
	const size_t slash = text.find('/');
	const std::string form = "--shard expects K/N with 1 <= K <= N (the K-th of N shards), got '" + text + "'";
	if (slash == std::string::npos)
		throw UsageError{form};
	const std::string k = text.substr(0, slash), n = text.substr(slash + 1);
	const auto number = [&](const std::string& digits) {
		if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
			throw UsageError{form};
		return UInt32(std::stoul(digits));
	};
	batch.shard = number(k);
	batch.shards = number(n);
	if (batch.shard < 1 || batch.shard > batch.shards)
		throw UsageError{form};
}

namespace
{
// A FIFO or a device could be read without end, and twice would read other bytes.
Bool IsRegularFile(const std::string& path)
{
	struct stat info;
	const Bool exists = ::stat(path.c_str(), &info) == 0;
	if (exists && S_ISREG(info.st_mode))
		return true;
	const std::string why = exists ? "not a regular file" : std::strerror(errno);
	std::cerr << "vireltan-host: cannot read " << Printable(path) << ": " << why << "; nothing exported\n";
	return false;
}

// One pass counts the records (file names are padded to the count's width) and finds --record's;
// false (said why) when the file cannot be read or holds none.
Bool CountRecords(BatchJob& job, RecordSpan& chosen, std::string& chosenLine)
{
	const std::string& molfile = job.options->molfile;
	RecordScanner scanner(molfile);
	RecordSpan span;
	std::string firstLine;
	while (scanner.Next(span, firstLine))
	{
		if (++job.count == size_t(job.batch.record))
		{
			chosen = span;
			chosenLine = firstLine;
		}
	}
	if (!scanner.Error().empty())
	{
		std::cerr << "vireltan-host: " << Printable(scanner.Error()) << "; nothing exported\n";
		return false;
	}
	if (job.batch.record > 0 && size_t(job.batch.record) > job.count)
		throw UsageError{"--record " + std::to_string(job.batch.record) + ": " + molfile + " holds " +
			std::to_string(job.count) + " record" + (job.count == 1 ? "" : "s")};
	if (job.count == 0)
	{
		std::cerr << "vireltan-host: " << Printable(molfile) << " holds no records; nothing exported\n";
		return false;
	}
	return true;
}

// Usage errors and a broken installation show once, before any record is read; false (said
// why) when the object cannot serve.
Bool Probe(const MoleculeOptions& options)
{
	Session probe;
	if (!probe.NewDocument())
	{
		std::cerr << "vireltan-host: the molecule object could not be created\n";
		return false;
	}
	const std::string tableProblem = ElementTableProblem(probe);
	if (!tableProblem.empty())
	{
		std::cerr << "vireltan-host: " << tableProblem << "; reinstall the module. Nothing exported\n";
		return false;
	}
	ApplyOptions(probe, options);
	return true;
}

// The job's scratch folder, guarded against stop signals; false (said why) when it cannot be made.
Bool MakeJobScratch(BatchJob& job)
{
	// Stop signals wait until the guard is in place, so that no scratch folder outlives the process.
	sigset_t stops, before;
	sigemptyset(&stops);
	for (int signal : {SIGINT, SIGTERM, SIGHUP})
		sigaddset(&stops, signal);
	::sigprocmask(SIG_BLOCK, &stops, &before);
	job.scratch = MakeScratchFolder("vireltan-records");
	GuardScratch(job.scratch, "");
	::sigprocmask(SIG_SETMASK, &before, nullptr);
	if (!job.scratch.empty())
		return true;
	std::cerr << "vireltan-host: cannot make a temporary folder: " << std::strerror(errno) << "\n";
	return false;
}
} // namespace

int ExportRecords(const MoleculeOptions& options, const std::string& output, const BatchOptions& batch)
{
	if (!IsRegularFile(options.molfile))
		return 1;
	BatchJob job;
	job.options = &options;
	job.batch = batch;
	job.suffix = Suffix(options.molfile);
	RecordSpan chosen;
	std::string chosenLine;
	if (!CountRecords(job, chosen, chosenLine) || !Probe(options) || !MakeJobScratch(job))
		return 1;
	const int status = batch.record > 0 ? ExportOne(job, chosen, chosenLine, output) : ExportAll(job, output);
	::rmdir(job.scratch.c_str());
	GuardScratch("", "");
	return status;
}
} // namespace tool
