#pragma once

#include <string>

namespace tarnwick {

// A version-4 (random) UUID as lower-case text,
// "1b4e28ba-2fa1-41d2-883f-0016d3cca427", from the system's random source.
// Empty when the system gives no random bytes.
std::string randomUuid();

// The UUID text of 16 random bytes, with the version (4) and variant (10)
// bits set as RFC 4122 asks; both builds share it.
inline std::string uuidTextV4(const unsigned char (&random)[16]) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 16; ++i) {
    unsigned char byte = random[i];
    if (i == 6) byte = static_cast<unsigned char>((byte & 0x0f) | 0x40);
    if (i == 8) byte = static_cast<unsigned char>((byte & 0x3f) | 0x80);
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0f];
  }
  return text;
}

}  // namespace tarnwick
