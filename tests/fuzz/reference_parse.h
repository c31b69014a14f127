#pragma once

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <string>

namespace tarnwick::fuzzing {

// The straightforward reading of a leading "%d" number: strtoll on the text
// up to its first NUL, after a check that white space and at most one sign
// are followed by a digit (so that "0x", "inf" and the like never reach
// strtoll). False when no number is there or it does not fit an int.
inline bool referenceLeadingInt(const std::string& text, int& value) {
  const std::string cText = text.substr(0, text.find('\0'));
  auto isCSpace = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  };
  std::size_t at = 0;
  while (at < cText.size() && isCSpace(cText[at])) ++at;
  if (at < cText.size() && (cText[at] == '+' || cText[at] == '-')) ++at;
  if (at >= cText.size() || cText[at] < '0' || cText[at] > '9') return false;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(cText.c_str(), &end, 10);
  if (errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return false;
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace tarnwick::fuzzing
