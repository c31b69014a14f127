#pragma once

#include <string>

#include "discovery/device_identity.h"

namespace tarnwick {

// "vid_" + vendor id + "&pid_" + product id, with the identity's texts as
// they stand (not lowered).
std::string matchPattern(const DeviceIdentity& identity);

// True when `pattern` occurs in the first id of `idText`, a hardware-id list
// of NUL-terminated ids: only the bytes before the first NUL are searched.
bool firstIdContains(const std::string& idText, const std::string& pattern);

}  // namespace tarnwick
