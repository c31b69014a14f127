#pragma once

#include <string>
#include <vector>

#include "support/subprocess.h"

namespace tarnwick::testing {

// The Wine programs the tests use.
struct WineTools {
  std::string wine64;
  std::string wineserver;
};

// Finds wine64 and wineserver in PATH or where Debian installs them.
bool findWineTools(WineTools* tools, std::string* error);

// `argv` run as a Wine process on `prefix`: WINEDEBUG=-all, no display, no
// Mono or Gecko installer, no menu entries or icons written outside the prefix.
ProcessSpec wineProcess(const std::string& prefix, std::vector<std::string> argv);

// Makes a private prefix for this test process under the temporary folder
// and puts its path in `prefix`.
//
// `wineboot -i` takes 5-10 s and 700 MB, so it runs once per user and Wine
// version, under a lock, into a template prefix that stays in the temporary
// folder (tarnwick-wine-<uid>-template-<version>). Each test process gets a
// copy of it: the DLL folders (system32, winsxs; 670 MB that Wine only reads
// once a prefix is current) as hard links, everything else (registry,
// dosdevices, users) as real copies, which takes well under a second.
bool makePrivatePrefix(const WineTools& tools, std::string* prefix, std::string* error);

// Stops the wineserver of `prefix` and every Wine process on it, and waits
// (bounded) until it is gone.
void stopWineServer(const WineTools& tools, const std::string& prefix);

// Removes the private prefixes of this user's test processes that no longer
// exist (killed at a time limit before they could clean up), after stopping
// any wineserver still running on them.
void removeAbandonedPrefixes(const WineTools& tools);

}  // namespace tarnwick::testing
