// vireltan-host export --all on libraries: a worker killed mid-run, an interrupted run finished by
// --resume, shards whose union is the single run, the progress bar on a terminal, and the file
// types and counts --all refuses.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gmock/gmock.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cpus.h"
#include "support.h"

#ifdef VIRELTAN_HOST_TOOL
namespace
{
using namespace integration;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

const std::string EXAMPLES = std::string(VIRELTAN_SOURCE_DIR) + "/examples";
// The protein tiled five times into one record (tools/tile_molecule.py): a few hundred times the
// work of an amino acid, so that its worker is caught in flight on a loaded machine too.
const std::string HEAVY = "protein_g_b1 x5 (4295 atoms)";

std::string HeavyRecord()
{
	static const std::string record = [] {
		TempDir dir;
		const std::string command = "/usr/bin/python3 '" + std::string(VIRELTAN_SOURCE_DIR) + "/tools/tile_molecule.py' 4295 '" +
			dir.File("heavy.sdf") + "'";
		return std::system(command.c_str()) == 0 ? testfiles::ReadFile(dir.File("heavy.sdf")) : std::string();
	}();
	return record;
}

// 20 amino acids, the heavy record (record 21), 20 more.
std::string Library()
{
	const std::string amino = testfiles::ReadFile(EXAMPLES + "/amino_acids.sdf");
	EXPECT_EQ(HeavyRecord().rfind(HEAVY + "\n", 0), 0u) << "tools/tile_molecule.py wrote no heavy record";
	return amino + HeavyRecord() + amino;
}

// The tool started in the background with its scratch under dir/tmp; output to dir/log.
struct Background
{
	pid_t pid = -1;
	explicit Background(const TempDir& dir, const std::string& args)
	{
		std::filesystem::create_directories(dir.File("tmp"));
		const std::string command = "TMPDIR='" + dir.File("tmp") + "' exec '" + TOOL + "' --plugins '" + PLUGINS + "' " + args +
			" >'" + dir.File("log") + "' 2>&1";
		pid = fork();
		if (pid == 0)
		{
			execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
			_exit(127);
		}
	}
	int Wait()
	{
		int status = 0;
		waitpid(pid, &status, 0);
		return status;
	}
};

// The pid of the worker whose record file holds the heavy record, once one does; -1 after 60 s.
pid_t WorkerOnTheHeavyRecord(const TempDir& dir)
{
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
	while (std::chrono::steady_clock::now() < until)
	{
		std::error_code ec;
		for (const auto& scratch : std::filesystem::directory_iterator(dir.File("tmp"), ec))
			for (const auto& file : std::filesystem::directory_iterator(scratch.path(), ec))
			{
				const std::string name = file.path().filename().string();
				if (name.rfind("record-", 0) == 0 && testfiles::ReadFile(file.path().string()).rfind(HEAVY + "\n", 0) == 0)
					return pid_t(std::stol(name.substr(7)));
			}
		std::this_thread::sleep_for(std::chrono::milliseconds(2));
	}
	return -1;
}

// The tool's scratch folders left in dir/tmp (a memory checker running the workers keeps files of
// its own there, which a killed worker cannot remove).
std::vector<std::string> Scratch(const TempDir& dir)
{
	std::vector<std::string> left;
	std::error_code ec;
	for (const auto& e : std::filesystem::directory_iterator(dir.File("tmp"), ec))
		if (e.path().filename().string().rfind("vireltan-records-", 0) == 0)
			left.push_back(e.path().filename().string());
	return left;
}

using testfiles::Names;

// Every file of `expected` is in `actual` with the same bytes, and nothing else is.
void ExpectSameFolder(const std::string& expected, const std::string& actual)
{
	ASSERT_EQ(Names(expected), Names(actual));
	for (const std::string& name : Names(expected))
		EXPECT_TRUE(testfiles::ReadFile(expected + "/" + name) == testfiles::ReadFile(actual + "/" + name)) << name << " differs";
}

TEST(Batch, AKilledWorkerFailsOnlyItsRecordInFlightAndIsReplaced)
{
	TempDir dir;
	dir.Write("library.sdf", Library());
	// One worker: the records after the killed one are done only if a new worker takes its place.
	Background run(dir, "export '" + dir.File("library.sdf") + "' --all -j 1 -o '" + dir.File("out") + "'");
	const pid_t worker = WorkerOnTheHeavyRecord(dir);
	ASSERT_GT(worker, 0) << "the heavy record was never seen in flight";
	ASSERT_EQ(kill(worker, SIGKILL), 0);
	const int status = run.Wait();
	const std::string log = testfiles::ReadFile(dir.File("log"));
	ASSERT_TRUE(WIFEXITED(status)) << log;
	EXPECT_EQ(WEXITSTATUS(status), 1) << log;
	EXPECT_THAT(log, MatchesRegex("vireltan-host: record 21 \\(protein_g_b1 x5 \\(4295 atoms\\)\\): the worker was killed by signal 9\n"
								  ".*/out/: 41 records, 40 written, 1 failed, 0 skipped, [0-9.]+ s\n"));
	const std::vector<std::string> names = Names(dir.File("out"));
	EXPECT_EQ(names.size(), 40u);
	EXPECT_EQ(std::count(names.begin(), names.end(), "21.glb"), 0);
	EXPECT_EQ(std::count(names.begin(), names.end(), "41-histidine.glb"), 1) << "the replacement worker finished the run";
	EXPECT_TRUE(Scratch(dir).empty()) << "scratch left in TMPDIR";
}

TEST(Batch, AnInterruptedRunIsFinishedByResume)
{
	TempDir dir;
	dir.Write("library.sdf", Library());
	ASSERT_EQ(Tool("export '" + dir.File("library.sdf") + "' --all -o '" + dir.File("whole") + "'").status, 0);

	Background run(dir, "export '" + dir.File("library.sdf") + "' --all -j 2 -o '" + dir.File("out") + "'");
	ASSERT_GT(WorkerOnTheHeavyRecord(dir), 0) << "the heavy record was never seen in flight";
	ASSERT_EQ(kill(run.pid, SIGINT), 0);
	const int status = run.Wait();
	const std::string log = testfiles::ReadFile(dir.File("log"));
	ASSERT_TRUE(WIFSIGNALED(status)) << log;
	EXPECT_EQ(WTERMSIG(status), SIGINT);
	EXPECT_THAT(log, HasSubstr("the same command with --resume finishes the rest\n"));
	EXPECT_TRUE(Scratch(dir).empty()) << "scratch left in TMPDIR";
	// Most of records 1 to 20 were done before the heavy 21st (some may be in flight): they are kept.
	const std::vector<std::string> before = Names(dir.File("out"));
	EXPECT_GE(before.size(), 10u);
	EXPECT_LT(before.size(), 41u);
	for (const std::string& name : before)
	{
		EXPECT_NE(name[0], '.') << name << ": a partial file was left";
		EXPECT_TRUE(testfiles::ReadFile(dir.File("out/" + name)) == testfiles::ReadFile(dir.File("whole/" + name))) << name;
	}

	Output resumed = Tool("export '" + dir.File("library.sdf") + "' --all --resume -o '" + dir.File("out") + "'");
	EXPECT_EQ(resumed.status, 0) << resumed.out;
	EXPECT_THAT(resumed.out, HasSubstr("/out/: 41 records, " + std::to_string(41 - before.size()) + " written, 0 failed, " +
		std::to_string(before.size()) + " skipped, "));
	ExpectSameFolder(dir.File("whole"), dir.File("out"));
}

TEST(Batch, ShardsTogetherWriteTheFolderOfASingleRun)
{
	TempDir dir;
	dir.Write("library.sdf", Library());
	ASSERT_EQ(Tool("export '" + dir.File("library.sdf") + "' --all -o '" + dir.File("whole") + "'").status, 0);
	for (const char* shard : {"2/3", "1/3", "3/3"})
	{
		Output out = Tool("export '" + dir.File("library.sdf") + "' --all -j 1 --shard " + shard + " -o '" + dir.File("shards") + "'");
		EXPECT_EQ(out.status, 0) << out.out;
		// Every third record: shard 1 holds records 1, 4, ..., 40 (14), shards 2 and 3 hold 14 and 13.
		EXPECT_THAT(out.out, HasSubstr(std::string("/shards/: shard ") + shard + ", " + (shard[0] == '3' ? "13" : "14") +
			" of 41 records, "));
	}
	ExpectSameFolder(dir.File("whole"), dir.File("shards"));
	// A shard past the records is empty, not a failure.
	dir.Write("two.sdf", testfiles::ReadFile(EXAMPLES + "/caffeine.sdf") + testfiles::ReadFile(EXAMPLES + "/benzene.sdf"));
	Output empty = Tool("export '" + dir.File("two.sdf") + "' --all --shard 3/5 -o '" + dir.File("none") + "'");
	EXPECT_EQ(empty.status, 0) << empty.out;
	EXPECT_THAT(empty.out, HasSubstr("shard 3/5, 0 of 2 records, 0 written, 0 failed, 0 skipped"));

	for (const char* bad : {"--all --shard 0/3", "--all --shard 4/3", "--all --shard 1", "--all --shard x/2", "--shard 1/2",
			 "--resume", "--all -j 0"})
	{
		Output out = Tool("export '" + dir.File("two.sdf") + "' " + bad);
		EXPECT_EQ(out.status, 2) << bad << "\n" << out.out;
	}
}

TEST(Batch, AllRefusesFilesWithoutRecordsAndFilesThatAreNotRegular)
{
	TempDir dir;
	dir.Write("empty.sdf", "");
	dir.Write("blank.sdf", "\n  \n\n");
	for (const char* name : {"empty.sdf", "blank.sdf"})
	{
		Output out = Tool("export '" + dir.File(name) + "' --all -o '" + dir.File("out") + "'");
		EXPECT_EQ(out.status, 1) << name;
		EXPECT_THAT(out.out, HasSubstr(std::string(name) + " holds no records; nothing exported\n")) << name;
	}
	ASSERT_EQ(mkfifo(dir.File("pipe.sdf").c_str(), 0600), 0);
	// A reader of the pipe would wait for a writer for ever; timeout ends it then.
	for (const std::string& file : {dir.File("pipe.sdf"), std::string("/dev/zero"), dir.Path()})
	{
		Output out = Shell("timeout 20 '" + TOOL + "' --plugins '" + PLUGINS + "' export '" + file + "' --all -o '" +
			dir.File("out") + "'", true);
		EXPECT_EQ(out.status, 1) << file << "\n" << out.out;
		EXPECT_THAT(out.out, HasSubstr("cannot read " + file + ": not a regular file; nothing exported\n")) << file;
	}
}

TEST(Batch, WorkersFollowTheCpusTheProcessMayUse)
{
	TempDir dir;
	dir.Write("library.sdf", Library());
	Output pinned = Shell("taskset -c 0 '" + TOOL + "' --plugins '" + PLUGINS + "' export '" + dir.File("library.sdf") +
		"' --all --verbose -o '" + dir.File("a") + "'", true);
	EXPECT_EQ(pinned.status, 0) << pinned.out;
	EXPECT_THAT(pinned.out, HasSubstr("vireltan-host: 41 records on 1 worker process\n"));
	Output three = Tool("export '" + dir.File("library.sdf") + "' --all -j 3 --verbose -o '" + dir.File("b") + "'");
	EXPECT_THAT(three.out, HasSubstr("vireltan-host: 41 records on 3 worker processes\n"));
}

// The quota of the process's cgroup or of any cgroup above it, the tightest, rounded up to whole CPUs.
TEST(Batch, CgroupQuotasLimitTheWorkers)
{
	TempDir root;
	root.Write("jobs/job7/step0/cpu.max", "max 100000\n");
	root.Write("jobs/job7/cpu.max", "250000 100000\n");
	root.Write("jobs/cpu.max", "800000 100000\n");
	EXPECT_EQ(tool::CgroupCpuLimit("0::/jobs/job7/step0\n", root.Path()), 3u);
	EXPECT_EQ(tool::CgroupCpuLimit("0::/jobs\n", root.Path()), 8u);
	EXPECT_EQ(tool::CgroupCpuLimit("0::/jobs/job7/step0/none\n", root.Path() + "/missing"), 0u) << "no cgroup files";
	root.Write("cpu,cpuacct/pod/cpu.cfs_quota_us", "150000\n");
	root.Write("cpu,cpuacct/pod/cpu.cfs_period_us", "100000\n");
	root.Write("cpu,cpuacct/cpu.cfs_quota_us", "-1\n");
	root.Write("cpu,cpuacct/cpu.cfs_period_us", "100000\n");
	EXPECT_EQ(tool::CgroupCpuLimit("4:memory:/pod\n3:cpu,cpuacct:/pod\n0::/\n", root.Path()), 2u);
	EXPECT_EQ(tool::CgroupCpuLimit("3:cpu,cpuacct:/\n", root.Path()), 0u) << "-1 is no quota";
}

// The bar is drawn only on a terminal, at most about ten times a second, and cleared at the end.
TEST(Batch, ProgressOnATerminalIsRedrawnAtMostTenTimesASecond)
{
	TempDir dir;
	const std::string amino = testfiles::ReadFile(EXAMPLES + "/amino_acids.sdf");
	std::string library;
	for (int i = 0; i < 15; ++i)
		library += amino;
	dir.Write("library.sdf", library);
	int terminal = -1;
	const auto began = std::chrono::steady_clock::now();
	const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
	ASSERT_GE(pid, 0);
	if (pid == 0)
	{
		execl(TOOL.c_str(), TOOL.c_str(), "--plugins", PLUGINS.c_str(), "export", dir.File("library.sdf").c_str(), "--all", "-o",
			dir.File("out").c_str(), static_cast<char*>(nullptr));
		_exit(127);
	}
	std::string seen;
	char buffer[4096];
	ssize_t n;
	while ((n = read(terminal, buffer, sizeof buffer)) > 0)
		seen.append(buffer, size_t(n));
	close(terminal);
	int status = 0;
	waitpid(pid, &status, 0);
	const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
	ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
	size_t draws = 0;
	for (size_t at = seen.find("\r["); at != std::string::npos; at = seen.find("\r[", at + 1))
		++draws;
	EXPECT_GE(draws, 2u) << seen;
	EXPECT_LE(double(draws), 10 * seconds + 3) << draws << " redraws in " << seconds << " s";
	EXPECT_THAT(seen, HasSubstr("] 300/300 records\r\x1b[K"));
	EXPECT_THAT(seen, HasSubstr("/out/: 300 records, 300 written, 0 failed, 0 skipped, "));
}
} // namespace
#endif
