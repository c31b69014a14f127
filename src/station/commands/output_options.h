#pragma once

#include <CLI/CLI.hpp>

#include "station/views/output_modes.h"

namespace tarnwick {

// The --progress choices shared by flash and watch.
void addProgressOption(CLI::App& command, ProgressMode& mode);

// The --color choices shared by flash and watch.
void addColorOption(CLI::App& command, ColorMode& mode);

}  // namespace tarnwick
