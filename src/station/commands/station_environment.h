#pragma once

#include <functional>

#include "station/commands/flash_command.h"
#include "station/commands/station_context.h"

namespace tarnwick {

// What `flash` and `watch` work with on the context's inventory, ports and
// streams: the device list (one question at a time, as workers ask too),
// the operator's stop request, the station's version.
FlashEnvironment stationEnvironment(StationContext& context);

// Runs `command` on the context's environment with the stop handlers
// installed, and tells them when it is done; its exit status.
int runStoppable(StationContext& context, const std::function<int(FlashEnvironment&)>& command);

}  // namespace tarnwick
