// Byte-level use of the modem's port: open, close, write one command line,
// read one byte with a bounded wait, drain what is waiting.
#include <string>

#include "atlink/at_interface.h"
#include "atlink/link_limits.h"
#include "diag/report_system_error.h"

namespace tarnwick {

bool AtInterface::openPort(int n) {
  if (!port_->open(n)) return false;
  comNumber_ = n;
  return true;
}

void AtInterface::closePort() {
  if (comNumber_ == 0) return;
  comNumber_ = 0;
  port_->close();
  // Bytes fetched from this port belong to it; the next port starts clean.
  inputStart_ = inputEnd_ = 0;
}

bool AtInterface::writeLine(const std::string& command) {
  if (command.size() > kLongestCommand) return false;
  // The line buffer is kept from command to command: no allocation per packet.
  line_.assign(command).push_back('\r');
  std::size_t sent = 0;
  while (sent < line_.size()) {
    IoResult attempt = port_->write(line_.data() + sent, line_.size() - sent, kWriteWaitMs);
    // A failed or timed-out attempt ends the line at once: it confirmed no
    // bytes, and a fault that persists must not be retried without end.
    if (attempt.status != IoStatus::Done || attempt.count == 0) return false;
    sent += attempt.count;
  }
  return true;
}

// Fetches whatever the port has waiting, in one request; on a silent line
// that request waits for one byte within the bounded read wait.
bool AtInterface::fetchInput() {
  IoResult result = port_->read(input_, kInputCapacity, kReadWaitMs);
  if (result.status == IoStatus::Failed) {
    reportSystemError(*sink_, "readChar");
    sink_->message("readchar: unable to read from UE for error " +
                   std::to_string(result.errorCode) + ".\n");
    readErrorCode_ = result.errorCode;
    return false;
  }
  if (result.status != IoStatus::Done || result.count == 0) return false;
  inputStart_ = 0;
  inputEnd_ = result.count;
  return true;
}

void AtInterface::flushInput() {
  std::string discarded;
  collectResponse(discarded, std::string(), std::string(), kFlushBudget);
}

}  // namespace tarnwick
