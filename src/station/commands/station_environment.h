#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "discovery/device_identity.h"
#include "platform/serial_port.h"
#include "station/commands/station_context.h"
#include "station/model/flash_target.h"
#include "station/run/port_questions.h"

namespace tarnwick {

// What `flash`, `watch` and `teach` work with; the program passes the
// system's, tests their own.
struct StationEnvironment {
  ModemLister listModems;  // the device list, asked afresh each time
  SerialPortFactory makePort = makeSystemSerialPort;
  std::function<bool()> stopRequested = [] { return false; };
  std::function<void(int ms)> sleepMs;
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  std::string toolVersion;
};

// What `flash` and `watch` work with on the context's inventory, ports and
// streams: the device list (one question at a time, as workers ask too),
// the operator's stop request, the station's version.
StationEnvironment stationEnvironment(StationContext& context);

// Runs `command` on the context's environment with the stop handlers
// installed, and tells them when it is done; its exit status.
int runStoppable(StationContext& context, const std::function<int(StationEnvironment&)>& command);

}  // namespace tarnwick
