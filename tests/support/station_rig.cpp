#include "support/station_rig.h"

#include "platform/posix/tty_com_number.h"
#include "support/fake_sysfs.h"
#include "support/temp_dir.h"
#include "support/wine_rig.h"

namespace tarnwick::testing {
namespace {

const char kRigScript[] = TARNWICK_SOURCE_DIR "/tools/rig/run-in-usb-rig.sh";

// The simulators of every plugged port, stopped with the rig.
class SimulatedPorts {
 public:
  ModemSimProcess* simOf(std::size_t modem, std::size_t port) const {
    return modem < byModem_.size() && port < byModem_[modem].size() ? byModem_[modem][port]
                                                                    : nullptr;
  }

 protected:
  // The simulators started from here on belong to the next modem.
  void nextModem() { byModem_.emplace_back(); }

  ModemSimProcess* startSim(const ModemSimOptions& options, std::string* error) {
    auto sim = std::make_unique<ModemSimProcess>();
    if (!sim->start(options, error)) return nullptr;
    sims_.push_back(std::move(sim));
    if (!byModem_.empty()) byModem_.back().push_back(sims_.back().get());
    return sims_.back().get();
  }

  // New simulators for every port of `modem`, in place of its old ones.
  bool restartSims(std::size_t modem, const StationModemSpec& as, std::string* error) {
    std::vector<ModemSimProcess*> fresh;
    for (const StationPortSpec& port : as.ports) {
      auto sim = std::make_unique<ModemSimProcess>();
      if (!sim->start(port.sim, error)) return false;
      sims_.push_back(std::move(sim));
      fresh.push_back(sims_.back().get());
    }
    byModem_[modem] = fresh;
    return true;
  }

  bool pluggedBefore(std::size_t modem, std::string* error) const {
    if (modem < specs_.size()) return true;
    *error = "no modem " + std::to_string(modem) + " was plugged";
    return false;
  }

  // The modems as plugged, by the order of `plug`.
  std::vector<StationModemSpec> specs_;

  TempDir work_;

 private:
  std::vector<std::unique_ptr<ModemSimProcess>> sims_;
  std::vector<std::vector<ModemSimProcess*>> byModem_;
};

std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class LinuxStationRig : public StationRig, SimulatedPorts {
 public:
  std::string name() const override { return "linux"; }

  bool plug(const std::vector<StationModemSpec>& modems, std::string* error) override {
    for (const StationModemSpec& modem : modems) {
      nextModem();
      specs_.push_back(modem);
      for (const StationPortSpec& port : modem.ports) {
        if (startSim(port.sim, error) == nullptr) return false;
      }
      if (!addToTree(specs_.size() - 1, error)) return false;
    }
    return true;
  }

  bool unplug(std::size_t modem, std::string* error) override {
    if (!pluggedBefore(modem, error)) return false;
    std::vector<std::string> ttys;
    for (const StationPortSpec& port : specs_[modem].ports) {
      ttys.push_back(ttyNameForComNumber(port.comNumber));
    }
    sysfs_.removeModem(deviceOf(specs_[modem]), ttys);
    return true;
  }

  bool replug(std::size_t modem, const StationModemSpec& as, bool freshSims,
              std::string* error) override {
    if (!pluggedBefore(modem, error)) return false;
    if (freshSims && !restartSims(modem, as, error)) return false;
    specs_[modem] = as;
    return addToTree(modem, error);
  }

  bool start(const std::vector<std::string>& arguments, const std::string& errPath,
             StartedProcess& process, std::string* error) override {
    ProcessSpec launch;
    launch.argv = {kRigScript, sysfs_.sysRoot(), sysfs_.devRoot(), TARNWICK_STATION_PROGRAM};
    launch.argv.insert(launch.argv.end(), arguments.begin(), arguments.end());
    launch.workingDir = work_.path();
    OutputSetup output;
    output.pipeStdout = true;
    output.stderrPath = errPath;
    return process.start(launch, output, error);
  }

  RunResult run(const std::vector<std::string>& arguments, int timeoutMs) override {
    ProcessSpec launch;
    launch.argv = {kRigScript, sysfs_.sysRoot(), sysfs_.devRoot(), TARNWICK_STATION_PROGRAM};
    launch.argv.insert(launch.argv.end(), arguments.begin(), arguments.end());
    launch.workingDir = work_.path();
    return runProgram(launch, timeoutMs);
  }

  RunResult runInTerminal(const std::vector<std::string>& arguments, int timeoutMs,
                          const TerminalRun& how) override {
    std::string program = TARNWICK_STATION_PROGRAM;
    if (how.interruptAfterS > 0) {
      program =
          "timeout --preserve-status -s INT " + std::to_string(how.interruptAfterS) + " " + program;
    }
    if (how.noColor) program = "env NO_COLOR=1 " + program;
    std::string command = shellQuoted(kRigScript) + " " + shellQuoted(sysfs_.sysRoot()) + " " +
                          shellQuoted(sysfs_.devRoot()) + " " + program;
    for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
    ProcessSpec launch;
    if (how.columns > 0) {
      command = "stty cols " + std::to_string(how.columns) + " && exec " + command;
    }
    launch.argv = {"script", "-qefc", command, "/dev/null"};
    launch.workingDir = work_.path();
    return runProgram(launch, timeoutMs);
  }

  std::string locationOf(const StationModemSpec& modem) const override { return modem.busPort; }
  ModemSimProcess* sim(std::size_t modem, std::size_t port) const override {
    return simOf(modem, port);
  }

 private:
  static FakeUsbModem deviceOf(const StationModemSpec& modem) {
    return {modem.busPort, modem.ids.vendorId, modem.ids.productId, "0100", modem.serial};
  }

  // The modem's ports in the tree, each tty leading to its simulator:
  // ttyUSB through usb-serial for COM1..100, ttyACM (CDC-ACM) above.
  bool addToTree(std::size_t modem, std::string* error) {
    const StationModemSpec& plugged = specs_[modem];
    for (std::size_t index = 0; index < plugged.ports.size(); ++index) {
      const StationPortSpec& port = plugged.ports[index];
      const std::string tty = ttyNameForComNumber(port.comNumber);
      ModemSimProcess* sim = simOf(modem, index);
      if (tty.empty() || sim == nullptr) {
        *error = "no Linux tty or simulator for COM" + std::to_string(port.comNumber);
        return false;
      }
      const std::string mi = port.interfaceNumber.empty() ? "00" : port.interfaceNumber;
      if (port.comNumber > 100) {
        sysfs_.addAcmPort(deviceOf(plugged), mi, tty);
      } else {
        sysfs_.addUsbSerialPort(deviceOf(plugged), mi, tty);
      }
      sysfs_.addDeviceNode(tty, sim->ptyPath());
    }
    return true;
  }

  FakeSysfs sysfs_;
};

// The shared prefix may hold what an earlier test registered: each rig
// starts and ends without devices and COM links.
class WineStationRig : public StationRig, SimulatedPorts {
 public:
  WineStationRig() {
    std::string ignored;
    if (wine().ready()) wine().reset(&ignored);
  }
  ~WineStationRig() override {
    std::string ignored;
    if (wine().ready()) wine().reset(&ignored);
  }

  std::string name() const override { return "windows"; }

  bool plug(const std::vector<StationModemSpec>& modems, std::string* error) override {
    if (!wine().ready()) {
      *error = "Wine rig not ready: " + wine().error();
      return false;
    }
    for (const StationModemSpec& modem : modems) {
      nextModem();
      specs_.push_back(modem);
      present_.push_back(true);
      for (const StationPortSpec& port : modem.ports) {
        if (startSim(port.sim, error) == nullptr) return false;
      }
      if (!linkPorts(specs_.size() - 1, error)) return false;
    }
    return registerPresent(error);
  }

  bool unplug(std::size_t modem, std::string* error) override {
    if (!pluggedBefore(modem, error)) return false;
    present_[modem] = false;
    return registerPresent(error);
  }

  bool replug(std::size_t modem, const StationModemSpec& as, bool freshSims,
              std::string* error) override {
    if (!pluggedBefore(modem, error)) return false;
    if (freshSims && !restartSims(modem, as, error)) return false;
    specs_[modem] = as;
    present_[modem] = true;
    return linkPorts(modem, error) && registerPresent(error);
  }

  bool start(const std::vector<std::string>& arguments, const std::string& errPath,
             StartedProcess& process, std::string* error) override {
    OutputSetup output;
    output.pipeStdout = true;
    output.stderrPath = errPath;
    return process.start(
        wine().launchSpec(windowsBuildFile("tarnwick-station.exe"), arguments, work_.path()),
        output, error);
  }

  RunResult run(const std::vector<std::string>& arguments, int timeoutMs) override {
    return wine().run(windowsBuildFile("tarnwick-station.exe"), arguments, timeoutMs, work_.path());
  }

  std::string locationOf(const StationModemSpec& modem) const override {
    return modem.windowsLocation;
  }
  ModemSimProcess* sim(std::size_t modem, std::size_t port) const override {
    return simOf(modem, port);
  }

 private:
  static WineRig& wine() { return WineRig::shared(); }

  bool linkPorts(std::size_t modem, std::string* error) {
    const StationModemSpec& plugged = specs_[modem];
    for (std::size_t index = 0; index < plugged.ports.size(); ++index) {
      ModemSimProcess* sim = simOf(modem, index);
      if (sim == nullptr ||
          !wine().linkComPort(plugged.ports[index].comNumber, sim->ptyPath(), error)) {
        return false;
      }
    }
    return true;
  }

  // The registry shows exactly the modems plugged in now.
  bool registerPresent(std::string* error) {
    std::vector<WineModem> entries;
    for (std::size_t modem = 0; modem < specs_.size(); ++modem) {
      if (!present_[modem]) continue;
      const StationModemSpec& plugged = specs_[modem];
      WineModem entry{plugged.ids.vendorId,    plugged.ids.productId,  "0100", plugged.serial,
                      plugged.windowsLocation, plugged.parentIdPrefix, {}};
      for (const StationPortSpec& port : plugged.ports) {
        entry.ports.push_back({port.interfaceNumber, "COM" + std::to_string(port.comNumber)});
      }
      entries.push_back(entry);
    }
    return wine().setModems(entries, error);
  }

  std::vector<bool> present_;
};

}  // namespace

std::unique_ptr<StationRig> makeLinuxStationRig() {
  return std::make_unique<LinuxStationRig>();
}
std::unique_ptr<StationRig> makeWineStationRig() {
  return std::make_unique<WineStationRig>();
}

}  // namespace tarnwick::testing
