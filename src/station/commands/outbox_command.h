#pragma once

#include <CLI/CLI.hpp>

#include "station/commands/outbox_options.h"
#include "station/commands/station_context.h"

namespace tarnwick {

// Lists the outbox (0; 2 when the folder cannot be read), or with
// --publish sends what waits in it: 0 when none waits at the end and the
// broker refused none, 1 when some still wait or one was refused, 2 for an
// address or folder that cannot be used; or with --retry-rejected puts the
// refused results back to wait (0; 2 for a folder that cannot be used).
int runOutboxCommand(const OutboxOptions& options, StationContext& context);

void registerOutboxCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen);

}  // namespace tarnwick
