#pragma once

#include <CLI/CLI.hpp>

#include "station/commands/station_context.h"
#include "station/commands/station_environment.h"
#include "station/commands/teach_options.h"

namespace tarnwick {

// Asks for a modem in each labelled slot in turn and writes the slots
// file; 0 when written, 1 when stopped or the file cannot be written.
int runTeachCommand(const TeachOptions& options, StationEnvironment& environment);

void registerTeachCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen);

}  // namespace tarnwick
