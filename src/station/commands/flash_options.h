#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "station/commands/mes_options.h"
#include "station/commands/publish_options.h"
#include "station/views/output_modes.h"

namespace tarnwick {

// `tarnwick-station flash IMAGE [--id VID:PID]... [--port N]... [--interface N]
// [--expect N] [--jobs N] [--json] [--record FILE] [--progress auto|tty|plain|none]
// [--color auto|always|never] [--publish URL [--outbox DIR] [--cfx-handle HANDLE]]
// [--validate URL [--validate-timeout S]] [--cfx-listen URL]`
struct FlashOptions {
  std::string image;
  std::vector<std::string> ids;  // "VID:PID", checked by parseIdentity
  std::vector<int> ports;
  int interface = -1;  // -1: the first port that answers
  int expect = 0;      // 0: not asked
  int jobs = 0;        // 0: every modem at once
  bool json = false;
  std::string record;
  ProgressMode progress = ProgressMode::Auto;
  ColorMode color = ColorMode::Auto;
  PublishOptions publish;
  MesOptions mes;
};

// Adds the `flash` subcommand to `app`; its options land in `options`.
CLI::App* addFlashOptions(CLI::App& app, FlashOptions& options);

}  // namespace tarnwick
