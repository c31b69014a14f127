#pragma once

#include <cstdint>

namespace tarnwick {

// Reads a COM number from a "PortName" value the way scanf's "COM%d" does:
// the text must start with "COM" exactly; then white space is skipped and an
// optional sign and at least one decimal digit are taken; anything after the
// digits is ignored. The text ends at its first NUL or after `count` bytes,
// whichever comes first, so a value stored without a terminator is safe.
// A number beyond the range of int is clamped to INT_MIN or INT_MAX, as
// strtol does, so both builds give the same answer. False when no number
// can be read; `comNumber` is written only on true.
bool parseComPortName(const char* bytes, std::uint32_t count, int& comNumber);

}  // namespace tarnwick
