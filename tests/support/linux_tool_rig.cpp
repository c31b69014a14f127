#include <memory>

#include "platform/posix/tty_com_number.h"
#include "support/fake_sysfs.h"
#include "support/temp_dir.h"
#include "support/tool_rig.h"

namespace tarnwick::testing {
namespace {

const char kRigScript[] = TARNWICK_SOURCE_DIR "/tools/rig/run-in-usb-rig.sh";

class LinuxToolRig : public ToolRig {
 public:
  explicit LinuxToolRig(std::vector<std::string> wrapper) : wrapper_(std::move(wrapper)) {}

  std::string name() const override { return "linux"; }

  ModemSimProcess* plugModem(const ModemSimOptions& options, const UsbIds& ids, int comNumber,
                             std::string* error) override {
    auto sim = std::make_unique<ModemSimProcess>();
    if (!sim->start(options, error)) return nullptr;
    std::string tty = addPort(ids, comNumber, error);
    if (tty.empty()) return nullptr;
    sysfs_.addDeviceNode(tty, sim->ptyPath());
    sims_.push_back(std::move(sim));
    return sims_.back().get();
  }

  // A tty whose device node is missing has no port name on Linux.
  bool plugPortlessDevice(const UsbIds& ids, std::string* error) override {
    return !addPort(ids, portlessCom_--, error).empty();
  }

  RunResult run(const std::vector<std::string>& arguments, int timeoutMs) override {
    return runWrapped({}, arguments, timeoutMs);
  }

  RunResult runWrapped(const std::vector<std::string>& wrapper,
                       const std::vector<std::string>& arguments, int timeoutMs) override {
    ProcessSpec launch;
    launch.argv = {kRigScript, sysfs_.sysRoot(), sysfs_.devRoot()};
    launch.argv.insert(launch.argv.end(), wrapper.begin(), wrapper.end());
    launch.argv.insert(launch.argv.end(), wrapper_.begin(), wrapper_.end());
    launch.argv.push_back(TARNWICK_NATIVE_PROGRAM);
    launch.argv.insert(launch.argv.end(), arguments.begin(), arguments.end());
    launch.workingDir = work_.path();
    return runProgram(launch, timeoutMs);
  }

  const std::string& workDir() const override { return work_.path(); }

 private:
  // Adds a usb-serial interface for `ids` whose tty has `comNumber`; a fresh
  // USB bus position per device. Returns the tty name.
  std::string addPort(const UsbIds& ids, int comNumber, std::string* error) {
    std::string tty = ttyNameForComNumber(comNumber);
    if (tty.empty()) {
      *error = "no Linux tty for COM" + std::to_string(comNumber);
      return {};
    }
    FakeUsbModem modem{"3-" + std::to_string(++devices_), ids.vendorId, ids.productId, "0100"};
    if (tty.rfind("ttyACM", 0) == 0) {
      sysfs_.addAcmPort(modem, "00", tty);
    } else {
      sysfs_.addUsbSerialPort(modem, "00", tty);
    }
    return tty;
  }

  std::vector<std::string> wrapper_;
  FakeSysfs sysfs_;
  TempDir work_;
  std::vector<std::unique_ptr<ModemSimProcess>> sims_;
  int devices_ = 0;
  int portlessCom_ = 100;  // ttyUSB99 downwards is out of the tests' way
};

}  // namespace

std::unique_ptr<ToolRig> makeLinuxToolRig(std::vector<std::string> wrapper) {
  return std::make_unique<LinuxToolRig>(std::move(wrapper));
}

}  // namespace tarnwick::testing
