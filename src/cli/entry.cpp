#include "cli/entry.h"

#include <cstring>

#include "cli/at_command_mode.h"
#include "cli/debug_mode.h"
#include "cli/download_forms.h"
#include "cli/exit_codes.h"
#include "cli/help_text.h"
#include "cli/option_list_download.h"
#include "diag/console_print.h"

namespace tarnwick {
namespace {

constexpr char kVersion[] = "V1.2c";

bool same(const char* argument, const char* text) {
  return std::strcmp(argument, text) == 0;
}

bool isAtWord(const char* argument) {
  return same(argument, "AT") || same(argument, "at");
}

// With two or more arguments, every "-debug" among them turns on debugMode
// and is announced; a lone "-debug" is left to be taken as a file name.
void scanForDebug(int argc, char** argv) {
  if (argc < 3) return;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-' && same(argv[i], "-debug")) {
      debugMode = true;
      consolePrint("argc = %d\n\n", argc);
    }
  }
}

// Returns whether the job of the form was done; showing the help that was
// asked for counts as done.
bool runTwoArgumentForm(ToolContext& context, char** argv) {
  if (isAtWord(argv[1])) return runAtCommand(context, argv[2]);
  if (same(argv[1], "-f") || same(argv[1], "-F")) return runFileOptionDownload(context, argv[2]);
  if (same(argv[1], "-debug") || same(argv[2], "-debug")) {
    printHelp();
    return true;
  }
  consolePrint("invalid syntax specified\n");
  printHelp();
  return false;
}

}  // namespace

int runTool(int argc, char** argv, ToolContext& context) {
  consolePrint("\nTarnwick Version %s\n\n", kVersion);
  scanForDebug(argc, argv);
  bool jobDone = false;
  if (argc >= 4) {
    if (argv[1][0] != '-') {
      consolePrint("invalid syntax\n");
    } else {
      jobDone = runOptionListDownload(context, argc, argv);
    }
  } else if (argc == 3) {
    jobDone = runTwoArgumentForm(context, argv);
  } else if (argc == 2) {
    jobDone = isAtWord(argv[1]) ? runAtWithoutCommand() : runBareFileDownload(context, argv[1]);
  } else {
    printHelp();
    return kExitNoArguments;
  }
  return exitCodeFor(jobDone);
}

}  // namespace tarnwick
