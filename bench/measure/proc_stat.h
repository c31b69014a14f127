#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace benchmeasure {

// utime + stime of `pid` in clock ticks, from /proc/<pid>/stat; false when
// the process is gone.
bool readCpuTicks(pid_t pid, unsigned long long* ticks);

double ticksToSeconds(unsigned long long ticks);

// VmHWM (the peak resident set) of `pid` in KiB, from /proc/<pid>/status;
// -1 when the process is gone or has no memory any more (a zombie).
long readPeakRssKib(pid_t pid);

// The processes whose environment holds `entry` exactly (e.g.
// "WINEPREFIX=/path"): the Wine server and services of one prefix.
std::vector<pid_t> processesWithEnvironment(const std::string& entry);

}  // namespace benchmeasure
