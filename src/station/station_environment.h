#pragma once

#include "station/flash_command.h"
#include "station/station_context.h"

namespace tarnwick::station {

// What `flash` and `watch` work with on the context's inventory, ports and
// streams: the device list (one question at a time, as workers ask too),
// the operator's stop request, the station's version.
FlashEnvironment stationEnvironment(StationContext& context);

}  // namespace tarnwick::station
