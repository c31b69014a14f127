#pragma once

#include <string>
#include <vector>

#include "station/model/slot.h"
#include "station/views/live_table.h"
#include "station/views/run_board.h"

namespace tarnwick {

// When the watch began, and now.
struct WatchClock {
  StationEvent::Clock::time_point started;
  StationEvent::Clock::time_point now;
};

// Watch's live table: one row per slot in the slots file's order (or per
// location seen, without one), then a row for each location outside the
// list, marked so. Each row shows its latest cycle (with its reason when it
// did not pass) and its counts of PASS, FAIL, VERIFIED and MISMATCH; a
// totals line counts the units in progress and how those that ended came
// out, and the units per hour; then what the station waits for, while no
// modem is present.
std::string watchTableText(const RunBoard& board, const std::vector<Slot>& slots,
                           const WatchClock& clock, const TableLook& look = {});

// The table as a live table's renderer, its hours counted from `startedAt`.
LiveTable::Renderer watchTableRenderer(std::vector<Slot> slots,
                                       StationEvent::Clock::time_point startedAt);

}  // namespace tarnwick
