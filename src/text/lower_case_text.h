#pragma once

#include <string>

namespace tarnwick {

// Exactly `count` bytes of `bytes`, NUL bytes included, with every ASCII
// letter A-Z replaced by a-z. Other bytes (0x80 and above too) stay as they
// are; the locale plays no part.
std::string lowerCaseText(const char* bytes, unsigned count);

}  // namespace tarnwick
