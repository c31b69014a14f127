#include "station/commands/output_options.h"

#include <cmath>
#include <map>

namespace tarnwick {

void addProgressOption(CLI::App& command, ProgressMode& mode) {
  const std::map<std::string, ProgressMode> modes{{"auto", ProgressMode::Auto},
                                                  {"tty", ProgressMode::Tty},
                                                  {"plain", ProgressMode::Plain},
                                                  {"none", ProgressMode::None}};
  command
      .add_option("--progress", mode,
                  "How progress is shown: a live table on a terminal (auto picks it there), "
                  "plain lines, or none")
      ->transform(CLI::CheckedTransformer(modes, CLI::ignore_case))
      ->option_text("auto|tty|plain|none");
}

void addColorOption(CLI::App& command, ColorMode& mode) {
  const std::map<std::string, ColorMode> modes{
      {"auto", ColorMode::Auto}, {"always", ColorMode::Always}, {"never", ColorMode::Never}};
  command
      .add_option("--color", mode,
                  "Colour the states in the tables and lines: auto (only on a terminal), always "
                  "or never; NO_COLOR set means never")
      ->transform(CLI::CheckedTransformer(modes, CLI::ignore_case))
      ->option_text("auto|always|never");
}

RunOutputSettings runOutputSettings(ProgressMode progress, ColorMode color, bool json,
                                    const std::string& record, const PublishOptions& publish,
                                    std::FILE* out, std::FILE* err) {
  RunOutputSettings settings;
  settings.progress = progress;
  settings.color = color;
  settings.json = json;
  settings.record = record;
  settings.out = out;
  settings.err = err;
  settings.publish.urls = publish.urls;
  settings.publish.outbox = publish.outbox;
  settings.publish.handle = publish.handle;
  settings.publish.passwordFile = publish.passwordFile;
  settings.publish.tls = publish.tls;
  return settings;
}

CLI::Validator finiteNumber() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        double value = 0;
        if (!CLI::detail::lexical_cast(text, value) || !std::isfinite(value)) {
          return "Value " + text + " is not a finite number";
        }
        return {};
      },
      "", "FINITE");
}

}  // namespace tarnwick
