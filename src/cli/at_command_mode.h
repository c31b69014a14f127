#pragma once

#include "cli/tool_context.h"

namespace tarnwick {

// Sends one AT command to the default modem and prints its reply. True when
// the modem answered the command with OK after its echo.
bool runAtCommand(ToolContext& context, const char* command);

// "AT" given without a command: complaint and help; never a job done.
bool runAtWithoutCommand();

}  // namespace tarnwick
