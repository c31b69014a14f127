#include "byte_escape.h"

#include <cstdio>

namespace tarnwick {
namespace testing {
namespace {

std::string escapeByte(unsigned char byte) {
  switch (byte) {
    case '\\':
      return "\\\\";
    case '"':
      return "\\\"";
    case '\0':
      return "\\0";
    case '\r':
      return "\\r";
    case '\n':
      return "\\n";
    case '\t':
      return "\\t";
    default:
      break;
  }
  if (byte >= 0x20 && byte < 0x7f) return std::string(1, static_cast<char>(byte));
  char hex[5];
  std::snprintf(hex, sizeof hex, "\\x%02X", byte);
  return hex;
}

}  // namespace

std::string escapeBytes(const char* data, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) text += escapeByte(static_cast<unsigned char>(data[i]));
  return text;
}

}  // namespace testing
}  // namespace tarnwick
