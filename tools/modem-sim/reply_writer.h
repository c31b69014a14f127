#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "stop_signal.h"

namespace modemsim {

enum class WriteOutcome {
  Done,     // every byte was written
  Stalled,  // the client took no byte for the stall time
  Stopped,  // the simulator has to stop
  Failed,   // the device refused the write
};

// Sends reply bytes to the pty master, which is non-blocking: writes as much
// as the device takes per write() call and waits with poll for room, so a
// reply costs one system call unless the client lags behind.
class ReplyWriter {
 public:
  ReplyWriter(int masterFd, const StopSignal& stop) : fd_(masterFd), stop_(stop) {}

  // `stallMs` < 0 waits for the client as long as it takes.
  WriteOutcome writeAll(const char* data, std::size_t size, std::int64_t stallMs) const;

  // One byte per write, `delayMs` apart.
  WriteOutcome writeSlowly(const std::string& bytes, std::int64_t delayMs) const;

 private:
  WriteOutcome waitForRoom(std::int64_t stallMs) const;

  int fd_;
  const StopSignal& stop_;
};

}  // namespace modemsim
