#pragma once

#include <optional>
#include <string>

namespace tarnwick {

// What the first id of a hardware-id list says about the device, read from
// its lowered text ("usb\vid_2c7c&pid_0125&rev_0318&mi_02"). Each field is
// taken only when its tag is followed by the expected number of hex digits.
struct HardwareIdFields {
  std::optional<std::string> vendorId;   // four lower-case hex digits after "vid_"
  std::optional<std::string> productId;  // after "&pid_"
  std::optional<std::string> revision;   // after "&rev_"
  std::optional<int> interfaceNumber;    // two hex digits after "&mi_"
};

// `firstId` is the lowered first hardware id (the bytes before its NUL).
HardwareIdFields readHardwareIdFields(const std::string& firstId);

// The bytes of a hardware-id list before its first NUL, lowered.
std::string loweredFirstId(const std::string& hardwareIds);

}  // namespace tarnwick
