#include "station/version_text.h"

namespace tarnwick {

std::string versionFromReply(const std::string& rawReply, const std::string& body) {
  const std::string& text = body.empty() ? rawReply : body;
  const char* space = " \t\r\n";
  std::size_t first = text.find_first_not_of(space);
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(space);
  return text.substr(first, last - first + 1);
}

}  // namespace tarnwick
