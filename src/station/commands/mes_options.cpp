#include "station/commands/mes_options.h"

#include "station/commands/output_options.h"
#include "station/run/run_setup.h"

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

MesLinkSettings mesLinkSettings(const MesOptions& options, const std::string& handle,
                                const std::string& toolVersion) {
  MesLinkSettings settings;
  settings.validate = options.validate;
  settings.validateTimeoutSeconds = options.validateTimeoutSeconds;
  settings.listen = options.listen;
  settings.handle = handle;
  settings.toolVersion = toolVersion;
  return settings;
}

bool startMesLink(MesLink& link, const MesLinkSettings& settings, const ImageSource& image,
                  std::FILE* err, std::string& why) {
  std::vector<std::string> warnings;
  const bool started = link.start(settings, image, warnings, why);
  for (const std::string& warning : warnings) say(err, "tarnwick-station: " + warning + "\n");
  return started;
}

}  // namespace tarnwick
