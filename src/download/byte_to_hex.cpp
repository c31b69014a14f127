#include "download/byte_to_hex.h"

namespace tarnwick {
namespace {

char nibbleToHex(unsigned nibble) {
  return static_cast<char>(nibble < 10 ? '0' + nibble : 'A' + (nibble - 10));
}

}  // namespace

std::string byteToHex(unsigned char byte) {
  return std::string{nibbleToHex(byte >> 4), nibbleToHex(byte & 0x0F)};
}

void appendHex(std::string& text, const unsigned char* bytes, std::size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::size_t at = text.size();
  text.resize(at + 2 * count);
  for (std::size_t i = 0; i < count; ++i) {
    text[at++] = kDigits[bytes[i] >> 4];
    text[at++] = kDigits[bytes[i] & 0x0F];
  }
}

}  // namespace tarnwick
