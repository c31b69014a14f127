#include "cli/option_list_download.h"

#include "cli/debug_mode.h"
#include "cli/download_forms.h"
#include "cli/option_list_scan.h"
#include "diag/console_print.h"
#include "discovery/search_policies.h"

namespace tarnwick {
namespace {

constexpr unsigned kCustomSearchAttempts = 5;

// Without "-f", the argument where the scan stopped is the file name.
bool chooseFile(int argc, char** argv, OptionList& options) {
  if (options.fileSpecified) return true;
  if (debugMode) {
    consolePrint("file option -f not specified - searching for file to download : argvIndex = %d\n",
                 options.argvIndex);
  }
  if (options.argvIndex >= argc) {
    consolePrint("no filename entered\n");
    return false;
  }
  if (!hasImageName(argv[options.argvIndex])) {
    consolePrint("invalid filename entered - not a .bin\n");
    return false;
  }
  options.fileName = argv[options.argvIndex];
  if (debugMode) consolePrint("valid filename specified : %s\n", options.fileName.c_str());
  return true;
}

// "-c" alone: the port given must be the one the default device is on.
bool openGivenPort(ToolContext& context, const OptionList& options) {
  int foundPort = 0;
  bool status = searchDefaultDevices(context.devices, context.sleeper, foundPort);
  if (foundPort != 0 && foundPort != options.comPort) {
    consoleWarn("Invalid COM Port COM%d specified - found device COM port COM%d\n", options.comPort,
                foundPort);
    status = false;
  }
  if (debugMode) consolePrint("Initialising COM Port : status == %s\n", status ? "true" : "false");
  return status && context.link.initialise(options.comPort);
}

// "-v" and "-p": the port of the device with that identity.
bool openCustomDevicePort(ToolContext& context, OptionList& options) {
  DeviceIdentity identity{options.vid, options.pid};
  return searchDevice(context.devices, context.sleeper, identity, kCustomSearchAttempts,
                      options.comPort) &&
         context.link.initialise(options.comPort);
}

bool openChosenPort(ToolContext& context, OptionList& options) {
  if (options.comSpecified && (options.vidSpecified || options.pidSpecified)) {
    consolePrint("cannot specify COM port with vid or pid\n");
    return false;
  }
  if (options.comSpecified) return openGivenPort(context, options);
  if (options.vidSpecified && options.pidSpecified) return openCustomDevicePort(context, options);
  return false;
}

}  // namespace

bool runOptionListDownload(ToolContext& context, int argc, char** argv) {
  OptionList options;
  if (!scanOptions(argc, argv, options)) return false;
  if (!options.optionsValid || !chooseFile(argc, argv, options) ||
      !openChosenPort(context, options)) {
    return reportDownloadFailed();
  }
  return downloadWithVerdict(context.link, options.fileName);
}

}  // namespace tarnwick
