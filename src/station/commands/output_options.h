#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "station/commands/publish_options.h"
#include "station/run/run_output.h"
#include "station/views/output_modes.h"

namespace tarnwick {

// The --progress choices shared by flash and watch.
void addProgressOption(CLI::App& command, ProgressMode& mode);

// A number of seconds: not a number ("nan") and the infinities are refused,
// as CLI11's range check lets NaN through (every comparison with it fails).
CLI::Validator finiteNumber();

// The --color choices shared by flash and watch.
void addColorOption(CLI::App& command, ColorMode& mode);

// How flash and watch show and keep their run, from their options: the
// human view on `out`, or on `err` with JSON events on `out`.
RunOutputSettings runOutputSettings(ProgressMode progress, ColorMode color, bool json,
                                    const std::string& record, const PublishOptions& publish,
                                    std::FILE* out, std::FILE* err);

}  // namespace tarnwick
