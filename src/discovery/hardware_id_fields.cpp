#include "discovery/hardware_id_fields.h"

#include "text/lower_case_text.h"

namespace tarnwick {
namespace {

bool isLowerHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

int hexValue(const std::string& digits) {
  int value = 0;
  for (char c : digits) value = value * 16 + (c <= '9' ? c - '0' : c - 'a' + 10);
  return value;
}

// The `width` hex digits right after `tag` in `id`, when there are that many.
std::optional<std::string> hexAfter(const std::string& id, const std::string& tag,
                                    std::size_t width) {
  const std::string::size_type at = id.find(tag);
  if (at == std::string::npos) return std::nullopt;
  const std::string digits = id.substr(at + tag.size(), width);
  if (digits.size() != width) return std::nullopt;
  for (char c : digits) {
    if (!isLowerHex(c)) return std::nullopt;
  }
  return digits;
}

}  // namespace

HardwareIdFields readHardwareIdFields(const std::string& firstId) {
  HardwareIdFields fields;
  fields.vendorId = hexAfter(firstId, "vid_", 4);
  fields.productId = hexAfter(firstId, "&pid_", 4);
  fields.revision = hexAfter(firstId, "&rev_", 4);
  if (std::optional<std::string> mi = hexAfter(firstId, "&mi_", 2)) {
    fields.interfaceNumber = hexValue(*mi);
  }
  return fields;
}

std::string loweredFirstId(const std::string& hardwareIds) {
  const std::string first = hardwareIds.substr(0, hardwareIds.find('\0'));
  return lowerCaseText(first.data(), static_cast<unsigned>(first.size()));
}

}  // namespace tarnwick
