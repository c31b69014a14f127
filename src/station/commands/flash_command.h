#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "discovery/device_identity.h"
#include "platform/serial_port.h"
#include "station/commands/flash_options.h"
#include "station/commands/station_context.h"
#include "station/commands/station_environment.h"
#include "station/model/flash_target.h"

namespace tarnwick {

// Runs `flash`; returns the exit status (0 all passed, 1 a modem failed or
// was aborted or the count was wrong, 2 bad invocation or no modem).
int runFlashCommand(const FlashOptions& options, StationEnvironment& environment);

// Adds the `flash` subcommand to `app`; when the command line chooses it,
// `chosen` runs it on the context's inventory and ports.
void registerFlashCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen);
}  // namespace tarnwick
