#include "station/commands/publish_options.h"

namespace tarnwick {

void addPublishOptions(CLI::App& command, PublishOptions& options) {
  command
      .add_option("--publish", options.url,
                  "Send each result as an IPC-CFX UnitsTested message to this AMQP 1.0 broker "
                  "address, through the outbox")
      ->option_text("URL");
  command
      .add_option("--outbox", options.outbox,
                  "Where results wait until the broker takes them (default: the user's state "
                  "folder)")
      ->option_text("DIR");
  command
      .add_option("--cfx-handle", options.handle,
                  "This station's CFX handle (default Tarnwick.Station.<host name>)")
      ->option_text("HANDLE");
}

}  // namespace tarnwick
