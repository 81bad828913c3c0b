// Exporting the records of an SD file one by one, on worker processes that each drive their own
// documents: the host keeps its state in the process, so processes rather than threads.
#include "records.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <thread>

#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "export.h"
#include "roles.h"
#include "vh/gltf.h"
#include "vh/host.h"

namespace tool
{
namespace
{
struct RecordResult
{
	size_t index = 0;
	Bool ok = false;
	Int atoms = 0;
	Int bonds = 0;
	vh::ExportSummary summary;
	std::string reason; // why it failed
};

// What every record's export shares.
struct Job
{
	const MoleculeOptions* options = nullptr;
	std::vector<RecordSpan> records;
	std::string folder; // where the files go, with a trailing '/'
	std::string scratch; // a private temporary folder for the records' own files
	std::string suffix; // of the molecule file, so that the object reads each record as it reads the file
};

std::string TrimEnd(std::string line)
{
	line.erase(line.find_last_not_of(" \t\r") + 1);
	return line;
}

std::string Suffix(const std::string& path)
{
	const size_t dot = path.find_last_of('.');
	const size_t slash = path.find_last_of('/');
	return (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? "" : path.substr(dot);
}

Bool ReadSpan(const std::string& path, const RecordSpan& span, std::string& bytes)
{
	std::ifstream in(path, std::ios::binary);
	bytes.assign(size_t(span.length), '\0');
	return in.seekg(span.offset) && in.read(&bytes[0], span.length);
}

Bool WriteWhole(const std::string& path, const std::string& bytes)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	return out.write(bytes.data(), std::streamsize(bytes.size())) && out.flush();
}

std::string DialogTexts()
{
	std::string texts;
	for (const vh::DialogRecord& d : vh::Dialogs())
		texts += (texts.empty() ? "" : " ") + d.text;
	return texts;
}

// One record through a new document, as `export` drives a single file.
RecordResult ExportRecord(const Job& job, size_t index, const std::string& temp, const std::string& out)
{
	RecordResult r;
	r.index = index;
	std::string bytes;
	if (!ReadSpan(job.options->molfile, job.records[index], bytes) || !WriteWhole(temp, bytes))
	{
		r.reason = "the record could not be copied to " + temp + ": " + std::strerror(errno);
		return r;
	}
	Session s;
	if (!s.NewDocument())
	{
		r.reason = "the molecule object could not be created";
		return r;
	}
	vh::ClearConsoleAndDialogs();
	try
	{
		ApplyOptions(s, *job.options);
	}
	catch (const UsageError& e)
	{
		r.reason = e.message;
		return r;
	}
	Load(s, temp);
	const Bool loaded = vh::Dialogs().empty();
	vh::EvaluateDocument(s.doc);
	const Vireltan* data = MoleculeData(s.op);
	r.atoms = data ? data->atoms.GetCount() : 0;
	r.bonds = data ? data->bonds.GetCount() : 0;
	std::string error;
	if (!loaded)
		r.reason = "the record could not be loaded: " + DialogTexts();
	else if (r.atoms == 0)
		r.reason = "the record gave no atoms";
	else if (!ExportWithRoles(s.doc, out, &r.summary, &error))
		r.reason = error;
	r.ok = r.reason.empty();
	return r;
}

std::string OutputOf(const Job& job, size_t index)
{
	return job.folder + RecordFileName(index + 1, job.records.size(), job.records[index].firstLine);
}

// Records first, first + step, ... of the job.
void RunWorker(const Job& job, size_t first, size_t step, const std::function<void(const RecordResult&)>& report)
{
	const std::string temp = job.scratch + "/record-" + std::to_string(first) + job.suffix;
	for (size_t i = first; i < job.records.size(); i += step)
		report(ExportRecord(job, i, temp, OutputOf(job, i)));
	::unlink(temp.c_str());
}

std::string Encode(const RecordResult& r)
{
	std::string reason = r.reason;
	std::replace(reason.begin(), reason.end(), '\n', ' ');
	std::replace(reason.begin(), reason.end(), '\t', ' ');
	return std::to_string(r.index) + "\t" + (r.ok ? "1" : "0") + "\t" + std::to_string(r.atoms) + "\t" +
		std::to_string(r.bonds) + "\t" + reason + "\n";
}

Bool Decode(const std::string& line, RecordResult& r)
{
	std::istringstream in(line);
	std::string index, ok, atoms, bonds;
	if (!std::getline(in, index, '\t') || !std::getline(in, ok, '\t') || !std::getline(in, atoms, '\t') ||
		!std::getline(in, bonds, '\t'))
		return false;
	std::getline(in, r.reason);
	r.index = std::stoul(index);
	r.ok = ok == "1";
	r.atoms = std::stol(atoms);
	r.bonds = std::stol(bonds);
	return true;
}

void WriteAll(int fd, const std::string& text)
{
	size_t done = 0;
	while (done < text.size())
	{
		const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return;
		done += size_t(n);
	}
}

// Forks the workers and collects what they report through pipes. False when no worker could be
// started (the caller then does the work itself); records a worker left undone stay failed.
Bool RunWorkers(const Job& job, size_t workers, const std::function<void(const RecordResult&)>& collect)
{
	std::vector<int> fds;
	std::vector<pid_t> pids;
	std::cout.flush();
	std::cerr.flush();
	for (size_t w = 0; w < workers; ++w)
	{
		int p[2];
		if (::pipe(p) != 0)
			break;
		const pid_t pid = ::fork();
		if (pid < 0)
		{
			::close(p[0]);
			::close(p[1]);
			break;
		}
		if (pid == 0)
		{
			::close(p[0]);
			for (int fd : fds)
				::close(fd);
			vh::SetEcho(false);
			RunWorker(job, w, workers, [&](const RecordResult& r) { WriteAll(p[1], Encode(r)); });
			::close(p[1]);
			::_exit(0);
		}
		::close(p[1]);
		fds.push_back(p[0]);
		pids.push_back(pid);
	}
	if (pids.size() < workers)
	{
		// A worker that did not start would leave its records undone: stop the others and start over here.
		for (pid_t pid : pids)
			::kill(pid, SIGTERM);
		for (pid_t pid : pids)
			::waitpid(pid, nullptr, 0);
		for (int fd : fds)
			::close(fd);
		return false;
	}
	std::vector<std::string> pending(fds.size());
	std::vector<pollfd> polls;
	for (int fd : fds)
		polls.push_back({fd, POLLIN, 0});
	size_t open = fds.size();
	while (open > 0)
	{
		if (::poll(polls.data(), polls.size(), -1) < 0)
		{
			if (errno == EINTR)
				continue;
			break;
		}
		for (size_t i = 0; i < polls.size(); ++i)
		{
			if (polls[i].fd < 0 || !(polls[i].revents & (POLLIN | POLLHUP | POLLERR)))
				continue;
			char buffer[4096];
			const ssize_t n = ::read(polls[i].fd, buffer, sizeof buffer);
			if (n < 0 && errno == EINTR)
				continue;
			if (n <= 0)
			{
				::close(polls[i].fd);
				polls[i].fd = -1;
				--open;
				continue;
			}
			pending[i].append(buffer, size_t(n));
			size_t end;
			while ((end = pending[i].find('\n')) != std::string::npos)
			{
				RecordResult r;
				if (Decode(pending[i].substr(0, end), r) && r.index < job.records.size())
					collect(r);
				pending[i].erase(0, end + 1);
			}
		}
	}
	for (pid_t pid : pids)
		::waitpid(pid, nullptr, 0);
	return true;
}

// A bar on standard error while it is a terminal; nothing in pipes and logs.
void ShowProgress(size_t done, size_t total)
{
	static const Bool terminal = ::isatty(STDERR_FILENO) != 0;
	if (!terminal || total == 0)
		return;
	const size_t width = 30;
	const size_t filled = done * width / total;
	std::cerr << "\r[" << std::string(filled, '#') << std::string(width - filled, '.') << "] " << done << "/" << total
			  << " records" << (done == total ? "\r\033[K" : "") << std::flush;
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

std::string MakeScratch()
{
	const char* tmp = std::getenv("TMPDIR");
	std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vireltan-records-XXXXXX";
	return ::mkdtemp(&pattern[0]) ? pattern : "";
}

int ExportAll(Job& job, const std::string& output)
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

	std::vector<RecordResult> results(job.records.size());
	for (size_t i = 0; i < results.size(); ++i)
	{
		results[i].index = i;
		results[i].reason = "the record was not exported (its worker ended early)";
	}
	size_t done = 0;
	const auto collect = [&](const RecordResult& r) {
		results[r.index] = r;
		ShowProgress(++done, results.size());
	};
	const size_t cores = std::max(1u, std::thread::hardware_concurrency());
	const size_t workers = std::min(cores, job.records.size());
	if (workers < 2 || !RunWorkers(job, workers, collect))
	{
		done = 0;
		RunWorker(job, 0, 1, collect);
	}

	size_t failed = 0;
	for (const RecordResult& r : results)
	{
		if (r.ok)
			continue;
		++failed;
		std::cerr << "vireltan-host: record " << (r.index + 1) << " (" << Printable(job.records[r.index].firstLine) << "): " << Printable(r.reason) << "\n";
	}
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
	std::cout << Printable(job.folder) << ": " << results.size() << " records, " << (results.size() - failed) << " written, " << failed
			  << " failed, " << std::fixed << std::setprecision(3) << seconds << " s\n";
	return failed ? 1 : 0;
}

int ExportOne(Job& job, size_t index, const std::string& output)
{
	const auto began = std::chrono::steady_clock::now();
	std::string out = output;
	if (out.empty())
	{
		out = DefaultOutput(job.options->molfile);
		out.insert(out.size() - 4, "-" + std::to_string(index + 1));
	}
	const std::string temp = job.scratch + "/record" + job.suffix;
	const RecordResult r = ExportRecord(job, index, temp, out);
	::unlink(temp.c_str());
	if (!r.ok)
	{
		std::cerr << "vireltan-host: record " << (index + 1) << " (" << Printable(job.records[index].firstLine) << "): " << Printable(r.reason)
				  << "; nothing exported\n";
		return 1;
	}
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
	std::cout << SummaryLine(out, r.atoms, r.bonds, r.summary, seconds) << "; record " << (index + 1) << " of "
			  << job.records.size() << "\n";
	return 0;
}
} // namespace

Bool ScanRecords(const std::string& path, std::vector<RecordSpan>& records, std::string& error)
{
	records.clear();
	std::ifstream in(path, std::ios::binary);
	if (!in)
	{
		error = "cannot read " + path + ": " + std::strerror(errno);
		return false;
	}
	RecordSpan current;
	Bool blank = true; // the current record holds only blank lines so far
	Int64 offset = 0;
	std::string line;
	while (std::getline(in, line))
	{
		const Int64 next = offset + Int64(line.size()) + (in.eof() ? 0 : 1);
		if (current.length == 0)
			current.firstLine = TrimEnd(line);
		current.length = next - current.offset;
		blank = blank && TrimEnd(line).find_first_not_of(" \t") == std::string::npos;
		if (TrimEnd(line) == "$$$$")
		{
			records.push_back(current);
			current = RecordSpan{next, 0, ""};
			blank = true;
		}
		offset = next;
	}
	if (in.bad())
	{
		error = "cannot read " + path + ": " + std::strerror(errno);
		return false;
	}
	if (current.length > 0 && !blank)
		records.push_back(current);
	return true;
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

int ExportRecords(const MoleculeOptions& options, const std::string& output, Int32 record)
{
	Job job;
	job.options = &options;
	job.suffix = Suffix(options.molfile);
	std::string error;
	if (!ScanRecords(options.molfile, job.records, error))
	{
		std::cerr << "vireltan-host: " << Printable(error) << "; nothing exported\n";
		return 1;
	}
	if (record > 0 && size_t(record) > job.records.size())
		throw UsageError{"--record " + std::to_string(record) + ": " + options.molfile + " holds " +
			std::to_string(job.records.size()) + " record" + (job.records.size() == 1 ? "" : "s")};
	{
		// Usage errors and a broken installation show once, before any record is read.
		Session probe;
		if (!probe.NewDocument())
		{
			std::cerr << "vireltan-host: the molecule object could not be created\n";
			return 1;
		}
		const std::string tableProblem = ElementTableProblem(probe);
		if (!tableProblem.empty())
		{
			std::cerr << "vireltan-host: " << tableProblem << "; reinstall the module. Nothing exported\n";
			return 1;
		}
		ApplyOptions(probe, options);
	}
	job.scratch = MakeScratch();
	if (job.scratch.empty())
	{
		std::cerr << "vireltan-host: cannot make a temporary folder: " << std::strerror(errno) << "\n";
		return 1;
	}
	const int status = record > 0 ? ExportOne(job, size_t(record - 1), output) : ExportAll(job, output);
	::rmdir(job.scratch.c_str());
	return status;
}
} // namespace tool
