#include "text/lower_case_text.h"

namespace tarnwick {

std::string lowerCaseText(const char* bytes, unsigned count) {
  std::string text(bytes, count);
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace tarnwick
