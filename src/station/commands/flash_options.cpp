#include "station/commands/flash_options.h"

#include "station/commands/output_options.h"
#include "station/commands/publish_options.h"

namespace tarnwick {

CLI::App* addFlashOptions(CLI::App& app, FlashOptions& options) {
  CLI::App* flash = app.add_subcommand("flash", "Flash an image into every modem at once");
  flash->add_option("IMAGE", options.image, "The image file, sent as it is")->required();
  flash->add_option("--id", options.ids, "Only modems with this USB id (VID:PID, hex); repeatable");
  flash
      ->add_option("--port", options.ports,
                   "Only the modem owning COM port N, on that port; repeatable")
      ->check(CLI::Range(1, 255));
  flash
      ->add_option("--interface", options.interface, "Use this USB interface's port on every modem")
      ->check(CLI::Range(0, 255));
  flash
      ->add_option("--expect", options.expect,
                   "Wait up to 10 s for N modems; the run fails unless exactly N are found")
      ->check(CLI::Range(1, 1000));
  flash->add_option("--jobs", options.jobs, "At most N modems at once (default: all)")
      ->check(CLI::Range(1, 1000));
  flash->add_flag("--json", options.json, "JSON Lines events on standard output");
  flash->add_option("--record", options.record, "Append one JSON record per modem to FILE");
  addProgressOption(*flash, options.progress);
  addColorOption(*flash, options.color);
  addPublishOptions(*flash, options.publish);
  return flash;
}

}  // namespace tarnwick
