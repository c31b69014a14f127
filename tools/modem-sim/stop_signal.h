#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace modemsim {

// Knows when the simulator has to stop: on SIGTERM or SIGINT, or once an
// optional run time is over. Every wait of the simulator polls `fd()`
// with a timeout from `boundTimeout`, so a stop is seen at once and no wait
// outlasts the run time.
class StopSignal {
 public:
  StopSignal() = default;
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Installs the signal handlers. `runTimeMs` < 0 means no run time.
  bool install(std::int64_t runTimeMs, std::string* error);

  // Readable once a stop signal has arrived.
  int fd() const { return readFd_; }

  bool stopRequested() const;

  // `timeoutMs` (negative: forever) shortened so that it ends no later
  // than the run time; a poll timeout.
  int boundTimeout(std::int64_t timeoutMs) const;

  // Waits `ms` milliseconds unless a stop comes first. False on a stop.
  bool pause(std::int64_t ms) const;

 private:
  int readFd_ = -1;
  int writeFd_ = -1;
  bool hasDeadline_ = false;
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace modemsim
