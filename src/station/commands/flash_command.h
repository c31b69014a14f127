#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "discovery/device_identity.h"
#include "platform/serial_port.h"
#include "station/commands/flash_options.h"
#include "station/commands/station_context.h"
#include "station/model/flash_target.h"

namespace tarnwick {

// What `flash` works with; the program passes the system's, tests their own.
struct FlashEnvironment {
  // Every present modem with one of `ids`, its ports in interface order.
  // False (with `why`) when the system cannot list devices.
  std::function<bool(const std::vector<DeviceIdentity>& ids, std::vector<FlashTarget>& modems,
                     std::string& why)>
      listModems;
  SerialPortFactory makePort = makeSystemSerialPort;
  std::function<bool()> stopRequested = [] { return false; };
  std::function<void(int ms)> sleepMs;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  std::string toolVersion;
};

// Runs `flash`; returns the exit status (0 all passed, 1 a modem failed or
// was aborted or the count was wrong, 2 bad invocation or no modem).
int runFlashCommand(const FlashOptions& options, FlashEnvironment& environment);

// Adds the `flash` subcommand to `app`; when the command line chooses it,
// `chosen` runs it on the context's inventory and ports.
void registerFlashCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen);
}  // namespace tarnwick
