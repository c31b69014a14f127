#include "discovery/port_name_parse.h"

#include <algorithm>
#include <climits>
#include <string>

namespace tarnwick {
namespace {

bool isScanfSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// Decimal digits from `pos` on, with their sign, clamped to int.
bool parseSignedDecimal(const std::string& text, std::size_t pos, int& value) {
  bool negative = pos < text.size() && text[pos] == '-';
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) ++pos;
  if (pos >= text.size() || !isDigit(text[pos])) return false;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long magnitude = 0;
  for (; pos < text.size() && isDigit(text[pos]); ++pos) {
    magnitude = std::min(limit, magnitude * 10 + (text[pos] - '0'));
  }
  value = static_cast<int>(negative ? -magnitude : magnitude);
  return true;
}

}  // namespace

bool parseComPortName(const char* bytes, std::uint32_t count, int& comNumber) {
  std::string text(bytes, std::find(bytes, bytes + count, '\0'));
  if (text.compare(0, 3, "COM") != 0) return false;
  std::size_t pos = 3;
  while (pos < text.size() && isScanfSpace(text[pos])) ++pos;
  int value = 0;
  if (!parseSignedDecimal(text, pos, value)) return false;
  comNumber = value;
  return true;
}

}  // namespace tarnwick
