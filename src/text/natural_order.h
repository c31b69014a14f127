#pragma once

#include <string>

namespace tarnwick {

// True when `a` comes before `b` with runs of decimal digits compared as
// numbers ("1-4.2" before "1-10", "Port_#0002" before "Port_#0010") and
// everything else byte by byte.
bool naturalLess(const std::string& a, const std::string& b);

}  // namespace tarnwick
