#include "station/commands/teach_options.h"

namespace tarnwick {

CLI::App* addTeachOptions(CLI::App& app, TeachOptions& options) {
  CLI::App* teach =
      app.add_subcommand("teach",
                         "Write a slots file: plug a modem into each labelled slot in turn\n"
                         "e.g. tarnwick-station teach --slots line1.json A1 A2 A3 A4");
  teach->add_option("--slots", options.slots, "The slots file to write (required)")
      ->required()
      ->option_text("FILE");
  teach
      ->add_option("LABEL", options.labels,
                   "The slots' labels, in the order they are taught (one or more)")
      ->required();
  return teach;
}

}  // namespace tarnwick
