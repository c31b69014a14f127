#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/modem_sim_process.h"
#include "support/subprocess.h"
#include "support/tool_rig.h"

namespace tarnwick::testing {

// One port of a modem in a station rig: a simulated modem of its own.
struct StationPortSpec {
  std::string interfaceNumber;  // two hex digits; empty: a single-interface device
  int comNumber = 0;
  ModemSimOptions sim;
};

// A physical modem as both builds should see it.
struct StationModemSpec {
  UsbIds ids;
  std::optional<std::string> serial;
  std::string busPort;          // Linux: the USB device's sysfs name and location, "3-4"
  std::string windowsLocation;  // Windows: LocationInformation
  std::string parentIdPrefix;   // Windows: composite devices' ParentIdPrefix
  std::vector<StationPortSpec> ports;
};

// How a terminal run goes: `columns` wide (0: as `script` makes it), sent
// SIGINT (Ctrl-C) after `interruptAfterS` seconds (0: never), with NO_COLOR
// set when `noColor`.
struct TerminalRun {
  int columns = 0;
  int interruptAfterS = 0;
  bool noColor = false;
};

// The station program of one build with simulated modems plugged in: the
// Linux binary in the USB rig's mount namespace, or the .exe under Wine.
class StationRig {
 public:
  virtual ~StationRig() = default;
  virtual std::string name() const = 0;
  // Starts a simulator per port and makes `modems` the present modems.
  virtual bool plug(const std::vector<StationModemSpec>& modems, std::string* error) = 0;
  virtual RunResult run(const std::vector<std::string>& arguments, int timeoutMs) = 0;
  // Linux: runs it with a pseudo-terminal as its standard output (through
  // util-linux's `script`); what it wrote there comes back in `out`.
  virtual RunResult runInTerminal(const std::vector<std::string>& arguments, int timeoutMs,
                                  const TerminalRun& how = {}) {
    (void)arguments;
    (void)timeoutMs;
    (void)how;
    RunResult result;
    result.error = "no terminal runs on this build's rig";
    return result;
  }

  // Starts the program in the background: standard output piped (read it
  // with `readStdoutLine`), standard error appended to `errPath`.
  virtual bool start(const std::vector<std::string>& arguments, const std::string& errPath,
                     StartedProcess& process, std::string* error) = 0;
  // Takes the `modem`-th modem plugged out of the device list (a pull);
  // its simulators go on running.
  virtual bool unplug(std::size_t modem, std::string* error) = 0;
  // Plugs the `modem`-th modem in again as `as` (its location may differ).
  // With `freshSims` its ports get new simulators with `as`'s options, else
  // it keeps the ones it had (which remember their download).
  virtual bool replug(std::size_t modem, const StationModemSpec& as, bool freshSims,
                      std::string* error) = 0;
  // The simulator of port `port` of the `modem`-th modem plugged (counted
  // over every `plug`); null when there is none.
  virtual ModemSimProcess* sim(std::size_t modem, std::size_t port) const = 0;

  // The location the build shows for `modem`.
  virtual std::string locationOf(const StationModemSpec& modem) const = 0;
};

std::unique_ptr<StationRig> makeLinuxStationRig();
std::unique_ptr<StationRig> makeWineStationRig();

}  // namespace tarnwick::testing
