#pragma once

#include <cstddef>
#include <string>

#include "station/run_board.h"

namespace tarnwick {

// The table of every modem printed when the run ends: where it sits, its
// port, version before, result, the stage reached, the reason, time and speed.
// With a `width`, the widest columns are cut so that each line fits in it.
std::string summaryTable(const RunBoard& board, std::size_t width = 0);

}  // namespace tarnwick
