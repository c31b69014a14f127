#include "station/commands/identity_option.h"

#include "discovery/inventory.h"

namespace tarnwick {
namespace {

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool readHexField(const std::string& text, std::string& field) {
  if (text.size() != 4) return false;
  field.clear();
  for (char c : text) {
    if (!isHexDigit(c)) return false;
    field.push_back(c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return true;
}

}  // namespace

bool parseIdentityOption(const std::string& text, DeviceIdentity& identity) {
  const std::string::size_type colon = text.find(':');
  if (colon == std::string::npos) return false;
  DeviceIdentity parsed;
  if (!readHexField(text.substr(0, colon), parsed.vendorId) ||
      !readHexField(text.substr(colon + 1), parsed.productId)) {
    return false;
  }
  identity = parsed;
  return true;
}

std::string checkIdentityOption(const std::string& text) {
  DeviceIdentity ignored;
  if (parseIdentityOption(text, ignored)) return {};
  return "expected VID:PID, four hex digits each (such as 2c7c:0125), not \"" + text + "\"";
}

bool chosenIdentities(const std::vector<std::string>& texts, std::vector<DeviceIdentity>& ids,
                      std::string& why) {
  for (const std::string& text : texts) {
    DeviceIdentity identity;
    if (!parseIdentityOption(text, identity)) {
      why = "--id: " + checkIdentityOption(text);
      return false;
    }
    ids.push_back(identity);
  }
  if (ids.empty()) ids = defaultIdentityList();
  return true;
}

}  // namespace tarnwick
