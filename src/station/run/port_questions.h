#pragma once

#include <functional>
#include <string>
#include <vector>

#include "discovery/device_identity.h"
#include "station/model/flash_target.h"

namespace tarnwick {

// Every present modem with one of `ids`, its ports in interface order.
// False (with `why`) when the system cannot list devices.
using ModemLister = std::function<bool(const std::vector<DeviceIdentity>& ids,
                                       std::vector<FlashTarget>& modems, std::string& why)>;

// Questions a worker asks the device list while it runs, each taken afresh.

// Whether COM `comNumber` is still shown by a modem of `ids` (the one at
// `location`, unless it is empty): for "vanished". True when the list
// cannot be read: a modem is not called vanished on a guess.
std::function<bool(int comNumber)> portPresence(ModemLister list, std::vector<DeviceIdentity> ids,
                                                std::string location);

// The ports the modem at `location` with `serial` shows now; false when
// the list cannot be read or lacks it.
std::function<bool(std::vector<FlashTarget::Port>&)> currentPorts(ModemLister list,
                                                                  std::vector<DeviceIdentity> ids,
                                                                  std::string location,
                                                                  std::string serial);

}  // namespace tarnwick
