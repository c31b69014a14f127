#include "station/commands/command_line.h"

#include <memory>
#include <string>

#include "station/commands/station_version.h"

namespace tarnwick {
namespace {

// Option values by the name given with option_text (N, FILE, S ...);
// a positional (IMAGE, LABEL) and a flag by their names alone: the
// description says what is needed and what does not go together.
class StationHelpFormatter final : public CLI::Formatter {
 public:
  std::string make_option_opts(const CLI::Option* option) const override {
    if (option->get_positional() || option->get_expected_max() == 0) return "";
    return CLI::Formatter::make_option_opts(option);
  }
};

constexpr std::size_t kOptionColumn = 30;
constexpr std::size_t kCommandColumn = 16;

std::string commandNames(const CLI::App& app) {
  std::string names;
  for (const CLI::App* command : app.get_subcommands({})) {
    if (!names.empty()) names += ", ";
    names += command->get_name();
  }
  return names;
}

}  // namespace

void useStationHelp(CLI::App& app) {
  auto look = std::make_shared<StationHelpFormatter>();
  look->column_width(kOptionColumn);
  look->label("SUBCOMMAND", "COMMAND");
  app.formatter(look);
  app.get_help_ptr()->description("Print this help and exit");
}

void finishStationCommandLine(CLI::App& app) {
  for (CLI::App* command : app.get_subcommands({})) command->group("Commands");
  // The program's own help lists the commands with an example each: a
  // narrower first column leaves the examples room.
  auto look = std::make_shared<StationHelpFormatter>();
  look->column_width(kCommandColumn);
  look->label("SUBCOMMAND", "COMMAND");
  app.formatter(look);
  app.set_version_flag("-V,--version", stationVersionLine(),
                       "Print the program's version and build (Linux or Windows) and exit");
  app.footer("Run tarnwick-station COMMAND --help for a command's options.");
}

bool refuseUnknownCommand(const CLI::App& app, int argc, char** argv, std::FILE* err) {
  if (argc >= 2 && argv[1][0] == '-') return false;
  if (argc < 2) {
    std::fprintf(err, "tarnwick-station: a command is needed: %s\n", commandNames(app).c_str());
  } else {
    const std::string word = argv[1];
    for (const CLI::App* command : app.get_subcommands({})) {
      if (command->check_name(word)) return false;
    }
    std::fprintf(err, "tarnwick-station: unknown command '%s'; the commands are %s\n", word.c_str(),
                 commandNames(app).c_str());
  }
  std::fprintf(err, "Run with --help for more information.\n");
  return true;
}

}  // namespace tarnwick
