// vireltan_measure REPORT COMMAND [ARG]...: runs the command and writes one line to REPORT: wall
// seconds, user CPU seconds, system CPU seconds, peak resident kB and exit status.
//
// The command is started from this small program, not from the benchmark driver, because Linux
// keeps a process's peak memory across exec: a child of a large process would report the
// parent's size as its own peak. Times come from wait4 with microsecond resolution.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace
{
double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; }

double Now()
{
	timespec t {};
	clock_gettime(CLOCK_MONOTONIC, &t);
	return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
} // namespace

int main(int argc, char** argv)
{
	if (argc < 3)
	{
		std::fprintf(stderr, "usage: vireltan_measure REPORT COMMAND [ARG]...\n");
		return 2;
	}
	const double start = Now();
	const pid_t pid = fork();
	if (pid < 0)
	{
		std::fprintf(stderr, "vireltan_measure: cannot start %s: %s\n", argv[2], std::strerror(errno));
		return 2;
	}
	if (pid == 0)
	{
		execvp(argv[2], argv + 2);
		std::fprintf(stderr, "vireltan_measure: cannot run %s: %s\n", argv[2], std::strerror(errno));
		_exit(127);
	}
	int status = 0;
	rusage usage {};
	while (wait4(pid, &status, 0, &usage) < 0)
	{
		if (errno != EINTR)
		{
			std::fprintf(stderr, "vireltan_measure: lost %s: %s\n", argv[2], std::strerror(errno));
			return 2;
		}
	}
	const double wall = Now() - start;
	const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	FILE* report = std::fopen(argv[1], "w");
	if (!report)
	{
		std::fprintf(stderr, "vireltan_measure: cannot write %s: %s\n", argv[1], std::strerror(errno));
		return 2;
	}
	std::fprintf(report, "%.6f %.6f %.6f %ld %d\n", wall, Seconds(usage.ru_utime), Seconds(usage.ru_stime), usage.ru_maxrss, code);
	if (std::fclose(report) != 0)
		return 2;
	return code;
}
