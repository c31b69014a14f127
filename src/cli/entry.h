#pragma once

#include "cli/tool_context.h"

namespace tarnwick {

// The whole program: banner, "-debug", the invocation form chosen by the
// argument count, and the exit code.
int runTool(int argc, char** argv, ToolContext& context);

}  // namespace tarnwick
