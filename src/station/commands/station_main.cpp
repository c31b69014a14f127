// tarnwick-station: the factory line's program for many modems at once.
// Each subcommand lives in a file of its own and adds itself to the command
// line with one registration line below; commands/command_line gives the
// whole its help's look, --version and the answer to an unknown command.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/secrets.h"
#include "platform/serial_port.h"
#include "platform/usb_inventory_source.h"
#include "station/commands/command_line.h"
#include "station/commands/flash_command.h"
#include "station/commands/list_command.h"
#include "station/commands/outbox_command.h"
#include "station/commands/station_context.h"
#include "station/commands/teach_command.h"
#include "station/commands/watch_command.h"
#include "station/publish/broker_address.h"

namespace {

using tarnwick::ChosenCommand;
using tarnwick::kExitBadInvocation;
using tarnwick::kExitDone;
using tarnwick::StationContext;

void registerCommands(CLI::App& app, StationContext& context, ChosenCommand& chosen) {
  tarnwick::registerListCommand(app, context, chosen);
  tarnwick::registerFlashCommand(app, context, chosen);
  tarnwick::registerWatchCommand(app, context, chosen);
  tarnwick::registerTeachCommand(app, context, chosen);
  tarnwick::registerOutboxCommand(app, context, chosen);
}

// Parses the command line. CLI11 reports what it does not accept by
// exceptions: they end here, as its message and exit status 2 (0 for --help).
bool parseCommandLine(CLI::App& app, int argc, char** argv, int& exitStatus) {
  try {
    app.parse(argc, argv);
    return true;
  } catch (const CLI::ParseError& error) {
    exitStatus = app.exit(error) == 0 ? kExitDone : kExitBadInvocation;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    exitStatus = kExitBadInvocation;
  }
  return false;
}

// The program's own copy of its arguments. A password in a --publish URL
// is then written over where the system shows the command line (`ps`,
// /proc/PID/cmdline on Linux); the copy keeps it for the parsing.
std::vector<std::string> argumentsHidingPasswords(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  for (int i = 1; i < argc; ++i) {
    std::size_t offset = 0;
    std::size_t length = 0;
    if (tarnwick::passwordSpan(arguments[i], offset, length)) {
      tarnwick::hideInCommandLine(argv[i], offset, length);
    }
  }
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments = argumentsHidingPasswords(argc, argv);
  std::vector<char*> ownArgv;
  for (std::string& argument : arguments) ownArgv.push_back(&argument[0]);
  ownArgv.push_back(nullptr);
  tarnwick::prepareConsole();
  std::unique_ptr<tarnwick::UsbInventorySource> inventory =
      tarnwick::makeSystemUsbInventorySource();
  StationContext context{*inventory, tarnwick::makeSystemSerialPort, stdout, stderr};
  ChosenCommand chosen;
  CLI::App app("The factory line's tool for the LTE modems plugged into this PC.",
               "tarnwick-station");
  app.require_subcommand(1);
  tarnwick::useStationHelp(app);
  registerCommands(app, context, chosen);
  tarnwick::finishStationCommandLine(app);
  if (tarnwick::refuseUnknownCommand(app, argc, argv, stderr)) return kExitBadInvocation;
  int exitStatus = 0;
  if (!parseCommandLine(app, argc, ownArgv.data(), exitStatus)) return exitStatus;
  return chosen.run ? chosen.run() : kExitBadInvocation;
}
