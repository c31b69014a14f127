#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>

namespace tarnwick {

// The station's help speaks the user's words: a value is shown by the name
// each option gives it (N, FILE, VID:PID, S, URL, DIR), never by CLI11's
// type, and a positional by its own name alone. Call before the commands
// are added: each takes the look from the program's app.
void useStationHelp(CLI::App& app);

// After the commands are added: they are listed as "Commands" under the
// program's help, and -V/--version prints the program's name, version and
// build.
void finishStationCommandLine(CLI::App& app);

// When the first argument names no command (a typo such as "flsh"), or
// there is none, says so on `err` with the commands there are, and gives
// true: the run ends with a bad invocation. Options (--help, --version)
// are CLI11's to judge.
bool refuseUnknownCommand(const CLI::App& app, int argc, char** argv, std::FILE* err);

}  // namespace tarnwick
