// tarnwick-station flash end to end on both builds: several simulated
// modems at once, some misbehaving; every record, final state, stage, exit
// status and JSON line, and the image each modem received.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "e2e/end_to_end.h"
#include "e2e/station_e2e.h"
#include "support/station_rig.h"

namespace tarnwick::testing {
namespace {

constexpr std::size_t kImageSize = 6000;  // 12 packets of 512 bytes
constexpr int kRunLimitMs = 120000;

struct Expected {
  std::string result;
  std::string stage;
  std::string reason;  // the start of the reason
  bool intact;
  std::string mentions = {};  // further words the reason holds
};

class StationFlash : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    rig_ = GetParam() == "windows" ? makeWineStationRig() : makeLinuxStationRig();
  }

  // Plugs `modems`, flashes them with JSON events and a record file, and
  // checks each modem's record against `expected` (by modem).
  void flashAndCheck(const std::vector<StationModemSpec>& modems,
                     const std::vector<Expected>& expected, int exitStatus,
                     const std::function<void()>& beforeRun = {},
                     const std::vector<std::string>& extraArguments = {}) {
    std::string error;
    ASSERT_TRUE(rig_->plug(modems, &error)) << error;
    if (beforeRun) beforeRun();
    image_ = patternBytes(kImageSize, 11);
    const std::string imagePath = work_.writeFile("image.bin", image_);
    const std::string recordPath = work_.path() + "/records.jsonl";
    std::vector<std::string> arguments = {"flash",    programPath(imagePath),  "--json",
                                          "--record", programPath(recordPath), "--progress",
                                          "plain"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    RunResult run = rig_->run(arguments, kRunLimitMs);
    ASSERT_TRUE(run.exitedWith(exitStatus)) << run.describe();

    std::vector<nlohmann::json> events = jsonLines(run.out);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events.front()["event"], "run-start");
    EXPECT_EQ(events.back()["event"], "run-end");
    EXPECT_EQ(events.back()["exit_status"], exitStatus);
    std::map<std::string, int> kinds;
    for (std::size_t i = 0; i < events.size(); ++i) {
      EXPECT_EQ(events[i]["seq"], i + 1);
      EXPECT_EQ(events[i]["time"].get<std::string>().back(), 'Z');
      ++kinds[events[i]["event"].get<std::string>()];
    }
    EXPECT_EQ(kinds["modem-found"], static_cast<int>(modems.size()));
    EXPECT_EQ(kinds["modem-start"], static_cast<int>(modems.size()));
    EXPECT_EQ(kinds["modem-end"], static_cast<int>(modems.size()));
    const std::string sha = events.front()["image_sha256"];
    EXPECT_EQ(sha.size(), 64u);
    EXPECT_EQ(sha.find_first_not_of("0123456789abcdef"), std::string::npos);

    std::vector<nlohmann::json> records = jsonLines(readFile(recordPath));
    ASSERT_EQ(records.size(), modems.size());
    for (std::size_t m = 0; m < modems.size(); ++m)
      checkModem(m, modems[m], records, expected[m], sha);
    // Human text went to standard error: a summary naming every modem.
    for (const StationModemSpec& modem : modems) {
      EXPECT_NE(run.err.find(rig_->locationOf(modem)), std::string::npos) << run.err;
    }
  }

  void checkModem(std::size_t m, const StationModemSpec& modem,
                  const std::vector<nlohmann::json>& records, const Expected& expected,
                  const std::string& sha) {
    const std::string location = rig_->locationOf(modem);
    const nlohmann::json* record = nullptr;
    for (const nlohmann::json& line : records) {
      if (line["location"] == location) record = &line;
    }
    ASSERT_NE(record, nullptr) << "no record for " << location;
    SCOPED_TRACE(location + ": " + record->dump());
    for (const char* field :
         {"run",        "host",      "tool_version",   "serial", "vid",        "pid",
          "port",       "interface", "version_before", "image",  "image_size", "image_sha256",
          "bytes_sent", "packets",   "started",        "ended",  "seconds",    "kib_per_s",
          "result",     "stage",     "reason",         "log"}) {
      EXPECT_TRUE(record->contains(field)) << field;
    }
    EXPECT_EQ((*record)["serial"], *modem.serial);
    EXPECT_EQ((*record)["image_sha256"], sha);
    EXPECT_EQ((*record)["image_size"], kImageSize);
    EXPECT_EQ((*record)["result"], expected.result);
    EXPECT_EQ((*record)["stage"], expected.stage);
    EXPECT_EQ((*record)["reason"].get<std::string>().rfind(expected.reason, 0), 0u);
    EXPECT_NE((*record)["reason"].get<std::string>().find(expected.mentions), std::string::npos);
    if (expected.result == "PASS") {
      EXPECT_EQ((*record)["bytes_sent"], kImageSize);
      EXPECT_EQ((*record)["packets"], 12);
      EXPECT_EQ((*record)["version_before"], "SIMMODEM_V1.0");
    }
    // The answering port's simulator is the last one tried.
    std::string received;
    ModemSimProcess* sim = rig_->sim(m, modem.ports.size() - 1);
    ASSERT_NE(sim, nullptr);
    EXPECT_EQ(sim->receivedImage(&received) && received == image_, expected.intact);
  }

  // A path as the build's program takes it: under Wine through drive Z:.
  std::string programPath(const std::string& path) const {
    return GetParam() == "windows" ? "Z:" + path : path;
  }

  std::unique_ptr<StationRig> rig_;
  TempDir work_;
  std::string image_;
};

TEST_P(StationFlash, EightModemsOneAnsweringErrorAtItsFifthPacket) {
  std::vector<StationModemSpec> modems;
  std::vector<Expected> expected;
  for (int number = 1; number <= 8; ++number) {
    ModemSimOptions sim;
    if (number == 3) sim.errorAtPacket = 5;
    modems.push_back(modemSpec(number, {sim}));
    expected.push_back(number == 3 ? Expected{"FAIL", "packet 5 of 12", "ERROR answer", false}
                                   : Expected{"PASS", "end", "", true});
  }
  flashAndCheck(modems, expected, 1);
}

TEST_P(StationFlash, VanishingSilentAndCompositeModemsEachEndOnTheirOwn) {
  if (GetParam() == "windows") {
    GTEST_SKIP() << "a vanishing tty under an open Wine port upsets the Wine server";
  }
  ModemSimOptions vanishing;
  vanishing.vanishAtPacket = 3;
  ModemSimOptions silent;
  silent.silentAtCommand = 1;
  const std::vector<StationModemSpec> modems = {
      modemSpec(1, {ModemSimOptions{}}), modemSpec(2, {vanishing}), modemSpec(3, {silent}),
      modemSpec(4, {silent, ModemSimOptions{}}),  // composite: its first port is silent
  };
  flashAndCheck(modems,
                {{"PASS", "end", "", true},
                 {"FAIL", "packet 3 of 12", "vanished (read error", false},
                 {"FAIL", "handshake", "no answer within the budget", false},
                 {"PASS", "end", "", true}},
                1);
}

// With --validate the MES is asked about every unit; the one it refuses
// gets no download command and ends REFUSED with the MES's words.
TEST_P(StationFlash, TheMesRefusesOneOfThreeAndItIsNeverFlashed) {
  const int port = kMesPortBase + (GetParam() == "windows" ? 1 : 0);
  MesStandIn mes(port, {"--refuse", "SN1002", "--message", "on hold at rework", "--code", "7"});
  std::vector<StationModemSpec> modems = {modemSpec(1, {{}}), modemSpec(2, {{}}),
                                          modemSpec(3, {{}})};
  modems[1].ports[0].sim.logCommands = true;
  flashAndCheck(
      modems,
      {{"PASS", "end", "", true},
       {"REFUSED", "validate", "the MES refused the unit: on hold at rework (code 7)", false},
       {"PASS", "end", "", true}},
      1, {}, {"--validate", MesStandIn::url(port)});
  std::vector<std::string> asked = mes.unitsAsked();
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked, (std::vector<std::string>{"SN1001", "SN1002", "SN1003"}));
  for (const std::string& command : rig_->sim(1, 0)->commandLog())
    EXPECT_EQ(command.find("AT%DNL"), std::string::npos) << command;
}

// A port that another program holds (here this test, with the lock another
// copy of the tool would take) fails its modem with the holder named.
TEST_P(StationFlash, PortHeldByAnotherProgramNamesItsHolderInTheReason) {
  if (GetParam() == "windows") GTEST_SKIP() << "Windows names no holder";
  int holder = -1;
  const auto hold = [this, &holder] {
    holder = open(rig_->sim(1, 0)->ptyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  };
  flashAndCheck({modemSpec(1, {ModemSimOptions{}}), modemSpec(2, {ModemSimOptions{}})},
                {{"PASS", "end", "", true},
                 {"FAIL", "connect", "port open failed", false,
                  "held open by e2e_tests (pid " + std::to_string(getpid()) + ")"}},
                1, hold);
  close(holder);
}

// The lines of the live table's last drawing, before the summary that
// follows it; empty when it was never drawn.
std::vector<std::string> lastTableDrawing(const std::string& out, int& drawings,
                                          const std::string& header = "LOCATION") {
  const std::string drawStart = "\x1b[2K" + header;
  drawings = 0;
  for (std::size_t at = out.find(drawStart); at != std::string::npos;
       at = out.find(drawStart, at + 1))
    ++drawings;
  const std::size_t last = out.rfind(drawStart);
  if (last == std::string::npos) return {};
  const std::size_t summary = out.find("LOCATION", last + drawStart.size());
  std::istringstream drawing(out.substr(last, summary - last));
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(drawing, line)) {
    if (line.rfind("\x1b[2K", 0) != 0) continue;  // the blank line before the summary
    line = line.substr(4);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

TEST_P(StationFlash, LiveTableInATerminalEndsWithEveryModemsState) {
  if (GetParam() == "windows") GTEST_SKIP() << "the terminal run is Linux's";
  ModemSimOptions failing;
  failing.errorAtPacket = 2;
  std::string error;
  const std::vector<StationModemSpec> modems = {modemSpec(1, {ModemSimOptions{}}),
                                                modemSpec(2, {failing})};
  ASSERT_TRUE(rig_->plug(modems, &error)) << error;
  // 60 packets a modem, each its own progress event: a table drawn per
  // event would be drawn far more than ten times a second.
  const std::string imagePath = work_.writeFile("image.bin", patternBytes(30000));
  const auto started = std::chrono::steady_clock::now();
  RunResult run = rig_->runInTerminal({"flash", imagePath, "--color", "never"}, kRunLimitMs);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_TRUE(run.exitedWith(1)) << run.describe();
  int drawings = 0;
  const std::vector<std::string> table = lastTableDrawing(run.out, drawings);
  ASSERT_EQ(table.size(), 4u) << "header, a row per modem, totals:\n" << run.out;
  EXPECT_LE(drawings, 10 * seconds + 2) << seconds << " s";
  EXPECT_EQ(table[1].rfind("3-1 ", 0), 0u) << table[1];
  EXPECT_NE(table[1].find(" PASS "), std::string::npos) << table[1];
  EXPECT_NE(table[1].find(" 100%"), std::string::npos) << table[1];
  EXPECT_EQ(table[2].rfind("3-2 ", 0), 0u) << table[2];
  EXPECT_NE(table[2].find(" FAIL "), std::string::npos) << table[2];
  EXPECT_EQ(table[3].rfind("2 modems: 1 passed, 1 failed, 0 aborted, 0 running", 0), 0u)
      << table[3];
}

// Plain lines in colour when asked for (a pipe takes them with --color
// always, on both builds), and none with NO_COLOR set.
TEST_P(StationFlash, ColourOnlyWhenAskedAndNeverWithNoColor) {
  ModemSimOptions failing;
  failing.errorAtPacket = 2;
  std::string error;
  ASSERT_TRUE(rig_->plug({modemSpec(1, {ModemSimOptions{}}), modemSpec(2, {failing})}, &error))
      << error;
  const std::vector<std::string> arguments = {
      "flash",      programPath(work_.writeFile("image.bin", patternBytes(kImageSize))),
      "--progress", "plain",
      "--color",    "always"};
  RunResult coloured = rig_->run(arguments, kRunLimitMs);
  ASSERT_TRUE(coloured.exitedWith(1)) << coloured.describe();
  EXPECT_NE(coloured.out.find("\x1b[32m" + rig_->locationOf(modemSpec(1, {})) + " "),
            std::string::npos)
      << coloured.out;
  EXPECT_NE(coloured.out.find("\x1b[1;31m" + rig_->locationOf(modemSpec(2, {})) + " "),
            std::string::npos)
      << coloured.out;
  setenv("NO_COLOR", "1", 1);
  RunResult plain = rig_->run(arguments, kRunLimitMs);
  unsetenv("NO_COLOR");
  ASSERT_TRUE(plain.status.exited) << plain.describe();  // the simulators remember the first run
  EXPECT_NE(plain.out.find("PASS"), std::string::npos) << plain.out;
  EXPECT_EQ(plain.out.find('\x1b'), std::string::npos) << plain.out;
}

// On a narrow terminal each line of the table is cut to fit, never
// wrapped, so each redraw goes up exactly the rows it drew.
TEST_P(StationFlash, LiveTableOnANarrowTerminalFitsItsWidth) {
  if (GetParam() == "windows") GTEST_SKIP() << "the terminal run is Linux's";
  std::string error;
  ASSERT_TRUE(rig_->plug({modemSpec(1, {ModemSimOptions{}})}, &error)) << error;
  const std::string imagePath = work_.writeFile("image.bin", patternBytes(30000));
  RunResult run = rig_->runInTerminal({"flash", imagePath, "--color", "never"}, kRunLimitMs, {40});
  ASSERT_TRUE(run.exitedWith(0)) << run.describe();
  int drawings = 0;
  // Even the header is cut to fit.
  const std::vector<std::string> table = lastTableDrawing(run.out, drawings, "LOC~");
  ASSERT_EQ(table.size(), 3u) << run.out;
  for (const std::string& line : table) EXPECT_LE(line.size(), 39u) << line;
  EXPECT_EQ(table[1].rfind("3-1 ", 0), 0u) << table[1];
  EXPECT_NE(run.out.find("\x1b[3F"), std::string::npos) << run.out;
}

// With watch's and teach's own bad input: each is refused at once.
TEST_P(StationFlash, BadImageOrNoModemIsABadInvocation) {
  std::string error;
  ASSERT_TRUE(rig_->plug({}, &error)) << error;
  const std::string imagePath = work_.writeFile("image.bin", patternBytes(100));
  const std::string image = programPath(imagePath);
  const std::string huge = work_.writeFile("huge.bin", "");
  ASSERT_EQ(truncate(huge.c_str(), 0x100000000ll), 0);  // sparse: 4 GiB of nothing
  const std::string twice = programPath(work_.writeFile(
      "twice.json", R"([{"label":"A1","location":"1-1"},{"label":"A1","location":"1-2"}])"));
  const std::string taught = programPath(work_.path() + "/taught.json");
  std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
      {{"flash", programPath(work_.path() + "/missing.bin")}, "cannot be used"},
      {{"flash", programPath(work_.path())}, "cannot be used"},
      {{"flash", image}, "no modem found"},
      {{"flash", image, "--id", "12:34"}, "--id"},
      {{"flash", programPath(work_.writeFile("empty.bin", ""))}, "cannot be used: it is empty"},
      {{"flash", programPath(huge)}, "cannot be used: it is 4 GiB or larger"},
      {{"watch", image, "--settle", "nan"}, "not a finite number"},
      {{"watch", image, "--verify-timeout", "nan"}, "not a finite number"},
      {{"watch", image, "--slots", programPath(work_.path())}, "cannot be read"},
      {{"watch", image, "--slots", twice}, "label A1 is in two slots"},
      {{"teach", "--slots", programPath(work_.path() + "/nodir/x.json"), "A1", "A2"},
       "cannot be written"},
      {{"teach", "--slots", taught, "A1", "A2", "A1"}, "label A1 is given twice"},
  };
  const std::string fifo = work_.path() + "/records.fifo";
  if (GetParam() == "linux" && mkfifo(fifo.c_str(), 0644) == 0) {
    // No reader: opening it would wait.
    runs.push_back({{"flash", imagePath, "--record", fifo},
                    "record file " + fifo + " cannot be opened: not a regular file"});
  }
  for (const auto& [arguments, complaint] : runs) {
    RunResult run = rig_->run(arguments, 30000);
    EXPECT_TRUE(run.exitedWith(2)) << run.describe();
    EXPECT_NE(run.err.find(complaint), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("plug a modem"), std::string::npos) << run.out;
  }
  EXPECT_NE(access((work_.path() + "/taught.json").c_str(), F_OK), 0) << "no file left";
}

TEST_P(StationFlash, PortsNamingOneModemTwiceAreABadInvocation) {
  std::string error;
  const StationModemSpec composite = modemSpec(1, {ModemSimOptions{}, ModemSimOptions{}});
  ASSERT_TRUE(rig_->plug({composite}, &error)) << error;
  const std::string imagePath = programPath(work_.writeFile("image.bin", patternBytes(100)));
  const std::string location = rig_->locationOf(composite);
  const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
      {{"--port", "14", "--port", "15"},
       "--port 15 and --port 14 name the same modem (" + location + ")"},
      {{"--port", "15", "--port", "15"}, "--port 15 is given twice"},
  };
  for (const auto& [ports, complaint] : runs) {
    std::vector<std::string> arguments = {"flash", imagePath};
    arguments.insert(arguments.end(), ports.begin(), ports.end());
    RunResult run = rig_->run(arguments, 30000);
    EXPECT_TRUE(run.exitedWith(2)) << run.describe();
    EXPECT_NE(run.err.find(complaint), std::string::npos) << run.err;
  }
  for (std::size_t port = 0; port < 2; ++port) {
    std::string received;
    EXPECT_FALSE(rig_->sim(0, port)->receivedImage(&received));
  }
}

// The record file on a full disk: each record is whole or not there at
// all, each lost one is named, the run fails; a torn line an earlier run
// left stays a line of its own.
TEST_P(StationFlash, RecordFileOnAFullDiskKeepsWholeLinesAndNamesTheLostOnes) {
  FullDisk disk(work_.path() + "/disk");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs takes root";
  std::vector<StationModemSpec> modems;
  // Records of some 650 bytes: the page left holds six of them.
  for (int number = 1; number <= 8; ++number) modems.push_back(modemSpec(number, {{}}));
  std::string error;
  ASSERT_TRUE(rig_->plug(modems, &error)) << error;
  const std::string torn = R"({"run":"cut short)";
  disk.fillAfter("records.jsonl", torn);
  const std::string records = work_.path() + "/disk/records.jsonl";
  RunResult run = rig_->run({"flash", programPath(work_.writeFile("image.bin", patternBytes(100))),
                             "--json", "--record", programPath(records), "--progress", "none"},
                            kRunLimitMs);
  ASSERT_TRUE(run.exitedWith(1)) << run.describe();
  const std::string text = readFile(records);
  ASSERT_EQ(text.rfind(torn + "\n", 0), 0u) << text;
  EXPECT_EQ(text.back(), '\n') << text;
  std::size_t told = jsonLines(text.substr(torn.size() + 1)).size();  // each line parses
  for (const nlohmann::json& event : jsonLines(run.out)) {
    if (event["event"] != "modem-end" || event.value("record_written", true)) continue;
    ++told;
    const std::string named = "the record of " + event["location"].get<std::string>() +
                              " (serial " + event["record"]["serial"].get<std::string>() + ")";
    EXPECT_NE(run.err.find(named), std::string::npos) << named << "\n" << run.err;
  }
  EXPECT_EQ(told, modems.size());
  EXPECT_EQ(jsonLines(run.out).back()["record_written"], false);
}

INSTANTIATE_TEST_SUITE_P(Builds, StationFlash, ::testing::Values("linux", "windows"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace tarnwick::testing
