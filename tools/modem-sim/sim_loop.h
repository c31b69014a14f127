#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "command_log.h"
#include "command_reader.h"
#include "fault_plan.h"
#include "modem_state.h"
#include "pty_device.h"
#include "reply_format.h"
#include "reply_writer.h"
#include "sim_options.h"
#include "stop_signal.h"

namespace modemsim {

// The simulator's event loop: waits for bytes from the client, cuts them
// into commands and answers each one as the options say, until it is
// stopped, its run time is over or the device vanishes.
class SimLoop {
 public:
  SimLoop(const SimOptions& options, PtyDevice& device, CommandLog& log, const StopSignal& stop);

  // Returns the process exit status.
  int run();

 private:
  enum class Next { Continue, Exit };

  Next readCommands();
  Next reopenAfterHangUp();
  Next handle(const ReceivedCommand& command);
  Next sendReply(const std::string& bytes);
  Next flood(const std::string& command);
  void discardInput();

  const SimOptions& options_;
  PtyDevice& device_;
  CommandLog& log_;
  const StopSignal& stop_;
  ModemState state_;
  FaultPlan faults_;
  ReplyFormat format_;
  ReplyWriter writer_;
  CommandReader reader_;
  std::vector<ReceivedCommand> commands_;
  std::vector<char> readBuffer_;
  std::chrono::steady_clock::time_point deafUntil_;
};

}  // namespace modemsim
