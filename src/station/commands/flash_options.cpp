#include "station/commands/flash_options.h"

#include "station/commands/mes_options.h"
#include "station/commands/output_options.h"
#include "station/commands/publish_options.h"

namespace tarnwick {

CLI::App* addFlashOptions(CLI::App& app, FlashOptions& options) {
  CLI::App* flash = app.add_subcommand(
      "flash",
      "Flash an image into every modem at once\n"
      "e.g. tarnwick-station flash EC25_R06.bin --expect 4 --record line1-records.jsonl");
  flash->add_option("IMAGE", options.image, "The image file, sent as it is (required)")->required();
  flash->add_option("--id", options.ids, "Only modems with this USB id (hex); repeatable")
      ->option_text("VID:PID");
  flash
      ->add_option("--port", options.ports,
                   "Only the modem owning COM port N (1-255), on that port; repeatable")
      ->check(CLI::Range(1, 255))
      ->option_text("N");
  flash
      ->add_option("--interface", options.interface,
                   "Use USB interface N's port (0-255) on every modem")
      ->check(CLI::Range(0, 255))
      ->option_text("N");
  flash
      ->add_option("--expect", options.expect,
                   "Wait up to 10 s for N modems (1-1000); the run fails unless exactly N are "
                   "found")
      ->check(CLI::Range(1, 1000))
      ->option_text("N");
  flash->add_option("--jobs", options.jobs, "At most N modems at once (1-1000; default: all)")
      ->check(CLI::Range(1, 1000))
      ->option_text("N");
  flash->add_flag("--json", options.json, "JSON Lines events on standard output");
  flash->add_option("--record", options.record, "Append one JSON record per modem to FILE")
      ->option_text("FILE");
  addProgressOption(*flash, options.progress);
  addColorOption(*flash, options.color);
  addPublishOptions(*flash, options.publish);
  addMesOptions(*flash, options.mes);
  return flash;
}

}  // namespace tarnwick
