#pragma once

#include <string>

#include "discovery/device_identity.h"

namespace tarnwick::station {

// Reads "VID:PID", four hex digits each, in either case; the identity holds
// them lowered, as the matching rule compares with the lowered hardware id.
// False when the text has another form.
bool parseIdentityOption(const std::string& text, DeviceIdentity& identity);

// The CLI11 check of an --id value: empty when it is good, else the reason.
std::string checkIdentityOption(const std::string& text);

}  // namespace tarnwick::station
