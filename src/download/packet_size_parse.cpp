#include "download/packet_size_parse.h"

#include <cstdint>

namespace tarnwick {
namespace {

bool isScanfSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool parseLeadingInteger(const std::string& text, int& value) {
  std::size_t at = 0;
  while (at < text.size() && isScanfSpace(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (at >= text.size() || !isDigit(text[at])) return false;
  // The magnitude is kept within one past INT32_MAX so that a long run of
  // digits cannot overflow; such a number is refused, not wrapped.
  std::int64_t magnitude = 0;
  for (; at < text.size() && isDigit(text[at]); ++at) {
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > INT32_MAX + std::int64_t{1}) return false;
  }
  std::int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT32_MAX) return false;
  value = static_cast<int>(signedValue);
  return true;
}

}  // namespace tarnwick
