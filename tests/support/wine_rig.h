#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/subprocess.h"
#include "support/wine_prefix.h"
#include "support/wine_registry_file.h"

namespace tarnwick::testing {

// A private Wine installation for the tests of one test process: its own
// WINEPREFIX under the temporary folder, made on first use (a copy of a
// template prefix, see wine_prefix.h), a wineserver kept running while the
// tests use it, USB device entries in its registry and COM ports linked to
// ttys. At process exit the wineserver is stopped with `wineserver -k` and
// the prefix removed. Prefixes that a killed test process left behind are
// removed at start-up.
//
// Every Wine process runs with WINEDEBUG=-all and without a display.
class WineRig {
 public:
  // The rig of this test process, made on first use.
  static WineRig& shared();

  ~WineRig();
  WineRig(const WineRig&) = delete;
  WineRig& operator=(const WineRig&) = delete;

  // False when Wine or the prefix could not be set up; `error()` says why.
  bool ready() const { return ready_; }
  const std::string& error() const { return error_; }
  const std::string& prefix() const { return prefix_; }
  // How long making the prefix and starting its server took, in milliseconds.
  long long bootMs() const { return bootMs_; }

  // Replaces the rig's USB devices with `devices`, listed in this order.
  bool setUsbDevices(const std::vector<WineUsbDevice>& devices, std::string* error);
  // Adds one USB device, listed after those already there.
  bool addUsbDevice(const WineUsbDevice& device, std::string* error);
  // Replaces the rig's USB devices with the physical modems `modems`
  // (instance keys named by serial, composite ones with their interfaces).
  // Only modems that leave or change are rewritten: a program listing
  // devices meanwhile sees the others stay, as on a real station.
  bool setModems(const std::vector<WineModem>& modems, std::string* error);
  // Removes every USB device the rig added.
  bool clearUsbDevices(std::string* error);

  // Makes COM `comNumber` of the prefix the tty at `ttyPath` (for example the
  // slave side of a pseudo-terminal), replacing any earlier link.
  bool linkComPort(int comNumber, const std::string& ttyPath, std::string* error);
  void unlinkComPort(int comNumber);

  // Removes the rig's USB devices and COM links: each test states its own.
  bool reset(std::string* error);

  // Runs the Windows program `exePath` (a Unix path) under wine64 with
  // `arguments`, within `timeoutMs`; output is captured byte for byte and
  // nothing is filtered from it.
  // With a `wrapper`, wine64 is started by it (its arguments come first).
  // How `run` starts the program, for a run in the background.
  ProcessSpec launchSpec(const std::string& exePath, const std::vector<std::string>& arguments,
                         const std::string& workingDir = "") const;
  RunResult run(const std::string& exePath, const std::vector<std::string>& arguments,
                int timeoutMs, const std::string& workingDir = "",
                const std::vector<std::string>& wrapper = {});

 private:
  WineRig();
  bool boot();
  void shutdown();
  bool loadRegistryFile(const std::string& text, const std::vector<std::string>& expectedKeys,
                        const std::vector<std::string>& removedKeys, std::string* error);

  // A modem the registry holds now: its instance keys and the sections
  // that made them, to tell a changed modem from one that stays.
  struct PluggedModem {
    std::vector<std::string> instanceKeys;
    std::string sections;
  };

  bool ready_ = false;
  std::string error_;
  std::string prefix_;
  WineTools tools_;
  long long bootMs_ = 0;
  std::vector<std::string> deviceKeys_;
  std::map<std::string, PluggedModem> pluggedModems_;  // by their first instance key
  std::vector<int> linkedPorts_;
};

// A file of the Windows build: TARNWICK_WINDOWS_BUILD_DIR/<relativePath>.
std::string windowsBuildFile(const std::string& relativePath);

}  // namespace tarnwick::testing
