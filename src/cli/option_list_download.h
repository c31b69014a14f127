#pragma once

#include "cli/tool_context.h"

namespace tarnwick {

// Three or more arguments, the first an option: "-f", "-c", "-p", "-v" and
// "-debug" choose the file and the way the modem's port is found.
bool runOptionListDownload(ToolContext& context, int argc, char** argv);

}  // namespace tarnwick
