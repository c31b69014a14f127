#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/modem_sim_process.h"
#include "support/subprocess.h"

namespace tarnwick::testing {

// A USB identity as the kernel and Windows show it (hex digits).
struct UsbIds {
  std::string vendorId;
  std::string productId;
};

// One shipped program (the Linux binary, or the .exe under Wine) with the
// machinery that makes simulated modems look like plugged-in USB modems to
// it. Files the program should see go in `workDir()`, its working folder.
class ToolRig {
 public:
  virtual ~ToolRig() = default;

  virtual std::string name() const = 0;

  // Starts a simulated modem and makes it visible as USB device `ids` on
  // COM `comNumber`. The returned simulator lives as long as the rig.
  virtual ModemSimProcess* plugModem(const ModemSimOptions& options, const UsbIds& ids,
                                     int comNumber, std::string* error) = 0;

  // A USB device with `ids` that has no port name (a lookup passes over it),
  // listed before the devices plugged after it.
  virtual bool plugPortlessDevice(const UsbIds& ids, std::string* error) = 0;

  // Runs the program with `arguments` in `workDir()`, within `timeoutMs`.
  virtual RunResult run(const std::vector<std::string>& arguments, int timeoutMs) = 0;

  // The same, started by `wrapper` (such as a shell that redirects the
  // program's output): the wrapper's arguments, then the program and its.
  virtual RunResult runWrapped(const std::vector<std::string>& wrapper,
                               const std::vector<std::string>& arguments, int timeoutMs) = 0;

  virtual const std::string& workDir() const = 0;
};

// The rig of the Linux program: a fake sysfs tree and device folder, bound
// over /sys and /dev in a private mount namespace. With a `wrapper` (such as
// valgrind and its options) the program runs under it.
std::unique_ptr<ToolRig> makeLinuxToolRig(std::vector<std::string> wrapper = {});

}  // namespace tarnwick::testing
