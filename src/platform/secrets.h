#pragma once

#include <cstddef>
#include <string>

namespace tarnwick {

// Where a secret (the broker's password) comes from, and keeping it from
// other local users.

// The first line of the file at `path` (UTF-8), without its line end. False
// with `error` when it cannot be read or its first line is empty; the
// error never holds the file's text. `warning` is set when other users
// than its owner may read it (Linux: any group or other permission bit).
bool readSecretFile(const std::string& path, std::string& firstLine, std::string& warning,
                    std::string& error);

// The environment variable `name` as UTF-8; empty when unset.
std::string environmentText(const char* name);

// Overwrites `length` bytes of `argument` from `offset` with '*', in the
// memory the system shows as this process's command line (Linux:
// /proc/PID/cmdline and so `ps`). Windows keeps its own copy of the command
// line: nothing is done there. `argument` is one of main's argv.
void hideInCommandLine(char* argument, std::size_t offset, std::size_t length);

// True when `hideInCommandLine` takes the text out of what others see.
bool commandLineCanBeHidden();

}  // namespace tarnwick
