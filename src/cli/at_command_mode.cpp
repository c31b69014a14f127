#include "cli/at_command_mode.h"

#include <string>

#include "cli/help_text.h"
#include "diag/console_print.h"
#include "discovery/search_policies.h"

namespace tarnwick {

bool runAtCommand(ToolContext& context, const char* command) {
  std::string rawReply;
  std::string body;
  bool answered = false;
  if (connectDefaultDevice(context.link, context.devices, context.sleeper)) {
    answered = context.link.sendCommand(command, rawReply, body);
  }
  // The reply is judged by plain substring tests over the whole text, echo
  // included, and printed whole as it came.
  if (rawReply.find("OK") != std::string::npos || rawReply.find("ERROR") != std::string::npos) {
    consolePrint("%s\n\n", rawReply.c_str());
  } else {
    consolePrint("No response from AT command\n");
  }
  return answered;
}

bool runAtWithoutCommand() {
  consolePrint("AT Mode : AT command string required\n");
  printHelp();
  consolePrint("download failed\n");
  return false;
}

}  // namespace tarnwick
