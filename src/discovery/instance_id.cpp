#include "discovery/instance_id.h"

#include "discovery/lower_case_text.h"

namespace tarnwick {
namespace {

std::string lowered(const std::string& text) {
  return lowerCaseText(text.data(), static_cast<unsigned>(text.size()));
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
