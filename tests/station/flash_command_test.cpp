// The flash command's option checks on fake modems: which ports are opened,
// the exit status and what is said, for each way of choosing modems.
#include "station/commands/flash_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "station_fakes.h"
#include "support/fake_modem.h"

namespace tarnwick::testing {
namespace {

struct CommandCase {
  const char* name;
  std::vector<std::string> ids;
  std::vector<int> ports;
  int interface;
  int expect;
  int exitStatus;
  std::vector<int> opened;  // COM numbers opened, in ascending order
  std::string complaint;    // part of standard error; empty: none checked
  int sleptMs;              // at least this long waiting for modems
  bool fullStdout;          // --json onto a standard output that takes no byte
};

// Present: 1-1 with COM3 (interface 0) and COM4 (interface 2); 1-2 with COM7.
// clang-format off
const CommandCase kCommandCases[] = {
    {"every_modem_on_its_first_port", {}, {}, -1, 0, 0, {3, 7}, "", 0, false},
    {"a_named_second_port", {}, {4}, -1, 0, 0, {4}, "", 0, false},
    {"two_ports_of_one_modem", {}, {3, 4}, -1, 0, 2, {},
     "--port 4 and --port 3 name the same modem (1-1)", 0, false},
    {"one_port_twice", {}, {7, 7}, -1, 0, 2, {}, "--port 7 is given twice", 0, false},
    {"a_missing_port_fails_the_run", {}, {7, 9}, -1, 0, 1, {7}, "no modem found on COM9", 0, false},
    {"only_missing_ports", {}, {9}, -1, 0, 2, {}, "no modem found", 0, false},
    {"interface_on_every_modem", {}, {}, 2, 0, 1, {4}, "1-2 has no port on interface 2", 0, false},
    {"expect_met", {}, {}, -1, 2, 0, {3, 7}, "", 0, false},
    {"expect_missed_after_ten_seconds", {}, {}, -1, 3, 1, {3, 7},
     "--expect 3 but 2 modems were found", 10000, false},
    {"bad_id", {"12:34"}, {}, -1, 0, 2, {}, "--id", 0, false},
    {"json_onto_a_full_stdout", {}, {}, -1, 0, 1, {3, 7}, "standard output could not be written",
     0, true},
};
// clang-format on

class FlashCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(FlashCommandTest, OpensTheChosenPortsAndExitsAsItShould) {
  const CommandCase& c = GetParam();
  TempDir dir;
  FlashOptions options;
  options.image = dir.writeFile("image.bin", patternBytes(2000));
  options.ids = c.ids;
  options.ports = c.ports;
  options.interface = c.interface;
  options.expect = c.expect;
  options.progress = ProgressMode::None;

  std::mutex lock;
  std::vector<std::unique_ptr<FakeSerialPort>> ports;
  std::vector<std::unique_ptr<FakeModem>> modems;
  int slept = 0;
  StationEnvironment env;
  env.listModems = [](const std::vector<DeviceIdentity>&, std::vector<FlashTarget>& present,
                      std::string&) {
    present = {{"1-1", "A", "1234", "5678", {{3, "", 0}, {4, "", 2}}},
               {"1-2", "B", "1234", "5678", {{7, "", std::nullopt}}}};
    return true;
  };
  env.makePort = [&]() -> std::unique_ptr<SerialPort> {
    std::lock_guard<std::mutex> hold(lock);
    ports.push_back(std::make_unique<FakeSerialPort>());
    modems.push_back(std::make_unique<FakeModem>(*ports.back()));
    return std::make_unique<BorrowedPort>(*ports.back());
  };
  env.sleepMs = [&slept](int ms) { slept += ms; };
  options.json = c.fullStdout;
  env.out = c.fullStdout ? std::fopen("/dev/full", "w") : std::tmpfile();
  env.err = std::tmpfile();
  ASSERT_TRUE(env.out != nullptr && env.err != nullptr);

  EXPECT_EQ(runFlashCommand(options, env), c.exitStatus);
  const std::string err = fileText(env.err);
  std::fclose(env.out);
  std::fclose(env.err);
  std::vector<int> opened;
  for (const auto& port : ports)
    opened.insert(opened.end(), port->opened.begin(), port->opened.end());
  std::sort(opened.begin(), opened.end());
  EXPECT_EQ(opened, c.opened);
  if (!c.complaint.empty()) {
    EXPECT_NE(err.find(c.complaint), std::string::npos) << err;
  }
  EXPECT_GE(slept, c.sleptMs);
  EXPECT_LE(slept, c.sleptMs + 250);
}

INSTANTIATE_TEST_SUITE_P(Options, FlashCommandTest, ::testing::ValuesIn(kCommandCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick::testing
