// `export --all` (see batch.h). The parent scans the file as a stream and hands each record of the
// shard to an idle worker; a worker exports it into a temporary file beside its final name and
// reports back. The parent makes the written files durable in batches (one syncfs, then the
// renames), so a file under its final name is always complete, without an fsync per file.
#include "batch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <iostream>
#include <map>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "vh/host.h"

namespace tool
{
namespace
{
using Clock = std::chrono::steady_clock;

// Files are renamed to their final names after at most this many, or this long.
constexpr size_t kBatchFiles = 256;
constexpr auto kBatchTime = std::chrono::seconds(1);
constexpr auto kProgressEvery = std::chrono::milliseconds(100);

struct Task
{
	UInt64 index = 0;
	Int64 offset = 0;
	Int64 length = 0;
};

struct ResultHead
{
	UInt64 index = 0;
	UInt32 ok = 0;
	UInt32 lineBytes = 0; // the record's first line follows
	UInt32 reasonBytes = 0; // then why it failed
	UInt32 unused = 0; // no padding: every byte sent is set
};

// The self-pipe a stop signal writes to, so that poll wakes.
int g_stopPipe[2] = {-1, -1};
volatile sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int signal)
{
	g_stopSignal = signal;
	const char byte = 1;
	const ssize_t ignored = ::write(g_stopPipe[1], &byte, 1);
	(void)ignored;
}

// Moves size bytes with step (one send or read) until all are moved; false on an error or the end
// of the stream. An interrupted step is tried again.
template <typename Step>
Bool MoveAll(char* bytes, size_t size, Step step)
{
	while (size > 0)
	{
		const ssize_t n = step(bytes, size);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		bytes += n;
		size -= size_t(n);
	}
	return true;
}

Bool WriteAll(int fd, const void* data, size_t size)
{
	return MoveAll(const_cast<char*>(static_cast<const char*>(data)), size,
		[fd](char* bytes, size_t left) { return ::send(fd, bytes, left, MSG_NOSIGNAL); });
}

Bool ReadAll(int fd, void* data, size_t size)
{
	return MoveAll(static_cast<char*>(data), size, [fd](char* bytes, size_t left) { return ::read(fd, bytes, left); });
}

std::string FirstLineOf(const std::string& bytes)
{
	std::string line = bytes.substr(0, bytes.find('\n'));
	line.erase(line.find_last_not_of(" \t\r") + 1);
	return line;
}

// The temporary name a record's file has until it is committed: hidden, beside the final one, and
// unique to the record, so that shards writing into one folder never share one.
std::string PartName(const std::string& folder, const std::string& name)
{
	return folder + "." + name + ".part";
}

// ---- the worker ------------------------------------------------------------------------------

// Exports the records it is handed until the parent closes the socket; never returns.
[[noreturn]] void WorkerMain(const BatchJob& job, int socket)
{
	std::signal(SIGINT, SIG_DFL);
	std::signal(SIGTERM, SIG_DFL);
	std::signal(SIGHUP, SIG_DFL);
	vh::SetEcho(false);
	// Every record builds and frees a document: memory handed back to the system after each one
	// comes back as page faults and, on shrinking the heap, a TLB flush on every CPU. The worker
	// keeps it instead; its size stays that of its largest record.
	mallopt(M_TRIM_THRESHOLD, 256 << 20);
	mallopt(M_TOP_PAD, 16 << 20);
	mallopt(M_MMAP_THRESHOLD, 32 << 20);
	const std::string recordFile = job.scratch + "/record-" + std::to_string(::getpid()) + job.suffix;
	Task task;
	std::string glb;
	while (ReadAll(socket, &task, sizeof task))
	{
		const RecordSpan span{task.offset, task.length};
		glb.clear();
		RecordResult r = ExportRecord(*job.options, span, recordFile, nullptr, &glb);
		std::string head(size_t(std::min<Int64>(task.length, 4096)), '\0');
		{
			std::ifstream in(job.options->molfile, std::ios::binary);
			in.seekg(task.offset);
			in.read(&head[0], std::streamsize(head.size()));
			head.resize(size_t(in.gcount()));
		}
		const std::string firstLine = FirstLineOf(head);
		if (r.ok)
		{
			const std::string name = RecordFileName(size_t(task.index) + 1, job.count, firstLine);
			const std::string part = PartName(job.folder, name);
			const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
			Bool written = fd >= 0;
			for (size_t done = 0; written && done < glb.size();)
			{
				const ssize_t n = ::write(fd, glb.data() + done, glb.size() - done);
				if (n < 0 && errno == EINTR)
					continue;
				written = n > 0;
				done += written ? size_t(n) : 0;
			}
			if (fd >= 0 && ::close(fd) != 0)
				written = false;
			if (!written)
			{
				r.ok = false;
				r.reason = "cannot write " + job.folder + name + ": " + std::strerror(errno);
				::unlink(part.c_str());
			}
		}
		const ResultHead out{task.index, r.ok ? 1u : 0u, UInt32(firstLine.size()), UInt32(r.reason.size()), 0};
		if (!WriteAll(socket, &out, sizeof out) || !WriteAll(socket, firstLine.data(), firstLine.size()) ||
			!WriteAll(socket, r.reason.data(), r.reason.size()))
			break;
	}
	::unlink(recordFile.c_str());
	::_exit(0);
}

// ---- the parent ------------------------------------------------------------------------------

struct Worker
{
	pid_t pid = -1;
	int fd = -1;
	// Handed out and not yet reported, in order: the first is in flight, the second waits in the
	// socket, so that a worker never waits for the parent between two records.
	Task tasks[2];
	size_t queued = 0;
	std::string received; // bytes of a result not yet whole

	Bool Busy() const { return fd >= 0 && queued > 0; }
};

struct Progress
{
	Bool terminal = false;
	Bool shown = false;
	Clock::time_point drawn;

	void Draw(size_t done, size_t total, Bool force)
	{
		if (!terminal || total == 0)
			return;
		const Clock::time_point now = Clock::now();
		if (!force && shown && now - drawn < kProgressEvery)
			return;
		const size_t width = 30;
		const size_t filled = done * width / total;
		std::cerr << "\r[" << std::string(filled, '#') << std::string(width - filled, '.') << "] " << done << "/" << total
				  << " records" << std::flush;
		shown = true;
		drawn = now;
	}
	void Clear()
	{
		if (shown)
			std::cerr << "\r\033[K" << std::flush;
		shown = false;
	}
};

class Batch
{
public:
	Batch(const BatchJob& job, BatchCounts& counts) : _job(job), _counts(counts), _scanner(job.options->molfile) {}
	~Batch();
	void Run();

private:
	Bool StartWorkers();
	Bool StartWorker();
	void Serve();
	void Finish();
	int Reap(Worker& w);
	Bool NextTask(Task& task);
	void FailRemaining();
	void Dispatch(Worker& w);
	void Receive(Worker& w);
	void Ended(Worker& w);
	void Done(UInt64 index, Bool ok, const std::string& firstLine, const std::string& reason);
	void Commit();
	void FlushFailures();
	void Stop(int signal);
	std::string FirstLineAt(const Task& task) const;
	std::string RecordFile(pid_t pid) const { return _job.scratch + "/record-" + std::to_string(pid) + _job.suffix; }

	const BatchJob& _job;
	BatchCounts& _counts;
	RecordScanner _scanner;
	Bool _scanned = false; // the scanner has handed out every record
	size_t _next = 0; // index of the next record the scanner gives
	size_t _done = 0;
	std::vector<Worker> _workers;
	std::vector<std::string> _pending; // names of files written but not yet committed
	Clock::time_point _pendingSince;
	std::vector<Task> _retry; // records a dead worker had queued but not started
	std::map<UInt64, std::string> _failures; // reported, waiting for the records before them
	int _folder = -1;
	Progress _progress;
};

Batch::~Batch()
{
	for (Worker& w : _workers)
		if (w.fd >= 0)
			::close(w.fd);
	if (_folder >= 0)
		::close(_folder);
}

Bool Batch::StartWorker()
{
	int pair[2];
	if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
		return false;
	std::cout.flush();
	std::cerr.flush();
	const pid_t pid = ::fork();
	if (pid < 0)
	{
		::close(pair[0]);
		::close(pair[1]);
		return false;
	}
	if (pid == 0)
	{
		::close(pair[0]);
		for (const Worker& w : _workers)
			if (w.fd >= 0)
				::close(w.fd);
		::close(g_stopPipe[0]);
		::close(g_stopPipe[1]);
		WorkerMain(_job, pair[1]);
	}
	::close(pair[1]);
	Worker w;
	w.pid = pid;
	w.fd = pair[0];
	for (Worker& slot : _workers)
	{
		if (slot.fd < 0)
		{
			slot = std::move(w);
			return true;
		}
	}
	_workers.push_back(std::move(w));
	return true;
}

// The next record of the shard that is not done yet: one a dead worker left waiting, else the
// scanner's next; false when there is none.
Bool Batch::NextTask(Task& task)
{
	if (!_retry.empty())
	{
		task = _retry.back();
		_retry.pop_back();
		return true;
	}
	RecordSpan span;
	std::string firstLine;
	while (!_scanned && !g_stopSignal)
	{
		if (!_scanner.Next(span, firstLine))
		{
			_scanned = true;
			break;
		}
		const size_t index = _next++;
		if (!InShard(index, _job.batch.shard, _job.batch.shards))
			continue;
		if (_job.batch.resume &&
			::access((_job.folder + RecordFileName(index + 1, _job.count, firstLine)).c_str(), F_OK) == 0)
		{
			++_counts.skipped;
			++_done;
			continue;
		}
		task = Task{index, span.offset, span.length};
		return true;
	}
	return false;
}

// Fills the worker's queue.
void Batch::Dispatch(Worker& w)
{
	Task task;
	while (w.fd >= 0 && w.queued < 2 && !g_stopSignal && NextTask(task))
	{
		w.tasks[w.queued++] = task;
		if (!WriteAll(w.fd, &task, sizeof task))
		{
			Ended(w);
			return;
		}
	}
}

void Batch::Receive(Worker& w)
{
	char buffer[4096];
	const ssize_t n = ::read(w.fd, buffer, sizeof buffer);
	if (n < 0 && errno == EINTR)
		return;
	if (n <= 0)
	{
		Ended(w);
		return;
	}
	w.received.append(buffer, size_t(n));
	ResultHead head;
	while (w.received.size() >= sizeof head)
	{
		std::memcpy(&head, w.received.data(), sizeof head);
		const size_t whole = sizeof head + head.lineBytes + head.reasonBytes;
		if (w.received.size() < whole)
			return;
		const std::string firstLine = w.received.substr(sizeof head, head.lineBytes);
		const std::string reason = w.received.substr(sizeof head + head.lineBytes, head.reasonBytes);
		w.received.erase(0, whole);
		if (w.queued > 0 && w.tasks[0].index == head.index)
		{
			w.tasks[0] = w.tasks[1];
			--w.queued;
		}
		Done(head.index, head.ok != 0, firstLine, reason);
		if (!g_stopSignal)
			Dispatch(w);
	}
}

// A worker whose socket closed: reaped, its record in flight failed with the cause, its scratch
// removed, and a new worker started while records remain.
void Batch::Ended(Worker& w)
{
	const int status = Reap(w);
	::unlink(RecordFile(w.pid).c_str());
	const Bool busy = w.queued > 0;
	const Task task = w.tasks[0];
	const std::string firstLine = busy ? FirstLineAt(task) : std::string();
	if (busy)
		::unlink(PartName(_job.folder, RecordFileName(size_t(task.index) + 1, _job.count, firstLine)).c_str());
	// The record waiting behind it never started: another worker takes it.
	if (w.queued > 1)
		_retry.push_back(w.tasks[1]);
	w.queued = 0;
	if (busy && !g_stopSignal)
	{
		std::string cause = "the worker ended";
		if (WIFSIGNALED(status))
			cause = "the worker was killed by signal " + std::to_string(WTERMSIG(status));
		else if (WIFEXITED(status))
			cause = "the worker exited with status " + std::to_string(WEXITSTATUS(status)) + " before it reported";
		Done(task.index, false, firstLine, cause);
	}
	w.received.clear();
	if ((!_scanned || !_retry.empty()) && !g_stopSignal && StartWorker())
		for (Worker& fresh : _workers)
			if (fresh.fd >= 0 && fresh.queued < 2)
				Dispatch(fresh);
}

void Batch::Done(UInt64 index, Bool ok, const std::string& firstLine, const std::string& reason)
{
	++_done;
	if (ok)
	{
		if (_pending.empty())
			_pendingSince = Clock::now();
		_pending.push_back(RecordFileName(size_t(index) + 1, _job.count, firstLine));
		if (_pending.size() >= kBatchFiles)
			Commit();
	}
	else
	{
		++_counts.failed;
		_failures.emplace(index, "vireltan-host: record " + std::to_string(index + 1) + " (" + Printable(firstLine) +
			"): " + Printable(reason) + "\n");
	}
	FlushFailures();
	_progress.Draw(_done, _counts.records, false);
}

// Failures go out in record order: each waits only for the records before it still in flight.
void Batch::FlushFailures()
{
	UInt64 oldest = _scanned ? UINT64_MAX : UInt64(_next);
	for (const Worker& w : _workers)
		for (size_t i = 0; w.fd >= 0 && i < w.queued; ++i)
			oldest = std::min(oldest, w.tasks[i].index);
	for (const Task& t : _retry)
		oldest = std::min(oldest, t.index);
	while (!_failures.empty() && _failures.begin()->first < oldest)
	{
		_progress.Clear();
		std::cerr << _failures.begin()->second;
		_failures.erase(_failures.begin());
	}
}

// The written files' bytes reach the disk first, then they get their final names: a crash can
// lose the last batch, never leave a partial file under a final name.
void Batch::Commit()
{
	if (_pending.empty())
		return;
	if (_folder >= 0)
		::syncfs(_folder);
	for (const std::string& name : _pending)
	{
		if (::rename(PartName(_job.folder, name).c_str(), (_job.folder + name).c_str()) == 0)
		{
			++_counts.written;
			continue;
		}
		++_counts.failed;
		_progress.Clear();
		std::cerr << "vireltan-host: cannot write " << Printable(_job.folder + name) << ": " << std::strerror(errno) << "\n";
		::unlink(PartName(_job.folder, name).c_str());
	}
	_pending.clear();
}

// No worker is left and none can be started: what the shard still holds fails as one.
void Batch::FailRemaining()
{
	if ((_scanned && _retry.empty()) || _done >= _counts.records)
		return;
	_progress.Clear();
	std::cerr << "vireltan-host: " << (_counts.records - _done) << " records from record " << (_next + 1)
			  << " on were not exported: no worker process could be started\n";
	_counts.failed += _counts.records - _done;
	_done = _counts.records;
	_scanned = true;
}

std::string Batch::FirstLineAt(const Task& task) const
{
	std::ifstream in(_job.options->molfile, std::ios::binary);
	std::string head(size_t(std::min<Int64>(task.length, 4096)), '\0');
	in.seekg(task.offset);
	in.read(&head[0], std::streamsize(head.size()));
	head.resize(size_t(in.gcount()));
	return FirstLineOf(head);
}

// Workers stopped and reaped, every partial and scratch file removed, the finished files committed,
// then the process ends by the signal that stopped it.
void Batch::Stop(int signal)
{
	for (Worker& w : _workers)
		if (w.fd >= 0)
			::kill(w.pid, SIGTERM);
	for (Worker& w : _workers)
	{
		if (w.fd < 0)
			continue;
		Reap(w);
		::unlink(RecordFile(w.pid).c_str());
		if (w.queued > 0)
			::unlink(PartName(_job.folder, RecordFileName(size_t(w.tasks[0].index) + 1, _job.count, FirstLineAt(w.tasks[0]))).c_str());
	}
	// What the workers finished is kept (made durable, then renamed), so --resume need not redo it.
	Commit();
	::rmdir(_job.scratch.c_str());
	if (_folder >= 0)
		::syncfs(_folder);
	_progress.Clear();
	std::cerr << "vireltan-host: stopped by signal " << signal << " after " << _counts.written << " records written; "
			  << "the same command with --resume finishes the rest\n";
	std::signal(signal, SIG_DFL);
	::raise(signal);
	::_exit(128 + signal);
}

void Batch::Run()
{
	_folder = ::open(_job.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
	_progress.terminal = ::isatty(STDERR_FILENO) != 0;
	if (!StartWorkers())
	{
		std::cerr << "vireltan-host: cannot start a worker process: " << std::strerror(errno) << "\n";
		_counts.failed = _counts.records;
		return;
	}
	Serve();
	if (g_stopSignal)
		Stop(g_stopSignal);
	Finish();
}

// As many workers as the job asks for, or as could be started; false when none could.
Bool Batch::StartWorkers()
{
	const size_t workers = std::max<size_t>(1, _job.workers);
	_workers.reserve(workers); // a replacement takes its predecessor's place: references stay valid
	for (size_t i = 0; i < workers; ++i)
	{
		if (!StartWorker())
			break;
	}
	if (_workers.empty())
		return false;
	for (Worker& w : _workers)
		Dispatch(w);
	return true;
}

// Hands out records and takes in results until every worker is idle or a stop signal came.
void Batch::Serve()
{
	std::vector<pollfd> polls;
	while (!g_stopSignal)
	{
		polls.clear();
		polls.push_back({g_stopPipe[0], POLLIN, 0});
		for (const Worker& w : _workers)
			polls.push_back({w.fd, POLLIN, 0});
		Bool busy = false;
		for (const Worker& w : _workers)
			busy = busy || w.Busy();
		if (!busy)
			break;
		const int ready = ::poll(polls.data(), polls.size(), int(kProgressEvery.count()));
		if (ready < 0 && errno != EINTR)
			break;
		for (size_t i = 1; ready > 0 && i < polls.size(); ++i)
		{
			Worker& w = _workers[i - 1];
			if (w.fd >= 0 && w.fd == polls[i].fd && (polls[i].revents & (POLLIN | POLLHUP | POLLERR)))
				Receive(w);
		}
		if (!_pending.empty() && Clock::now() - _pendingSince >= kBatchTime)
			Commit();
		_progress.Draw(_done, _counts.records, false);
	}
}

// The records no worker did fail, the workers end, the files written are committed and the
// failures reported.
void Batch::Finish()
{
	FailRemaining();
	// Closing the sockets ends the idle workers.
	for (Worker& w : _workers)
		if (w.fd >= 0)
			Reap(w);
	Commit();
	if (_folder >= 0)
		::syncfs(_folder);
	if (!_scanner.Error().empty())
	{
		std::cerr << "vireltan-host: " << Printable(_scanner.Error()) << "\n";
		++_counts.failed;
	}
	FlushFailures();
	_progress.Draw(_done, _counts.records, true);
	_progress.Clear();
}

// Closes a worker's socket and waits for it to end; how it ended (waitpid's status).
int Batch::Reap(Worker& w)
{
	::close(w.fd);
	w.fd = -1;
	int status = 0;
	while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR)
	{
	}
	return status;
}
} // namespace

void RunBatch(const BatchJob& job, BatchCounts& counts)
{
	counts = BatchCounts{};
	counts.records = job.count / job.batch.shards + (job.count % job.batch.shards >= job.batch.shard ? 1 : 0);
	if (::pipe2(g_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
	{
		std::cerr << "vireltan-host: cannot make a pipe: " << std::strerror(errno) << "\n";
		counts.failed = counts.records;
		return;
	}
	struct sigaction stop = {};
	stop.sa_handler = OnStopSignal;
	sigemptyset(&stop.sa_mask);
	struct sigaction before[3];
	const int signals[3] = {SIGINT, SIGTERM, SIGHUP};
	for (int i = 0; i < 3; ++i)
		::sigaction(signals[i], &stop, &before[i]);
	{
		Batch batch(job, counts);
		batch.Run();
	}
	for (int i = 0; i < 3; ++i)
		::sigaction(signals[i], &before[i], nullptr);
	::close(g_stopPipe[0]);
	::close(g_stopPipe[1]);
	g_stopPipe[0] = g_stopPipe[1] = -1;
}
} // namespace tool
