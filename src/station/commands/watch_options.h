#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "station/commands/mes_options.h"
#include "station/commands/publish_options.h"
#include "station/views/output_modes.h"

namespace tarnwick {

// `tarnwick-station watch IMAGE [--id VID:PID]... [--slots FILE]
// [--expect-version TEXT] [--record FILE] [--json] [--progress ...] [--color ...]
// [--verify-timeout S] [--settle S] [--force] [--slot-fail-limit K] [--publish URL [--outbox DIR]
// [--cfx-handle HANDLE]] [--validate URL [--validate-timeout S]] [--cfx-listen URL]`
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
  int slotFailLimit = 3;  // units failed in a row in one slot that raise its fault
  PublishOptions publish;
  MesOptions mes;
};

CLI::App* addWatchOptions(CLI::App& app, WatchOptions& options);

}  // namespace tarnwick
