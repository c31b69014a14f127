#pragma once

#include <cstddef>

namespace tarnwick {

// The station's state as CFX gives it (ResourceState, SEMI E10/E58 codes).
constexpr int kStateRegularWork = 1100;   // PRD_RegularWork
constexpr int kStateStarved = 2202;       // SBY_NoProductStarved
constexpr int kStateNoHost = 2500;        // SBY_NoHost
constexpr int kStateNotScheduled = 6000;  // NST: before the run, not known

// What the station does now, as the watch's tracker sees it.
struct StationActivity {
  std::size_t working = 0;        // units being flashed or checked
  std::size_t waitingForMes = 0;  // units held until the MES answers for them
};

// PRD_RegularWork while a unit is being flashed or checked; else
// SBY_NoHost while one waits for the MES, else SBY_NoProductStarved (no
// modem, or each waits for its re-plug). Faults change nothing: the
// station keeps flashing through them.
int stationState(const StationActivity& activity);

}  // namespace tarnwick
