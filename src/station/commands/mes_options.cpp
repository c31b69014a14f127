#include "station/commands/mes_options.h"

#include "station/commands/output_options.h"

namespace tarnwick {

void addMesOptions(CLI::App& command, MesOptions& options) {
  command
      .add_option("--validate", options.validate,
                  "Ask the MES at this CFX request address (amqp://HOST:PORT/HANDLE) whether "
                  "each unit may be flashed; none is flashed without its Passed answer")
      ->option_text("URL");
  command
      .add_option("--validate-timeout", options.validateTimeoutSeconds,
                  "Seconds to wait for the MES's answer (0.1-600, default 10)")
      ->check(finiteNumber())
      ->check(CLI::Range(0.1, 600.0))
      ->option_text("S");
  command
      .add_option("--cfx-listen", options.listen,
                  "Answer the MES's CFX requests (AreYouThere, GetEndpointInformation, ...) on "
                  "this address (amqp://HOST:PORT)")
      ->option_text("URL");
}

}  // namespace tarnwick
