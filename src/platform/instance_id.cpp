#include "platform/instance_id.h"

namespace tarnwick {
namespace {

// ASCII letters lowered; other bytes as they are (instance ids are ASCII).
std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::string instanceName(const std::string& instanceId) {
  const std::string::size_type slash = instanceId.rfind('\\');
  return slash == std::string::npos ? instanceId : instanceId.substr(slash + 1);
}

std::optional<std::string> serialFromInstanceId(const std::string& instanceId) {
  std::string name = instanceName(instanceId);
  if (name.empty() || name.find('&') != std::string::npos) return std::nullopt;
  return name;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && lowered(a) == lowered(b);
}

bool startsWithIdPrefix(const std::string& interfaceId, const std::string& prefix) {
  const std::string name = instanceName(interfaceId);
  return !prefix.empty() && name.size() > prefix.size() && name[prefix.size()] == '&' &&
         sameIgnoringCase(name.substr(0, prefix.size()), prefix);
}

}  // namespace tarnwick
