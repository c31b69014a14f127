#pragma once

#include <string>

#include "station/run_board.h"

namespace tarnwick {

// The table of every modem printed when the run ends: where it sits, its
// port, version before, result, the stage reached, the reason, time and speed.
std::string summaryTable(const RunBoard& board);

}  // namespace tarnwick
