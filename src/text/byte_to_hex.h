#pragma once

#include <string>

namespace tarnwick {

// The byte's two-character upper-case hexadecimal form: 0x0A gives "0A".
std::string byteToHex(unsigned char byte);

// Appends the upper-case hexadecimal form of `count` bytes to `text`,
// two characters per byte, in order, without separators.
void appendHex(std::string& text, const unsigned char* bytes, std::size_t count);

}  // namespace tarnwick
