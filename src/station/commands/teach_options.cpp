#include "station/commands/teach_options.h"

namespace tarnwick {

CLI::App* addTeachOptions(CLI::App& app, TeachOptions& options) {
  CLI::App* teach = app.add_subcommand(
      "teach", "Write a slots file: plug a modem into each labelled slot in turn");
  teach->add_option("--slots", options.slots, "The slots file to write")->required();
  teach->add_option("LABEL", options.labels, "The slots' labels, in the order they are taught")
      ->required();
  return teach;
}

}  // namespace tarnwick
