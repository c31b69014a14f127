#pragma once

#include <CLI/CLI.hpp>

#include "station/commands/outbox_options.h"
#include "station/commands/station_context.h"

namespace tarnwick {

// Lists the outbox (0; 2 when the folder cannot be read), or with
// --publish sends what waits in it: 0 when none waits at the end, 1 when
// some still do, 2 for an address or folder that cannot be used.
int runOutboxCommand(const OutboxOptions& options, StationContext& context);

void registerOutboxCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen);

}  // namespace tarnwick
