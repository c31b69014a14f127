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
      FakeUsbModem device{modem.busPort, modem.ids.vendorId, modem.ids.productId, "0100",
                          modem.serial};
      nextModem();
      for (const StationPortSpec& port : modem.ports) {
        if (!plugPort(device, port, error)) return false;
      }
    }
    return true;
  }

  RunResult run(const std::vector<std::string>& arguments, int timeoutMs) override {
    ProcessSpec launch;
    launch.argv = {kRigScript, sysfs_.sysRoot(), sysfs_.devRoot(), TARNWICK_STATION_PROGRAM};
    launch.argv.insert(launch.argv.end(), arguments.begin(), arguments.end());
    launch.workingDir = work_.path();
    return runProgram(launch, timeoutMs);
  }

  RunResult runInTerminal(const std::vector<std::string>& arguments, int timeoutMs) override {
    std::string command = shellQuoted(kRigScript) + " " + shellQuoted(sysfs_.sysRoot()) + " " +
                          shellQuoted(sysfs_.devRoot()) + " " + TARNWICK_STATION_PROGRAM;
    for (const std::string& argument : arguments) command += " " + shellQuoted(argument);
    ProcessSpec launch;
    launch.argv = {"script", "-qefc", command, "/dev/null"};
    launch.workingDir = work_.path();
    return runProgram(launch, timeoutMs);
  }

  std::string locationOf(const StationModemSpec& modem) const override { return modem.busPort; }
  ModemSimProcess* sim(std::size_t modem, std::size_t port) const override {
    return simOf(modem, port);
  }

 private:
  // ttyUSB through usb-serial for COM1..100, ttyACM (CDC-ACM) above.
  bool plugPort(const FakeUsbModem& device, const StationPortSpec& port, std::string* error) {
    const std::string tty = ttyNameForComNumber(port.comNumber);
    ModemSimProcess* sim = tty.empty() ? nullptr : startSim(port.sim, error);
    if (sim == nullptr) {
      if (tty.empty()) *error = "no Linux tty for COM" + std::to_string(port.comNumber);
      return false;
    }
    const std::string mi = port.interfaceNumber.empty() ? "00" : port.interfaceNumber;
    if (port.comNumber > 100) {
      sysfs_.addAcmPort(device, mi, tty);
    } else {
      sysfs_.addUsbSerialPort(device, mi, tty);
    }
    sysfs_.addDeviceNode(tty, sim->ptyPath());
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
    std::vector<WineModem> entries;
    for (const StationModemSpec& modem : modems) {
      WineModem entry{modem.ids.vendorId,    modem.ids.productId,  "0100", modem.serial,
                      modem.windowsLocation, modem.parentIdPrefix, {}};
      nextModem();
      for (const StationPortSpec& port : modem.ports) {
        ModemSimProcess* sim = startSim(port.sim, error);
        if (sim == nullptr || !wine().linkComPort(port.comNumber, sim->ptyPath(), error)) {
          return false;
        }
        entry.ports.push_back({port.interfaceNumber, "COM" + std::to_string(port.comNumber)});
      }
      entries.push_back(entry);
    }
    return wine().setModems(entries, error);
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
};

}  // namespace

std::unique_ptr<StationRig> makeLinuxStationRig() {
  return std::make_unique<LinuxStationRig>();
}
std::unique_ptr<StationRig> makeWineStationRig() {
  return std::make_unique<WineStationRig>();
}

}  // namespace tarnwick::testing
