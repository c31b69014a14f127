// What the station's end-to-end tests share: JSON Lines parsed, and the
// simulated modems they plug.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/end_to_end.h"
#include "support/station_rig.h"

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

}  // namespace tarnwick::testing
