#pragma once

#include <cstddef>
#include <string>

namespace tarnwick {

// A decimal integer read the way scanf's "%d" reads one: white space
// skipped, an optional sign, then digits; whatever follows is left alone.
struct DecimalScan {
  bool found = false;       // digits were there
  int value = 0;            // clamped to int's range
  bool overflowed = false;  // the digits named a number beyond that range
};

// Scans `text` from position `start`.
DecimalScan scanDecimal(const std::string& text, std::size_t start = 0);

}  // namespace tarnwick
