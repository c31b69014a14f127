#pragma once

#include <string>
#include <vector>

#include "discovery/inventory.h"
#include "station/model/probe_result.h"

namespace tarnwick {

// The modems as a table for a person, one row per modem under a heading,
// columns padded to their widest cell:
//   LOCATION  SERIAL  VID:PID    REV   PORTS
//   1-4.2     SN0001  2c7c:0125  0318  COM71 (ttyUSB70, MI_00), COM72 (ttyUSB71, MI_02)
// With probe results (`probes` holds one per modem) the columns AT-PORT and
// VERSION come before PORTS. Missing values show as "-".
std::string inventoryTable(const std::vector<InventoryModem>& modems,
                           const std::vector<ModemProbe>* probes);

}  // namespace tarnwick
