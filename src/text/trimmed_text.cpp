#include "text/trimmed_text.h"

namespace tarnwick {
namespace {

constexpr char kBlanks[] = "\r\n \t";

}  // namespace

std::string trimmedReplyText(const std::string& text) {
  const std::string::size_type first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace tarnwick
