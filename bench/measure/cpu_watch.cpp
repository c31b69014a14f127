#include "cpu_watch.h"

#include <unistd.h>

#include "proc_stat.h"

namespace benchmeasure {

void CpuWatch::start() {
  for (auto& entry : named_) entry.second.ok = readCpuTicks(entry.second.pid, &entry.second.ticks);
  if (environmentEntry_.empty()) return;
  for (pid_t pid : processesWithEnvironment(environmentEntry_)) {
    unsigned long long ticks = 0;
    if (pid != getpid() && readCpuTicks(pid, &ticks)) environmentStart_[pid] = ticks;
  }
}

void CpuWatch::stop() {
  for (const auto& entry : named_) {
    Delta delta;
    delta.name = entry.first;
    unsigned long long ticks = 0;
    delta.seen = entry.second.ok && readCpuTicks(entry.second.pid, &ticks);
    if (delta.seen) delta.seconds = ticksToSeconds(ticks - entry.second.ticks);
    namedDeltas_.push_back(delta);
  }
  if (environmentEntry_.empty()) return;
  unsigned long long total = 0;
  std::map<pid_t, unsigned long long> remaining = environmentStart_;
  for (pid_t pid : processesWithEnvironment(environmentEntry_)) {
    unsigned long long ticks = 0;
    if (pid == getpid() || !readCpuTicks(pid, &ticks)) continue;
    const auto started = remaining.find(pid);
    total += started == remaining.end() ? ticks : ticks - started->second;
    if (started != remaining.end()) remaining.erase(started);
    ++environmentProcesses_;
  }
  environmentSeconds_ = ticksToSeconds(total);
  environmentVanished_ = static_cast<int>(remaining.size());
}

}  // namespace benchmeasure
