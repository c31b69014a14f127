#include "text/decimal_scan.h"

#include <climits>

namespace tarnwick {
namespace {

bool isScanfSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

DecimalScan scanDecimal(const std::string& text, std::size_t start) {
  DecimalScan scan;
  std::size_t at = start;
  while (at < text.size() && isScanfSpace(text[at])) ++at;
  bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  if (at >= text.size() || !isDigit(text[at])) return scan;
  // The magnitude stops growing at the limit, so a long run of digits can
  // neither overflow nor wrap.
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long magnitude = 0;
  for (; at < text.size() && isDigit(text[at]); ++at) {
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > limit) {
      magnitude = limit;
      scan.overflowed = true;
    }
  }
  scan.found = true;
  scan.value = static_cast<int>(negative ? -magnitude : magnitude);
  return scan;
}

}  // namespace tarnwick
