#pragma once

#include <string>

namespace tarnwick {

// Reads one decimal integer from the start of `text` the way scanf's "%d"
// does: leading white space skipped, an optional sign, then digits; what
// follows the digits is ignored. False when no digits can be read, or when
// the number does not fit a signed 32-bit integer.
bool parseLeadingInteger(const std::string& text, int& value);

}  // namespace tarnwick
