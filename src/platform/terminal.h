#pragma once

#include <cstddef>
#include <cstdio>

namespace tarnwick {

// True when `stream` (stdout or stderr) is an interactive terminal.
bool isTerminal(std::FILE* stream);

// Makes the terminal behind `stream` act on ANSI escape sequences (the
// console's virtual-terminal mode on Windows; always so elsewhere). False
// when it cannot.
bool enableTerminalEscapes(std::FILE* stream);

// How many columns the terminal behind `stream` has; 0 when it is not a
// terminal or does not say.
std::size_t terminalColumns(std::FILE* stream);

}  // namespace tarnwick
