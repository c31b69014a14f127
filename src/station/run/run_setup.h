#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "discovery/device_identity.h"
#include "station/model/flash_target.h"
#include "station/model/modem_record.h"
#include "station/model/record_json.h"
#include "station/run/image_source.h"
#include "station/views/output_modes.h"
#include "station/views/run_view.h"

namespace tarnwick {

// What `flash` and `watch` set up alike before their first modem.

// Writes `text` to `stream` and flushes it at once.
void say(std::FILE* stream, const std::string& text);

// A run's exit status once its output is all out: when some write to `out`
// failed (a full disk, a reader gone), one line on `err` says so and the
// status is at least 1.
int statusAfterOutput(int status, std::FILE* out, std::FILE* err);

// A run's id: its start time and a random suffix, "20261207T160509Z-1a2b3c4d".
std::string newRunId();

// The fields every record of the run shares: run, host, tool, image.
ModemRecord recordBaseFor(const ImageSource& image, const std::string& toolVersion);

// The human view --progress asks for on `stream` (none: null); on a
// terminal the one `makeTable` gives. Plain lines are coloured with `colour`.
using TerminalViewMaker = std::function<std::unique_ptr<RunView>()>;
std::unique_ptr<RunView> humanViewFor(ProgressMode mode, std::FILE* stream, bool colour,
                                      const TerminalViewMaker& makeTable);

}  // namespace tarnwick
