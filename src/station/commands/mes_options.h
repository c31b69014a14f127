#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "station/run/mes_link.h"

namespace tarnwick {

// `--validate URL [--validate-timeout S] [--cfx-listen URL]`, shared by
// flash and watch.
struct MesOptions {
  std::string validate;  // amqp[s]://[USER:PASSWORD@]HOST[:PORT]/HANDLE; empty: no interlock
  double validateTimeoutSeconds = 10;
  std::string listen;  // amqp://HOST:PORT; empty: no listener
};

void addMesOptions(CLI::App& command, MesOptions& options);

// The MES link's settings as the options and the station's handle and
// version give them; a command adds what only it has.
MesLinkSettings mesLinkSettings(const MesOptions& options, const std::string& handle,
                                const std::string& toolVersion);

// Starts `link`, saying its warnings on `err`; false with the line to say.
bool startMesLink(MesLink& link, const MesLinkSettings& settings, const ImageSource& image,
                  std::FILE* err, std::string& why);

}  // namespace tarnwick
