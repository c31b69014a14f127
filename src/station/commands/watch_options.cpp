#include "station/commands/watch_options.h"

#include <map>

#include "station/commands/mes_options.h"
#include "station/commands/output_options.h"
#include "station/commands/publish_options.h"

namespace tarnwick {

CLI::App* addWatchOptions(CLI::App& app, WatchOptions& options) {
  CLI::App* watch = app.add_subcommand(
      "watch",
      "Flash every modem plugged in until Ctrl-C, and check its version after the re-plug\n"
      "e.g. tarnwick-station watch EC25_R06.bin --slots line1.json --expect-version "
      "EC25EFAR06A08M4G");
  watch->footer(
      "Without --expect-version a modem is flashed again each time it is plugged in after its\n"
      "cycle ended: a line should give --expect-version.");
  watch->add_option("IMAGE", options.image, "The image file, sent as it is (required)")->required();
  watch->add_option("--id", options.ids, "Only modems with this USB id (hex); repeatable")
      ->option_text("VID:PID");
  watch->add_option("--slots", options.slots, "JSON list of {\"label\", \"location\"} slots")
      ->option_text("FILE");
  watch
      ->add_option("--expect-version", options.expectVersion,
                   "The version a flashed modem must report after its re-plug; a modem already "
                   "on it is SKIPPED")
      ->option_text("VERSION");
  watch->add_option("--record", options.record, "Append one JSON record per modem cycle to FILE")
      ->option_text("FILE");
  watch->add_flag("--json", options.json, "JSON Lines events on standard output");
  addProgressOption(*watch, options.progress);
  addColorOption(*watch, options.color);
  watch
      ->add_option("--verify-timeout", options.verifyTimeoutSeconds,
                   "Seconds to wait for the re-plug after a pass (0-86400, default 120)")
      ->check(finiteNumber())
      ->check(CLI::Range(0.0, 86400.0))
      ->option_text("S");
  watch
      ->add_option("--settle", options.settleSeconds,
                   "Seconds a new modem may take to answer the handshake (0-3600, default 20)")
      ->check(finiteNumber())
      ->check(CLI::Range(0.0, 3600.0))
      ->option_text("S");
  watch->add_flag("--force", options.force, "Flash modems already on --expect-version too");
  watch
      ->add_option("--slot-fail-limit", options.slotFailLimit,
                   "Units failed in a row in one slot that raise its SLOT_FAILING fault "
                   "(1-1000, default 3)")
      ->check(CLI::Range(1, 1000))
      ->option_text("K");
  addPublishOptions(*watch, options.publish);
  addMesOptions(*watch, options.mes);
  return watch;
}

}  // namespace tarnwick
