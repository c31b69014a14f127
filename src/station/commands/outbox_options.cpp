#include "station/commands/outbox_options.h"

#include "station/commands/publish_options.h"

namespace tarnwick {

CLI::App* addOutboxOptions(CLI::App& app, OutboxOptions& options) {
  CLI::App* outbox = app.add_subcommand(
      "outbox", "List the results waiting for the broker, oldest first, or send them all");
  outbox
      ->add_option("--outbox", options.outbox,
                   "The outbox folder (default: the user's state folder, tarnwick/outbox)")
      ->type_name("DIR");
  CLI::Option* json =
      outbox->add_flag("--json", options.json, "One JSON object per waiting result per line");
  CLI::Option* publish =
      addPublishOption(*outbox, options.publish,
                       "Send every waiting result to amqp://USER@HOST:PORT/ADDRESS (amqps:// for "
                       "TLS); repeat it for each broker of a cluster")
          ->excludes(json);
  outbox
      ->add_option("--timeout", options.timeoutSeconds,
                   "With --publish: give up after S seconds, exit 1 (default 30)")
      ->type_name("S")
      ->check(CLI::Range(0, 86400))
      ->needs(publish);
  addPasswordFileOption(*outbox, options.passwordFile)->needs(publish);
  return outbox;
}

}  // namespace tarnwick
