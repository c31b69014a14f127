#include "e2e/end_to_end.h"

#include <fstream>
#include <stdexcept>

#include "support/wine_tool_rig.h"

namespace tarnwick::testing {

void EndToEnd::SetUp() {
  freshRig();
  ASSERT_TRUE(rig_ != nullptr);
}

void EndToEnd::freshRig() {
  rig_.reset();
  rig_ = isWindows() ? makeWineToolRig() : makeLinuxToolRig();
}

ModemSimProcess* EndToEnd::plugDefaultModem(const ModemSimOptions& options, int comNumber) {
  return plugModem(options, defaultIds(), comNumber);
}

ModemSimProcess* EndToEnd::plugModem(const ModemSimOptions& options, const UsbIds& ids,
                                     int comNumber) {
  std::string error;
  ModemSimProcess* sim = rig_->plugModem(options, ids, comNumber, &error);
  // A rig that cannot plug a modem fails the test at once; GoogleTest
  // reports the exception as the test's failure.
  if (sim == nullptr) throw std::runtime_error("cannot plug a simulated modem: " + error);
  return sim;
}

RunResult EndToEnd::run(const std::vector<std::string>& arguments, int timeoutMs) {
  return rig_->run(arguments, timeoutMs);
}

std::string EndToEnd::writeImage(const std::string& name, std::size_t size) {
  std::string bytes = patternBytes(size);
  std::ofstream(rig_->workDir() + "/" + name, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::string EndToEnd::received(ModemSimProcess* sim) {
  std::string bytes;
  return sim != nullptr && sim->receivedImage(&bytes) ? bytes : std::string();
}

std::vector<std::string> EndToEnd::commandsOf(ModemSimProcess* sim) {
  std::vector<std::string> commands = sim->commandLog();
  const std::string packet = "AT%DNLIMG=\"";
  for (std::string& c : commands) {
    if (c.rfind(packet, 0) == 0) {
      c = "AT%DNLIMG " + std::to_string((c.size() - packet.size() - 1) / 2);
    }
  }
  return commands;
}

UsbIds defaultIds(unsigned entry) {
  DeviceIdentity id = defaultIdentity(entry);
  return UsbIds{id.vendorId, id.productId};
}

void expectRun(const RunResult& run, int exitCode, const std::string& out, const std::string& err) {
  ASSERT_TRUE(run.started) << run.describe();
  EXPECT_FALSE(run.timedOut) << run.describe();
  EXPECT_TRUE(run.exitedWith(exitCode)) << run.describe();
  EXPECT_EQ(run.out, out);
  EXPECT_EQ(run.err, err);
}

}  // namespace tarnwick::testing
