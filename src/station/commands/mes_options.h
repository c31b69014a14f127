#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace tarnwick {

// `--validate URL [--validate-timeout S] [--cfx-listen URL]`, shared by
// flash and watch.
struct MesOptions {
  std::string validate;  // amqp[s]://[USER:PASSWORD@]HOST[:PORT]/HANDLE; empty: no interlock
  double validateTimeoutSeconds = 10;
  std::string listen;  // amqp://HOST:PORT; empty: no listener
};

void addMesOptions(CLI::App& command, MesOptions& options);

}  // namespace tarnwick
