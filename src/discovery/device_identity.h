#pragma once

#include <string>

namespace tarnwick {

// A USB device model: the texts that must follow "vid_" and "&pid_" in the
// device's first hardware id. They are used exactly as given, never checked
// or case-folded, so an identity with an upper-case letter never matches.
struct DeviceIdentity {
  std::string vendorId;
  std::string productId;
};

}  // namespace tarnwick
