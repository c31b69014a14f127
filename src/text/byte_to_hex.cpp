#include "text/byte_to_hex.h"

#include <cstring>

namespace tarnwick {
namespace {

constexpr char nibbleToHex(unsigned nibble) {
  return static_cast<char>(nibble < 10 ? '0' + nibble : 'A' + (nibble - 10));
}

// The two digits of every byte value in order ("000102...FEFF"): a packet's
// hex form is one two-byte copy per image byte.
struct HexPairs {
  char digits[512];
  constexpr HexPairs() : digits() {
    for (unsigned byte = 0; byte < 256; ++byte) {
      digits[2 * byte] = nibbleToHex(byte >> 4);
      digits[2 * byte + 1] = nibbleToHex(byte & 0x0F);
    }
  }
};

constexpr HexPairs kHexPairs;

}  // namespace

std::string byteToHex(unsigned char byte) {
  return std::string{nibbleToHex(byte >> 4), nibbleToHex(byte & 0x0F)};
}

void appendHex(std::string& text, const unsigned char* bytes, std::size_t count) {
  const std::size_t at = text.size();
  text.resize(at + 2 * count);
  // Through a plain pointer: the string's own storage would otherwise be
  // looked up again for every byte.
  char* out = &text[at];
  for (std::size_t i = 0; i < count; ++i, out += 2) {
    std::memcpy(out, kHexPairs.digits + 2 * bytes[i], 2);
  }
}

}  // namespace tarnwick
