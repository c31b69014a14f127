#pragma once

#include <string>
#include <vector>

#include "station/live_table.h"
#include "station/run_board.h"
#include "station/slots_file.h"

namespace tarnwick {

// Watch's live table: one row per slot in the slots file's order (or per
// location seen, without one), then a row for each location outside the
// list, marked so. Each row shows its latest cycle and its counts of PASS,
// FAIL, VERIFIED and MISMATCH; a totals line adds the units per hour.
std::string watchTableText(const RunBoard& board, const std::vector<Slot>& slots,
                           double hoursRunning, std::size_t width = 0);

// The table as a live table's renderer, its hours counted from `startedAt`.
LiveTable::Renderer watchTableRenderer(std::vector<Slot> slots,
                                       StationEvent::Clock::time_point startedAt);

}  // namespace tarnwick
