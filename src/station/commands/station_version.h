#pragma once

namespace tarnwick {

// The station program's version, in its events and records.
constexpr char kStationVersion[] = "0.2.0";

}  // namespace tarnwick
