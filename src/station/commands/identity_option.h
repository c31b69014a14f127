#pragma once

#include <string>
#include <vector>

#include "discovery/device_identity.h"

namespace tarnwick {

// Reads "VID:PID", four hex digits each, in either case; the identity holds
// them lowered, as the matching rule compares with the lowered hardware id.
// False when the text has another form.
bool parseIdentityOption(const std::string& text, DeviceIdentity& identity);

// The CLI11 check of an --id value: empty when it is good, else the reason.
std::string checkIdentityOption(const std::string& text);

// The --id values, or the built-in table when none was given. False with
// `why` at the first value that is not VID:PID.
bool chosenIdentities(const std::vector<std::string>& texts, std::vector<DeviceIdentity>& ids,
                      std::string& why);

}  // namespace tarnwick
