// How many CPUs this process may use: its affinity mask, held to the CPU quota of its cgroup.
#pragma once

#include <cstddef>
#include <string>

namespace tool
{
// At least 1.
size_t UsableCpus();

// The CPUs a cgroup quota allows (quota / period, rounded up), the tightest of the process's cgroup
// and those above it; 0 when none is set. procCgroup is the text of /proc/self/cgroup, root the
// cgroup file system's mount point.
size_t CgroupCpuLimit(const std::string& procCgroup, const std::string& root);
} // namespace tool
