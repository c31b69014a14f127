#pragma once

#include <CLI/CLI.hpp>

#include "station/commands/station_context.h"
#include "station/commands/station_environment.h"
#include "station/commands/watch_options.h"

namespace tarnwick {

// Runs `watch` until the operator stops it; returns the exit status (0 no
// cycle ended FAIL, ABORTED or MISMATCH; 1 one did; 2 bad invocation).
int runWatchCommand(const WatchOptions& options, StationEnvironment& environment);

void registerWatchCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen);

}  // namespace tarnwick
