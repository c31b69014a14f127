#include "cli/download_forms.h"

#include "atlink/at_commands.h"
#include "diag/console_print.h"
#include "discovery/search_policies.h"

namespace tarnwick {
namespace {

bool reportNotAnImageName() {
  consolePrint("invalid filename entered - not a .bin\n");
  return reportDownloadFailed();
}

bool hasDebugPrefix(const char* argument) {
  return argument[0] == 'D' && argument[1] == 'B';
}

// Asks the modem for its firmware version and shows the answer. False ends
// the form with no more output: no usable answer came.
bool runDebugQuery(AtInterface& link) {
  consolePrint("\nTarnwick Debug - Sending AT Command\n\n");
  std::string rawReply;
  std::string body;
  bool answered = link.sendCommand(at_command::kFirmwareVersion, rawReply, body);
  if (rawReply.find("OK") == std::string::npos) return false;
  consolePrint("%s\n\n", body.empty() ? rawReply.c_str() : body.c_str());
  return answered;
}

}  // namespace

bool hasImageName(const std::string& name) {
  return name.find(".bin") != std::string::npos;
}

bool reportDownloadFailed() {
  consolePrint("download failed\n");
  return false;
}

bool downloadWithVerdict(AtInterface& link, const std::string& fileName) {
  if (!link.downloadImage(fileName)) return reportDownloadFailed();
  consolePrint(
      "Finished Download\nto complete process - please unplug and re-insert the USB Modem\n");
  return true;
}

bool runBareFileDownload(ToolContext& context, const char* argument) {
  AtInterface& link = context.link;
  if (!connectDefaultDevice(link, context.devices, context.sleeper)) return reportDownloadFailed();
  bool done = false;
  if (hasDebugPrefix(argument) && !runDebugQuery(link)) {
    done = false;
  } else if (!hasImageName(argument)) {
    done = reportNotAnImageName();
  } else {
    done = downloadWithVerdict(link, argument);
  }
  if (!done) link.closePort();
  return done;
}

bool runFileOptionDownload(ToolContext& context, const char* fileName) {
  if (!hasImageName(fileName)) return reportNotAnImageName();
  if (!connectDefaultDevice(context.link, context.devices, context.sleeper)) {
    return reportDownloadFailed();
  }
  return downloadWithVerdict(context.link, fileName);
}

}  // namespace tarnwick
