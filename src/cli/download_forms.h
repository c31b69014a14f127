#pragma once

#include <string>

#include "cli/tool_context.h"

namespace tarnwick {

// An image file name must contain ".bin" (case-sensitive, anywhere).
bool hasImageName(const std::string& name);

// Runs the download on the open link and prints the verdict.
bool downloadWithVerdict(AtInterface& link, const std::string& fileName);

// Prints the verdict of a form that ended before the download.
bool reportDownloadFailed();

// A single argument: the image file name, or the debug query for a name
// that starts with "DB".
bool runBareFileDownload(ToolContext& context, const char* argument);

// "-f" and a file name: download to the default modem.
bool runFileOptionDownload(ToolContext& context, const char* fileName);

}  // namespace tarnwick
