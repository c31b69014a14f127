#include "support/wine_tool_rig.h"

#include "support/temp_dir.h"
#include "support/wine_rig.h"

namespace tarnwick::testing {
namespace {

// The .exe under this test process's Wine prefix. The prefix is shared by
// the rigs of one process, so each rig starts by clearing what an earlier
// one registered.
class WineToolRig : public ToolRig {
 public:
  WineToolRig() {
    std::string error;
    if (wine().ready()) wine().reset(&error);
  }
  ~WineToolRig() override {
    std::string ignored;
    if (wine().ready()) wine().reset(&ignored);
  }

  std::string name() const override { return "windows"; }

  ModemSimProcess* plugModem(const ModemSimOptions& options, const UsbIds& ids, int comNumber,
                             std::string* error) override {
    if (!ready(error)) return nullptr;
    auto sim = std::make_unique<ModemSimProcess>();
    if (!sim->start(options, error)) return nullptr;
    std::string portName = "COM" + std::to_string(comNumber);
    if (!wine().addUsbDevice(serialInterface(ids.vendorId, ids.productId, "00", portName), error) ||
        !wine().linkComPort(comNumber, sim->ptyPath(), error)) {
      return nullptr;
    }
    sims_.push_back(std::move(sim));
    return sims_.back().get();
  }

  bool plugPortlessDevice(const UsbIds& ids, std::string* error) override {
    return ready(error) && wine().addUsbDevice(compositeParent(ids.vendorId, ids.productId), error);
  }

  RunResult run(const std::vector<std::string>& arguments, int timeoutMs) override {
    return runWrapped({}, arguments, timeoutMs);
  }

  RunResult runWrapped(const std::vector<std::string>& wrapper,
                       const std::vector<std::string>& arguments, int timeoutMs) override {
    return wine().run(windowsBuildFile("tarnwick.exe"), arguments, timeoutMs, work_.path(),
                      wrapper);
  }

  const std::string& workDir() const override { return work_.path(); }

 private:
  static WineRig& wine() { return WineRig::shared(); }

  static bool ready(std::string* error) {
    if (!wine().ready()) *error = "Wine rig not ready: " + wine().error();
    return wine().ready();
  }

  TempDir work_;
  std::vector<std::unique_ptr<ModemSimProcess>> sims_;
};

}  // namespace

std::unique_ptr<ToolRig> makeWineToolRig() {
  return std::make_unique<WineToolRig>();
}

}  // namespace tarnwick::testing
