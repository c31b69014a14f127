#include "cli/option_list_scan.h"

#include <cstring>

#include "cli/debug_mode.h"
#include "cli/download_forms.h"
#include "cli/help_text.h"
#include "diag/console_print.h"
#include "text/decimal_scan.h"

namespace tarnwick {
namespace {

bool same(const char* argument, const char* text) {
  return std::strcmp(argument, text) == 0;
}

bool isOption(const char* argument, const char* lower, const char* upper) {
  return same(argument, lower) || same(argument, upper);
}

void announce(const char* message) {
  if (debugMode) consolePrint("%s", message);
}

// The id text of "-p" and "-v": up to four characters after "0x".
bool readIdText(const char* value, std::string& id) {
  if (value[0] != '0' || value[1] != 'x') return false;
  id.assign(value + 2, strnlen(value + 2, 4));
  return true;
}

// "-c" takes any value: a decimal number read like atoi, 0 without digits,
// clamped to int's range.
int readComNumber(const char* value) {
  return scanDecimal(value).value;
}

bool takeFileValue(const char* value, OptionList& options) {
  if (value == nullptr) {
    consolePrint("no filename entered\n");
    return true;
  }
  if (!hasImageName(value)) {
    consolePrint("invalid filename entered - not a .bin\n");
    return reportDownloadFailed();
  }
  options.fileName = value;
  options.fileSpecified = true;
  if (debugMode) consolePrint("valid filename specified : %s\n", options.fileName.c_str());
  return true;
}

void takeComValue(const char* value, OptionList& options) {
  if (value == nullptr) {
    consolePrint("no COM port value entered\n");
    return;
  }
  options.comPort = readComNumber(value);
  options.comSpecified = true;
  if (debugMode) consolePrint("-c specified : COMPORT = %d\n", options.comPort);
}

void takePidValue(const char* value, OptionList& options) {
  if (value == nullptr) {
    consolePrint("no pid entered\n");
  } else if (readIdText(value, options.pid)) {
    options.pidSpecified = true;
  } else {
    consolePrint("Invalid pid specified\n");
    printHelp();
    options.optionsValid = false;
  }
}

void takeVidValue(const char* value, OptionList& options) {
  if (value == nullptr) {
    consolePrint("no vid entered\n");
  } else if (readIdText(value, options.vid)) {
    options.vidSpecified = true;
  } else {
    printHelp();
    options.optionsValid = false;
  }
}

// Handles the option at argvIndex (moving argvIndex onto its value, if it
// takes one). False when the form ends here.
bool takeOption(int argc, char** argv, OptionList& options) {
  const char* option = argv[options.argvIndex];
  auto nextValue = [&]() -> const char* {
    ++options.argvIndex;
    return options.argvIndex < argc ? argv[options.argvIndex] : nullptr;
  };
  if (isOption(option, "-f", "-F")) {
    announce("-f specified\n");
    return takeFileValue(nextValue(), options);
  }
  if (isOption(option, "-c", "-C")) {
    announce("-c specified\n");
    takeComValue(nextValue(), options);
  } else if (isOption(option, "-p", "-P")) {
    announce("-p specified\n");
    takePidValue(nextValue(), options);
  } else if (isOption(option, "-v", "-V")) {
    announce("-v specified\n");
    takeVidValue(nextValue(), options);
  } else if (!same(option, "-debug")) {
    return reportDownloadFailed();
  }
  return true;
}

}  // namespace

bool scanOptions(int argc, char** argv, OptionList& options) {
  options.argvIndex = 1;
  while (argv[options.argvIndex][0] == '-') {
    if (!takeOption(argc, argv, options)) return false;
    if (++options.argvIndex >= argc) break;
  }
  return true;
}

}  // namespace tarnwick
