// What the station's end-to-end tests share: JSON Lines parsed, and the
// simulated modems they plug.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/end_to_end.h"
#include "support/station_rig.h"
#include "support/temp_dir.h"

namespace tarnwick::testing {

inline std::vector<nlohmann::json> jsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << "not JSON: " << line;
    lines.push_back(parsed);
  }
  return lines;
}

// A tmpfs of one page mounted at `dir` for one test (root only), and
// unmounted when it goes, whatever happened.
class FullDisk {
 public:
  explicit FullDisk(std::string dir) : dir_(std::move(dir)) {
    mounted_ =
        ::geteuid() == 0 && ::mkdir(dir_.c_str(), 0755) == 0 &&
        runProgram({{"mount", "-t", "tmpfs", "-o", "size=4k", "tmpfs", dir_}}, 10000).exitedWith(0);
  }
  ~FullDisk() {
    if (mounted_) runProgram({{"umount", "-l", dir_}}, 10000);
  }
  bool mounted() const { return mounted_; }

  // Writes `text` to `name`, then takes up every byte left on the disk.
  void fillAfter(const std::string& name, const std::string& text) const {
    ProcessSpec fill({"sh", "-c", "printf %s \"$0\" >\"$1\"; cat /dev/zero >filler", text, name});
    fill.workingDir = dir_;
    runProgram(fill, 10000);
  }

 private:
  std::string dir_;
  bool mounted_ = false;
};

inline StationModemSpec modemSpec(int number, std::vector<ModemSimOptions> ports) {
  StationModemSpec modem;
  modem.ids = defaultIds();
  modem.serial = "SN" + std::to_string(1000 + number);
  modem.busPort = "3-" + std::to_string(number);
  modem.windowsLocation = "Port_#000" + std::to_string(number) + ".Hub_#0001";
  modem.parentIdPrefix = "6&1a2b3c" + std::to_string(number) + "&0";
  for (std::size_t i = 0; i < ports.size(); ++i) {
    ports[i].logCommands = false;
    StationPortSpec port;
    port.interfaceNumber = ports.size() > 1 ? "0" + std::to_string(2 * i) : "";
    port.comNumber = 10 + number * 4 + static_cast<int>(i);
    port.sim = ports[i];
    modem.ports.push_back(port);
  }
  return modem;
}

// The tests' own MES (tests/support/mes_standin.py), listening as a CFX
// SDK endpoint does with the handle Tests.MES on 127.0.0.1:`port`, and
// answering each ValidateUnitsRequest as `options` say (--refuse UNIT
// --message TEXT --code N, --never); the units it was asked about, in order.
// Its ports lie at the test broker's port +60 on (+50 is its TLS listener).
inline constexpr int kMesPortBase = TARNWICK_TEST_BROKER_PORT + 60;

class MesStandIn {
 public:
  MesStandIn(int port, const std::vector<std::string>& options) {
    std::vector<std::string> argv = {"/usr/bin/python3", TARNWICK_MES_STANDIN, "serve",
                                     std::to_string(port), "Tests.MES"};
    argv.insert(argv.end(), options.begin(), options.end());
    std::string error;
    EXPECT_TRUE(process_.start(ProcessSpec(argv),
                               OutputSetup{false, log_.path() + "/asked", log_.path() + "/stderr"},
                               &error))
        << error;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (readFile(log_.path() + "/asked").empty() && std::chrono::steady_clock::now() < until &&
           process_.running())
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(readFile(log_.path() + "/asked"), "ready\n") << readFile(log_.path() + "/stderr");
  }
  static std::string url(int port) {
    return "amqp://127.0.0.1:" + std::to_string(port) + "/Tests.MES";
  }
  std::vector<std::string> unitsAsked() const {
    std::vector<std::string> units;
    std::istringstream lines(readFile(log_.path() + "/asked"));
    for (std::string line; std::getline(lines, line);)
      if (line != "ready") units.push_back(nlohmann::json::parse(line)["unit"]);
    return units;
  }

 private:
  TempDir log_;
  StartedProcess process_;
};

// Asks the station's listener at `port` (handle `handle`) one request as
// the MES stand-in does; its answer's envelope, or {"rejected": CONDITION}.
inline nlohmann::json askStation(int port, const std::string& handle, const std::string& name,
                                 bool garbage = false) {
  std::vector<std::string> argv = {"/usr/bin/python3",
                                   TARNWICK_MES_STANDIN,
                                   "ask",
                                   "amqp://127.0.0.1:" + std::to_string(port),
                                   handle,
                                   name};
  if (garbage) argv.push_back("--garbage");
  RunResult run = runProgram(ProcessSpec(argv), 20000);
  EXPECT_TRUE(run.exitedWith(0)) << run.describe();
  return nlohmann::json::parse(run.out, nullptr, false);
}

}  // namespace tarnwick::testing
