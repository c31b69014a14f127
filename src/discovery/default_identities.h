#pragma once

#include "discovery/device_identity.h"

namespace tarnwick {

// The modems looked for when the command line names none, as two parallel
// tables: entry i of one belongs with entry i of the other, and entry 0 is
// always tried before entry 1. Four lower-case hexadecimal digits each.
constexpr unsigned kDefaultIdentityCount = 2;
extern const char* const defaultVendorIds[kDefaultIdentityCount];
extern const char* const defaultProductIds[kDefaultIdentityCount];

// Entry `index` of the tables as an identity; `index` below the count.
DeviceIdentity defaultIdentity(unsigned index);

}  // namespace tarnwick
