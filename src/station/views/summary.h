#pragma once

#include <cstddef>
#include <string>

#include "station/views/live_table.h"
#include "station/views/run_board.h"

namespace tarnwick {

// The table of every modem printed when the run ends: where it sits, its
// port, version before, result, the stage reached, the reason, time and speed.
// Laid out and coloured as `look` says. On a narrow terminal KIB/S,
// SECONDS, ATTEMPT and AFTER are left out first (the records keep them),
// then other columns are cut before the version, result, stage, reason and
// verdict the operator reads.
std::string summaryTable(const RunBoard& board, const TableLook& look = {});

}  // namespace tarnwick
