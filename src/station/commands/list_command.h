#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "station/commands/station_context.h"

namespace tarnwick {

// `tarnwick-station list [--id VID:PID]... [--probe] [--json]`.
struct ListOptions {
  std::vector<std::string> ids;  // "VID:PID" each; none: the built-in table
  bool probe = false;
  bool json = false;
};

// Adds the `list` subcommand to `app`; when the command line chooses it,
// `chosen` is set to run it on `context`.
void registerListCommand(CLI::App& app, StationContext& context, ChosenCommand& chosen);

// Lists every present modem of the options' identities: a table, or with
// `json` one JSON line per modem, each written and flushed when ready. With
// `probe` every modem is probed at once, one thread each. Returns 0 when at
// least one modem was listed, 1 when none (or the system gave no device
// list, which is said on the error stream), 2 for an --id of the wrong form.
int runList(const ListOptions& options, StationContext& context);

}  // namespace tarnwick
