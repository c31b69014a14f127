#pragma once

#include <string>

namespace tarnwick {

// The one-modem tool's console output. Every message is formatted and
// flushed at once, so that it reaches the reader when it is written and in
// the order written, whatever standard output is (terminal, file or pipe),
// and a message on standard error never overtakes one on standard output.
// A write that fails (a reader that closed its pipe) is dropped silently.
void consolePrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
void consoleWarn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same for text that is already made, byte for byte.
void consoleWrite(const std::string& text);
void consoleWarnWrite(const std::string& text);

}  // namespace tarnwick
