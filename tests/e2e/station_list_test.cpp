// tarnwick-station list on both builds, against simulated modems seen as USB
// modems: identical models told apart by serial and location, a composite
// modem whose first port is silent, a single-interface modem without serial.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "station/commands/station_version.h"
#include "support/station_rig.h"

namespace tarnwick::testing {
namespace {

using Json = nlohmann::json;

constexpr int kRunLimitMs = 60000;

class StationListEndToEnd : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    rig_ = GetParam() == "windows" ? makeWineStationRig() : makeLinuxStationRig();
    std::string error;
    ASSERT_TRUE(rig_->plug(modems_, &error)) << error;
  }

  bool isWindows() const { return GetParam() == "windows"; }

  static StationPortSpec simPort(const std::string& mi, int com, const std::string& version,
                                 bool silent = false) {
    StationPortSpec port{mi, com, {}};
    port.sim.versionText = version;
    port.sim.silentAtCommand = silent ? 1 : 0;
    return port;
  }

  // What each modem's JSON line must hold, keyed by its location.
  Json expectedModem(std::size_t index) const {
    const StationModemSpec& expected = modems_[index];
    Json modem = {{"location", rig_->locationOf(expected)},
                  {"serial", expected.serial ? Json(*expected.serial) : Json(nullptr)},
                  {"vid", "2c7c"},
                  {"pid", "0125"},
                  {"revision", "0100"},
                  {"ports", Json::array()}};
    for (const StationPortSpec& port : expected.ports) {
      Json entry = {{"port", "COM" + std::to_string(port.comNumber)}};
      if (!isWindows()) entry["tty"] = "/dev/ttyUSB" + std::to_string(port.comNumber - 1);
      const bool hasInterface = !isWindows() || !port.interfaceNumber.empty();
      entry["interface"] =
          hasInterface ? Json(std::stoi("0" + port.interfaceNumber, nullptr, 16)) : Json(nullptr);
      entry["probe_error"] =
          port.sim.silentAtCommand ? Json("no answer within the budget") : Json(nullptr);
      modem["ports"].push_back(entry);
    }
    return modem;
  }

  const std::vector<StationModemSpec> modems_ = {
      {{"2c7c", "0125"},
       "SN0001",
       "3-1",
       "Port_#0001.Hub_#0001",
       "6&2a3b4c5d&0",
       {simPort("00", 11, "SILENT", true), simPort("02", 12, "EG25_A")}},
      {{"2c7c", "0125"},
       "SN0002",
       "3-2",
       "Port_#0002.Hub_#0001",
       "6&11aa22bb&0",
       {simPort("00", 13, "EG25_B")}},
      {{"2c7c", "0125"},
       std::nullopt,
       "3-3",
       "Port_#0003.Hub_#0001",
       "",
       {simPort("", 14, "EG25_C")}},
  };
  std::unique_ptr<StationRig> rig_;
};

// Every modem once, each line parsing on its own; the probes ran at once, so
// the modem held up by its silent port comes last.
TEST_P(StationListEndToEnd, ProbeJsonShowsEveryModemWithItsAtPort) {
  const RunResult run = rig_->run({"list", "--probe", "--json"}, kRunLimitMs);
  ASSERT_TRUE(run.exitedWith(0)) << run.describe();
  EXPECT_EQ(run.err, "");
  std::istringstream lines(run.out);
  std::vector<Json> listed;
  for (std::string line; std::getline(lines, line);) {
    listed.push_back(Json::parse(line, nullptr, false));
    ASSERT_FALSE(listed.back().is_discarded()) << line;
    EXPECT_EQ(line.rfind("{\"location\":", 0), 0u) << line;  // fields in the documented order
  }
  ASSERT_EQ(listed.size(), 3u) << run.out;
  EXPECT_EQ(listed.back()["location"], rig_->locationOf(modems_[0])) << run.out;
  const std::map<std::string, std::pair<const char*, const char*>> atPorts = {
      {rig_->locationOf(modems_[0]), {"COM12", "EG25_A"}},
      {rig_->locationOf(modems_[1]), {"COM13", "EG25_B"}},
      {rig_->locationOf(modems_[2]), {"COM14", "EG25_C"}}};
  for (std::size_t i = 0; i < modems_.size(); ++i) {
    const std::string location = rig_->locationOf(modems_[i]);
    Json expected = expectedModem(i);
    expected["at_port"] = atPorts.at(location).first;
    expected["version"] = atPorts.at(location).second;
    int found = 0;
    for (const Json& modem : listed) {
      if (modem["location"] != location) continue;
      ++found;
      EXPECT_EQ(modem, expected);
    }
    EXPECT_EQ(found, 1) << location << "\n" << run.out;
  }
}

TEST_P(StationListEndToEnd, TableWithoutProbeAndTheExitStatuses) {
  const RunResult table = rig_->run({"list"}, kRunLimitMs);
  ASSERT_TRUE(table.exitedWith(0)) << table.describe();
  EXPECT_EQ(table.out.rfind("LOCATION  ", 0), 0u) << table.out;
  for (const StationModemSpec& modem : modems_) {
    EXPECT_NE(table.out.find("\n" + rig_->locationOf(modem) + " "), std::string::npos) << table.out;
  }
  const RunResult json = rig_->run({"list", "--id", "2C7C:0125", "--json"}, kRunLimitMs);
  ASSERT_TRUE(json.exitedWith(0)) << json.describe();
  EXPECT_EQ(json.out.find("probe_error"), std::string::npos) << json.out;
  std::istringstream lines(json.out);
  std::size_t count = 0;
  for (std::string line; std::getline(lines, line) && count < modems_.size(); ++count) {
    Json expected = expectedModem(count);  // in location order, without the probe's fields
    for (Json& port : expected["ports"]) port.erase("probe_error");
    EXPECT_EQ(Json::parse(line, nullptr, false), expected) << line;
  }
  EXPECT_EQ(count, modems_.size()) << json.out;

  const RunResult none = rig_->run({"list", "--id", "1111:2222", "--json"}, kRunLimitMs);
  EXPECT_TRUE(none.exitedWith(1)) << none.describe();
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "tarnwick-station: no modem found\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"list", "--id", "2c7c"}, "--id"},
      {{"list", "--id"}, "--id"},
      {{"list", "--bogus"}, "--bogus"},
      {{}, "a command is needed: list, flash, watch, teach, outbox"},
      {{"flsh", "fw.bin"}, "unknown command 'flsh'; the commands are list, flash, watch, teach"}};
  for (const auto& [arguments, complaint] : bad) {
    const RunResult refused = rig_->run(arguments, kRunLimitMs);
    EXPECT_TRUE(refused.exitedWith(2)) << refused.describe();
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find(complaint), std::string::npos) << refused.describe();
    EXPECT_NE(refused.err.find("Run with --help for more information."), std::string::npos)
        << refused.describe();
  }
}

// --version says the program, its version and its build; every help names
// its values in the user's words, never by CLI11's types.
TEST_P(StationListEndToEnd, VersionAndHelpSpeakTheUsersWords) {
  const std::string version = std::string("tarnwick-station ") + kStationVersion +
                              (isWindows() ? " (Windows)" : " (Linux)");
  for (const char* flag : {"--version", "-V"}) {
    const RunResult run = rig_->run({flag}, kRunLimitMs);
    EXPECT_TRUE(run.exitedWith(0)) << run.describe();
    EXPECT_EQ(run.out, version + "\n") << run.describe();
  }
  for (const char* command : {"", "list", "flash", "watch", "teach", "outbox"}) {
    std::vector<std::string> arguments{"--help"};
    if (*command != '\0') arguments.insert(arguments.begin(), command);
    const RunResult help = rig_->run(arguments, kRunLimitMs);
    EXPECT_TRUE(help.exitedWith(0)) << help.describe();
    EXPECT_NE(help.out.find("Usage: tarnwick-station"), std::string::npos) << help.out;
    for (const char* raw : {"TEXT", "INT", "FLOAT", "REQUIRED", "Excludes", "Needs", " in ["}) {
      EXPECT_EQ(help.out.find(raw), std::string::npos) << raw << " in:\n" << help.out;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, StationListEndToEnd, ::testing::Values("linux", "windows"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
}  // namespace tarnwick::testing
