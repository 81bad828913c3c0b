// CPUs this process may use (see cpus.h).
#include "cpus.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include <sched.h>

namespace tool
{
namespace
{
std::string ReadText(const std::string& path)
{
	std::ifstream in(path);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// CPUs from a quota and a period in the same unit; 0 for no quota.
size_t FromQuota(long long quota, long long period)
{
	if (quota <= 0 || period <= 0)
		return 0;
	return size_t((quota + period - 1) / period);
}

size_t Tighter(size_t a, size_t b)
{
	if (a == 0)
		return b;
	return b == 0 ? a : std::min(a, b);
}

// The folder and each folder above it up to the root.
template <typename Visit>
void Upwards(const std::string& root, std::string path, Visit visit)
{
	while (true)
	{
		visit(root + path);
		const size_t slash = path.find_last_of('/');
		if (path.empty() || slash == std::string::npos)
			return;
		path.erase(slash);
	}
}
} // namespace

size_t CgroupCpuLimit(const std::string& procCgroup, const std::string& root)
{
	size_t limit = 0;
	std::istringstream lines(procCgroup);
	std::string line;
	while (std::getline(lines, line))
	{
		// "ID:CONTROLLERS:PATH"; version 2 has the ID 0 and no controllers.
		const size_t first = line.find(':');
		const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
		if (second == std::string::npos)
			continue;
		const std::string controllers = line.substr(first + 1, second - first - 1);
		const std::string path = line.substr(second + 1);
		if (line.compare(0, first, "0") == 0 && controllers.empty())
		{
			Upwards(root, path, [&](const std::string& folder) {
				std::istringstream max(ReadText(folder + "/cpu.max"));
				std::string quota;
				long long period = 0;
				if (max >> quota >> period && quota != "max")
					limit = Tighter(limit, FromQuota(std::atoll(quota.c_str()), period));
			});
			continue;
		}
		std::istringstream names(controllers);
		std::string name;
		while (std::getline(names, name, ','))
		{
			if (name != "cpu")
				continue;
			Upwards(root + "/" + controllers, path, [&](const std::string& folder) {
				const long long quota = std::atoll(ReadText(folder + "/cpu.cfs_quota_us").c_str());
				const long long period = std::atoll(ReadText(folder + "/cpu.cfs_period_us").c_str());
				limit = Tighter(limit, FromQuota(quota, period));
			});
		}
	}
	return limit;
}

size_t UsableCpus()
{
	size_t cpus = std::max(1u, std::thread::hardware_concurrency());
	cpu_set_t set;
	CPU_ZERO(&set);
	if (sched_getaffinity(0, sizeof set, &set) == 0)
		cpus = size_t(std::max(1, CPU_COUNT(&set)));
	const size_t quota = CgroupCpuLimit(ReadText("/proc/self/cgroup"), "/sys/fs/cgroup");
	return std::max<size_t>(1, quota ? std::min(cpus, quota) : cpus);
}
} // namespace tool
