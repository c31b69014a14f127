#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "station/commands/flash_options.h"

namespace tarnwick {

// `tarnwick-station watch IMAGE [--id VID:PID]... [--slots FILE]
// [--expect-version TEXT] [--record FILE] [--json] [--progress ...] [--color ...]
// [--verify-timeout S] [--settle S] [--force]`
struct WatchOptions {
  std::string image;
  std::vector<std::string> ids;
  std::string slots;
  std::string expectVersion;  // empty: not given
  std::string record;
  bool json = false;
  ProgressMode progress = ProgressMode::Auto;
  ColorMode color = ColorMode::Auto;
  double verifyTimeoutSeconds = 120;
  double settleSeconds = 20;
  bool force = false;
};

// `tarnwick-station teach --slots FILE LABEL...`
struct TeachOptions {
  std::string slots;
  std::vector<std::string> labels;
};

CLI::App* addWatchOptions(CLI::App& app, WatchOptions& options);
CLI::App* addTeachOptions(CLI::App& app, TeachOptions& options);

// The --progress choices shared by flash and watch.
void addProgressOption(CLI::App& command, ProgressMode& mode);
// The --color choices shared by flash and watch.
void addColorOption(CLI::App& command, ColorMode& mode);

}  // namespace tarnwick
