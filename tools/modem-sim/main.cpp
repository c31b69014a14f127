// modem-sim: a simulated LTE modem on a pseudo-terminal for Tarnwick's tests
// and demos. See --help for what it answers and how it can misbehave.

#include <cstdio>
#include <string>

#include "command_log.h"
#include "pty_device.h"
#include "sim_loop.h"
#include "sim_options.h"
#include "stop_signal.h"

namespace {

bool prepare(const modemsim::SimOptions& options, modemsim::PtyDevice& device,
             modemsim::CommandLog& log, modemsim::StopSignal& stop, std::string* error) {
  if (!stop.install(options.exitAfterMs, error)) return false;
  const bool opened = options.ttyPath.empty() ? device.open(options.holdSlave, error)
                                              : device.openExisting(options.ttyPath, error);
  if (!opened) return false;
  if (!options.logPath.empty() && !log.open(options.logPath, error)) return false;
  return options.linkPath.empty() || device.createLink(options.linkPath, error);
}

}  // namespace

int main(int argc, char** argv) {
  modemsim::SimOptions options;
  std::string error;
  switch (modemsim::parseOptions(argc, argv, &options, &error)) {
    case modemsim::ParseOutcome::ShowHelp:
      std::fputs(modemsim::helpText().c_str(), stdout);
      return 0;
    case modemsim::ParseOutcome::Invalid:
      std::fprintf(stderr, "modem-sim: %s\n(see modem-sim --help)\n", error.c_str());
      return 2;
    case modemsim::ParseOutcome::Run:
      break;
  }
  modemsim::StopSignal stop;
  modemsim::PtyDevice device;
  modemsim::CommandLog log;
  if (!prepare(options, device, log, stop, &error)) {
    std::fprintf(stderr, "modem-sim: %s\n", error.c_str());
    return 1;
  }
  // The first line of output tells the client where the device is; it is
  // printed only once everything is in place.
  std::printf("PTY %s\n", device.slavePath().c_str());
  std::fflush(stdout);
  modemsim::SimLoop loop(options, device, log, stop);
  return loop.run();
}
