#pragma once

#include <string>

#include "platform/build_name.h"

namespace tarnwick {

// The station program's version, in its events and records and in what
// --version says.
constexpr char kStationVersion[] = "1.0.0";

// What --version prints: "tarnwick-station 1.0.0 (Linux)".
inline std::string stationVersionLine() {
  return std::string("tarnwick-station ") + kStationVersion + " (" + buildName() + ")";
}

}  // namespace tarnwick
