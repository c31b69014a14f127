#pragma once

namespace tarnwick {

// Prints the help text on standard output.
void printHelp();

}  // namespace tarnwick
