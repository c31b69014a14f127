#include "discovery/hardware_id_match.h"

namespace tarnwick {

std::string matchPattern(const DeviceIdentity& identity) {
  return "vid_" + identity.vendorId + "&pid_" + identity.productId;
}

bool firstIdContains(const std::string& idText, const std::string& pattern) {
  std::string firstId = idText.substr(0, idText.find('\0'));
  return firstId.find(pattern) != std::string::npos;
}

}  // namespace tarnwick
