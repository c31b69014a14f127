// tarnwick-station watch end to end on both builds: modems plugged in at
// different times, pulled, re-plugged (at the same or another location) or
// never, two with one serial (present together, or one after the other and
// known apart by their IMEIs), one that comes back on the wrong version, one
// that answers only after seconds, one already on the wanted version. Every
// cycle's record, the events, and the exit status after Ctrl-C.
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "e2e/station_e2e.h"
#include "support/temp_dir.h"

namespace tarnwick::testing {
namespace {

constexpr std::size_t kImageSize = 6000;
constexpr int kSessionLimitMs = 150000;
const char kOldVersion[] = "SIMMODEM_V1.0";
const char kNewVersion[] = "SIMMODEM_V2.0";
const char kFirstImei[] = "356938035643809";
const char kSecondImei[] = "356938035643817";

struct CycleExpected {
  std::string location;
  int attempt;  // 0: either (two modems share a serial: 1 and 2 in list order)
  std::string result;
  std::string verified;  // empty: null
  bool duplicate;
  std::string imei = {};  // empty: null
};

class StationWatch : public ::testing::TestWithParam<std::string> {
 protected:
  using Json = nlohmann::json;

  void SetUp() override {
    rig_ = GetParam() == "windows" ? makeWineStationRig() : makeLinuxStationRig();
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSessionLimitMs);
  }

  bool windows() const { return GetParam() == "windows"; }

  std::string programPath(const std::string& path) const { return windows() ? "Z:" + path : path; }

  // A modem that answers its new version once it has taken the image.
  static StationModemSpec modem(int number, ModemSimOptions sim = {}) {
    sim.versionAfterDownload = kNewVersion;
    return modemSpec(number, {sim});
  }

  std::string where(const StationModemSpec& modem) const { return rig_->locationOf(modem); }

  void startWatch(const std::string& records = "records.jsonl",
                  const std::vector<std::string>& extraArguments = {}) {
    image_ = patternBytes(kImageSize, 7);
    const std::string imagePath = work_.writeFile("image.bin", image_);
    recordPath_ = work_.path() + "/" + records;
    events_.clear();
    used_.clear();
    const std::string slotsPath = work_.writeFile("slots.json", slotsText_);
    std::string error;
    std::vector<std::string> arguments = {"watch",
                                          programPath(imagePath),
                                          "--json",
                                          "--record",
                                          programPath(recordPath_),
                                          "--expect-version",
                                          kNewVersion,
                                          "--settle",
                                          "15",
                                          "--verify-timeout",
                                          "100",
                                          "--slots",
                                          programPath(slotsPath)};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    ASSERT_TRUE(rig_->start(arguments, work_.path() + "/watch.err", watch_, &error)) << error;
  }

  // Reads events until one is `name` for `location`, within the session's
  // time limit.
  const Json* waitFor(const std::string& name, const std::string& location) {
    for (const Json& event : events_) {
      if (matches(event, name, location) && used_.insert(&event - &events_[0]).second) {
        return &event;
      }
    }
    std::string line;
    while (std::chrono::steady_clock::now() < deadline_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline_ - std::chrono::steady_clock::now());
      if (!watch_.readStdoutLine(static_cast<int>(left.count()), &line)) break;
      events_.push_back(Json::parse(line, nullptr, false));
      EXPECT_FALSE(events_.back().is_discarded()) << line;
      if (matches(events_.back(), name, location)) {
        used_.insert(events_.size() - 1);
        return &events_.back();
      }
    }
    ADD_FAILURE() << "no " << name << " for " << location << "; stderr:\n"
                  << readFile(work_.path() + "/watch.err");
    return nullptr;
  }

  static bool matches(const Json& event, const std::string& name, const std::string& location) {
    return event.is_object() && event.value("event", "") == name &&
           event.value("location", "") == location;
  }

  void pull(std::size_t index, const StationModemSpec& modem) {
    std::string error;
    ASSERT_TRUE(rig_->unplug(index, &error)) << error;
    const Json* gone = waitFor("modem-gone", where(modem));
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ((*gone)["serial"], modem.serial);
  }

  void plugBack(std::size_t index, const StationModemSpec& as, bool freshSims = false) {
    std::string error;
    ASSERT_TRUE(rig_->replug(index, as, freshSims, &error)) << error;
  }

  // Ctrl-C, then the rest of the events; the exit status.
  int stopWatch() {
    kill(watch_.pid(), SIGINT);
    std::string line;
    while (watch_.readStdoutLine(30000, &line))
      events_.push_back(Json::parse(line, nullptr, false));
    EXPECT_TRUE(watch_.waitForExit(30000));
    const ExitStatus status = watch_.stop();
    return status.exited ? status.exitCode : -1;
  }

  void checkEvents() {
    ASSERT_FALSE(events_.empty());
    EXPECT_EQ(events_.front()["event"], "run-start");
    EXPECT_EQ(events_.back()["event"], "run-end");
    for (std::size_t i = 0; i < events_.size(); ++i) EXPECT_EQ(events_[i]["seq"], i + 1);
  }

  // Against each cycle's last record (a flash that passed has a second one
  // once its check ends).
  void checkRecords(const std::vector<CycleExpected>& expected) {
    std::map<int, Json> lastOfCycle;
    for (const Json& record : jsonLines(readFile(recordPath_)))
      lastOfCycle[record["cycle"]] = record;
    std::vector<Json> records;
    for (const auto& [cycle, record] : lastOfCycle) records.push_back(record);
    ASSERT_EQ(records.size(), expected.size()) << readFile(recordPath_);
    for (const CycleExpected& cycle : expected) {
      SCOPED_TRACE(cycle.location + " attempt " + std::to_string(cycle.attempt));
      const Json* found = nullptr;
      for (const Json& record : records) {
        const bool attempt = cycle.attempt == 0 || record["attempt"] == cycle.attempt;
        if (record["location"] == cycle.location && attempt) {
          found = &record;
        }
      }
      ASSERT_NE(found, nullptr);
      EXPECT_EQ((*found)["result"], cycle.result) << found->dump();
      EXPECT_EQ((*found)["verified"], cycle.verified.empty() ? Json() : Json(cycle.verified))
          << found->dump();
      EXPECT_EQ((*found)["duplicate"], cycle.duplicate);
      EXPECT_EQ((*found)["imei"], cycle.imei.empty() ? Json() : Json(cycle.imei));
      EXPECT_EQ((*found)["slot"], slotOf(cycle.location));
      if (cycle.verified == "VERIFIED") {
        EXPECT_EQ((*found)["version_after"], kNewVersion);
      }
      if (cycle.verified.empty() || cycle.verified == "UNVERIFIED") {
        EXPECT_EQ((*found)["version_after"], Json());
      }
    }
  }

  // The first two modems sit in labelled slots, the others in none.
  void useSlots(const StationModemSpec& first, const StationModemSpec& second) {
    slots_ = {{"A1", where(first)}, {"A2", where(second)}};
    Json list = Json::array();
    for (const auto& [label, location] : slots_)
      list.push_back({{"label", label}, {"location", location}});
    slotsText_ = list.dump();
  }

  Json slotOf(const std::string& location) const {
    for (const auto& [label, at] : slots_) {
      if (at == location) return label;
    }
    return Json();
  }

  std::unique_ptr<StationRig> rig_;
  TempDir work_;
  std::string image_;
  std::string recordPath_;
  std::vector<std::pair<std::string, std::string>> slots_;
  std::string slotsText_ = "[]";
  StartedProcess watch_;
  std::vector<Json> events_;
  std::set<std::size_t> used_;
  std::chrono::steady_clock::time_point deadline_;
};

TEST_P(StationWatch, ModemsComingAndGoingEndWithOneRecordPerCycle) {
  ModemSimOptions pulledMidDownload;
  if (!windows()) pulledMidDownload.vanishAtPacket = 3;  // a vanishing tty upsets Wine's server
  ModemSimOptions wrongVersion;
  wrongVersion.versionAfterDownload = "SIMMODEM_V9.9";
  ModemSimOptions slowToBoot;
  slowToBoot.deafForMs = 3000;
  ModemSimOptions alreadyNew;
  alreadyNew.versionText = kNewVersion;
  StationModemSpec replugged = modem(1);
  StationModemSpec pulled = modem(2, pulledMidDownload);
  StationModemSpec neverBack = modem(4);
  StationModemSpec twinA = modem(5);
  StationModemSpec twinB = modem(6);
  // Windows names a USB device's instance by its serial and gives the
  // second of two with one serial an id of its own: only Linux lists twins.
  const bool twins = !windows();
  if (twins) twinA.serial = twinB.serial = "SNTWIN";
  StationModemSpec mismatch = modemSpec(7, {wrongVersion});
  StationModemSpec slow = modem(8, slowToBoot);
  StationModemSpec skipped = modem(9, alreadyNew);
  std::string error;
  ASSERT_TRUE(
      rig_->plug({replugged, pulled, neverBack, twinA, twinB, mismatch, slow, skipped}, &error))
      << error;
  useSlots(replugged, pulled);
  startWatch();

  // Re-plugged where it was: verified.
  ASSERT_NE(waitFor("modem-end", where(replugged)), nullptr);
  pull(0, replugged);
  plugBack(0, replugged);
  const Json* verify = waitFor("verify", where(replugged));
  ASSERT_NE(verify, nullptr);
  EXPECT_EQ((*verify)["verified"], "VERIFIED");

  // Plugged in later, then re-plugged at another location: still its cycle.
  StationModemSpec late = modem(3);
  ASSERT_TRUE(rig_->plug({late}, &error)) << error;
  ASSERT_NE(waitFor("modem-end", where(late)), nullptr);
  pull(8, late);
  StationModemSpec moved = late;
  moved.busPort = "3-10";
  moved.windowsLocation = "Port_#0010.Hub_#0002";
  plugBack(8, moved);
  ASSERT_NE(waitFor("verify", where(late)), nullptr);

  // One serial on two units, known apart by their IMEIs: the other unit,
  // plugged in elsewhere while the first waits, is flashed as its own; the
  // first still comes back VERIFIED.
  ModemSimOptions firstUnit;
  firstUnit.extraArguments = {"--imei", kFirstImei};
  StationModemSpec unitX = modem(11, firstUnit);
  ModemSimOptions secondUnit;
  secondUnit.extraArguments = {"--imei", kSecondImei};
  StationModemSpec unitY = modem(12, secondUnit);
  unitX.serial = unitY.serial = "SNFIXED";
  unitX.windowsLocation = "Port_#0011.Hub_#0001";
  unitY.windowsLocation = "Port_#0012.Hub_#0001";
  ASSERT_TRUE(rig_->plug({unitX}, &error)) << error;
  ASSERT_NE(waitFor("modem-end", where(unitX)), nullptr);
  pull(9, unitX);
  ASSERT_TRUE(rig_->plug({unitY}, &error)) << error;
  ASSERT_NE(waitFor("modem-end", where(unitY)), nullptr);
  pull(10, unitY);
  plugBack(9, unitX);
  ASSERT_NE(waitFor("verify", where(unitX)), nullptr);

  // Pulled while it still boots (Linux): the departure names its serial.
  ModemSimOptions bootsForever;
  bootsForever.deafForMs = 60000;
  StationModemSpec booting = modem(13, bootsForever);
  booting.windowsLocation = "Port_#0013.Hub_#0001";
  if (!windows()) {
    ASSERT_TRUE(rig_->plug({booting}, &error)) << error;
    ASSERT_NE(waitFor("modem-start", where(booting)), nullptr);
    pull(11, booting);
  }

  // Pulled mid-download (Linux): FAIL, then a new attempt when plugged in.
  const Json* first = waitFor("modem-end", where(pulled));
  ASSERT_NE(first, nullptr);
  if (!windows()) {
    EXPECT_EQ((*first)["record"]["result"], "FAIL");
    pull(1, pulled);
    StationModemSpec healthy = modem(2);
    plugBack(1, healthy, true);
    ASSERT_NE(waitFor("modem-end", where(pulled)), nullptr);
    pull(1, pulled);
    plugBack(1, healthy);
    ASSERT_NE(waitFor("verify", where(pulled)), nullptr);
  }

  // Back on another version than the one expected.
  ASSERT_NE(waitFor("modem-end", where(mismatch)), nullptr);
  pull(5, mismatch);
  plugBack(5, mismatch);
  ASSERT_NE(waitFor("verify", where(mismatch)), nullptr);

  for (const StationModemSpec* rest : {&neverBack, &twinA, &twinB, &slow, &skipped}) {
    ASSERT_NE(waitFor("modem-end", where(*rest)), nullptr);
  }
  if (!windows()) {
    ASSERT_NE(waitFor("modem-end", where(booting)), nullptr);
  }
  EXPECT_EQ(stopWatch(), 1);  // a FAIL (Linux) and a MISMATCH
  // Its plain lines went to a pipe: no colour.
  EXPECT_EQ(readFile(work_.path() + "/watch.err").find('\x1b'), std::string::npos);
  checkEvents();

  std::vector<CycleExpected> expected{
      {where(replugged), 1, "PASS", "VERIFIED", false},
      {where(late), 1, "PASS", "VERIFIED", false},
      {where(mismatch), 1, "PASS", "MISMATCH", false},
      {where(neverBack), 1, "PASS", "UNVERIFIED", false},
      {where(twinA), 0, "PASS", "UNVERIFIED", twins},
      {where(twinB), 0, "PASS", "UNVERIFIED", twins},
      {where(slow), 1, "PASS", "UNVERIFIED", false},
      {where(skipped), 1, "SKIPPED", "", false},
      {where(unitX), 1, "PASS", "VERIFIED", false, kFirstImei},
      {where(unitY), 1, "PASS", "UNVERIFIED", false, kSecondImei},
  };
  if (!windows()) expected.push_back({where(booting), 1, "FAIL", "", false});
  if (windows()) {
    expected.push_back({where(pulled), 1, "PASS", "UNVERIFIED", false});
  } else {
    expected.push_back({where(pulled), 1, "FAIL", "", false});
    expected.push_back({where(pulled), 2, "PASS", "VERIFIED", false});
  }
  checkRecords(expected);
  for (int m : {0, 3}) {
    std::string received;
    ASSERT_NE(rig_->sim(m, 0), nullptr);
    EXPECT_TRUE(rig_->sim(m, 0)->receivedImage(&received) && received == image_) << m;
  }
}

// The MES is down when a unit arrives: the unit waits, untouched, while the
// station answers the MES's requests (a garbage one is rejected and hurts
// nothing) and says MES_UNREACHABLE; once the MES is back the unit is flashed.
TEST_P(StationWatch, AUnitWaitsForTheMesAndIsFlashedOnceItAnswers) {
  const int mesPort = kMesPortBase + (windows() ? 12 : 10);
  const int listenPort = mesPort + 1;
  StationModemSpec unit = modem(1);
  unit.ports[0].sim.logCommands = true;
  std::string error;
  ASSERT_TRUE(rig_->plug({unit}, &error)) << error;
  startWatch("records.jsonl",
             {"--validate", MesStandIn::url(mesPort), "--validate-timeout", "2", "--cfx-listen",
              "amqp://127.0.0.1:" + std::to_string(listenPort), "--cfx-handle", "Line1.S7"});
  const Json* waiting = waitFor("mes-wait", where(unit));
  ASSERT_NE(waiting, nullptr);
  EXPECT_NE((*waiting)["reason"].get<std::string>().find("the MES did not answer"),
            std::string::npos);

  const Json there = askStation(listenPort, "Line1.S7", "CFX.AreYouThereRequest");
  EXPECT_EQ(there["MessageName"], "CFX.AreYouThereResponse") << there.dump();
  EXPECT_EQ(there["Source"], "Line1.S7");
  EXPECT_EQ(there["Target"], "Tests.MES");
  EXPECT_EQ(there["MessageBody"]["Result"]["Result"], "Success");
  EXPECT_EQ(askStation(listenPort, "Line1.S7", "x", true),
            Json({{"rejected", "amqp:decode-error"}}));
  const Json info = askStation(listenPort, "Line1.S7", "CFX.GetEndpointInformationRequest");
  const Json& endpoint = info["MessageBody"]["EndpointInformation"];
  EXPECT_EQ(endpoint["CFXHandle"], "Line1.S7") << info.dump();
  EXPECT_EQ(endpoint["Vendor"], "Tarnwick");
  EXPECT_EQ(endpoint["OperatingSystem"], windows() ? "Windows" : "Linux");
  EXPECT_EQ(endpoint["UniqueIdentifier"].get<std::string>().size(), 36u);
  const Json faults =
      askStation(listenPort, "Line1.S7", "CFX.ResourcePerformance.GetActiveFaultsRequest");
  EXPECT_EQ(faults["MessageBody"]["ActiveFaults"][0]["FaultCode"], "MES_UNREACHABLE")
      << faults.dump();
  for (const std::string& command : rig_->sim(0, 0)->commandLog())
    EXPECT_EQ(command.find("AT%DNL"), std::string::npos) << command;

  MesStandIn mes(mesPort, {});
  const Json* end = waitFor("modem-end", where(unit));
  ASSERT_NE(end, nullptr);
  EXPECT_EQ((*end)["record"]["result"], "PASS") << end->dump();
  EXPECT_EQ(mes.unitsAsked(), std::vector<std::string>{"SN1001"});
  EXPECT_EQ(stopWatch(), 0);
  EXPECT_NE(readFile(work_.path() + "/watch.err").find("MES_UNREACHABLE"), std::string::npos);
  // While the unit waited for the MES and none was worked on: SBY_NoHost,
  // and the MES_UNREACHABLE fault, cleared once the MES answered.
  std::vector<int> states;
  std::vector<std::string> faultEvents;
  for (const Json& event : events_) {
    if (event.value("event", "") == "state") states.push_back(event["state"]);
    if (event.value("code", "") == "MES_UNREACHABLE") faultEvents.push_back(event["event"]);
  }
  EXPECT_NE(std::find(states.begin(), states.end(), 2500), states.end());
  EXPECT_EQ(faultEvents, (std::vector<std::string>{"fault", "fault-cleared"}));
}

// Ctrl-C: a modem waiting for its re-plug ends UNVERIFIED, which alone
// does not fail the run; a download under way ends ABORTED, which does.
TEST_P(StationWatch, CtrlCEndsWaitingCyclesUnverifiedAndDownloadsAborted) {
  ModemSimOptions slowReplies;
  slowReplies.replyDelayMs = 400;
  StationModemSpec waiting = modem(1);
  StationModemSpec slow = modem(2, slowReplies);
  std::string error;
  ASSERT_TRUE(rig_->plug({waiting}, &error)) << error;
  startWatch("waiting.jsonl");
  ASSERT_NE(waitFor("modem-end", where(waiting)), nullptr);
  // The flash's record is on disk before the re-plug. Renamed away (Linux),
  // the file is made again for the cycle's last record.
  const std::vector<Json> early = jsonLines(readFile(recordPath_));
  ASSERT_EQ(early.size(), 1u);
  EXPECT_EQ(early[0]["verified"], Json());
  if (!windows()) {
    ASSERT_EQ(std::rename(recordPath_.c_str(), (recordPath_ + ".old").c_str()), 0);
  }
  EXPECT_EQ(stopWatch(), 0);
  checkRecords({{where(waiting), 1, "PASS", "UNVERIFIED", false}});
  if (!windows()) {
    EXPECT_NE(readFile(work_.path() + "/watch.err").find("it is created again"), std::string::npos);
  }

  ASSERT_TRUE(rig_->plug({slow}, &error)) << error;
  startWatch("aborted.jsonl");
  ASSERT_NE(waitFor("progress", where(slow)), nullptr);
  EXPECT_EQ(stopWatch(), 1);
  checkRecords({{where(waiting), 1, "SKIPPED", "", false}, {where(slow), 1, "ABORTED", "", false}});
  for (const Json& record : jsonLines(readFile(recordPath_))) {
    if (record["result"] != "ABORTED") continue;
    EXPECT_NE(record["reason"].get<std::string>().find("left in download mode"), std::string::npos)
        << record.dump();
  }
}

// A full disk: the first lost record is said at once, long before Ctrl-C.
TEST_P(StationWatch, ALostRecordIsSaidAtOnce) {
  FullDisk disk(work_.path() + "/disk");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs takes root";
  disk.fillAfter("records.jsonl", "");
  const StationModemSpec unit = modem(1);
  std::string error;
  ASSERT_TRUE(rig_->plug({unit}, &error)) << error;
  startWatch("disk/records.jsonl");
  const Json* end = waitFor("modem-end", where(unit));
  ASSERT_NE(end, nullptr);
  EXPECT_EQ((*end)["record_written"], false);
  EXPECT_NE(readFile(work_.path() + "/watch.err").find("the record of " + where(unit)),
            std::string::npos);
  EXPECT_EQ(stopWatch(), 1);
  EXPECT_EQ(events_.back()["record_written"], false);
  // A station fault too, until a record is written whole.
  std::size_t faults = 0;
  for (const Json& event : events_) {
    faults += event.value("event", "") == "fault" && event["code"] == "RECORD_WRITE" &&
                      event["severity"] == "Error"
                  ? 1
                  : 0;
  }
  EXPECT_EQ(faults, 1u);
}

// teach: a modem plugged into each labelled slot in turn gives the file.
// The line of the last live drawing that starts with `start` (after the
// line clear), or empty.
std::string lastDrawnLine(const std::string& out, const std::string& start) {
  const std::size_t at = out.rfind("\x1b[2K" + start);
  return at == std::string::npos ? "" : out.substr(at, out.find('\n', at) - at);
}

// A drawn line as the screen shows it: from its line clear on, without
// escape sequences and the terminal's carriage return.
std::string shownPart(const std::string& line) {
  const std::size_t start = line.rfind("\x1b[2K");
  std::string shown;
  for (std::size_t at = start == std::string::npos ? 0 : start; at < line.size(); ++at) {
    if (line[at] != '\x1b') {
      if (line[at] != '\r') shown += line[at];
      continue;
    }
    while (at + 1 < line.size() && !std::isalpha(static_cast<unsigned char>(line[at + 1]))) ++at;
    ++at;
  }
  return shown;
}

// On a terminal a PASS waiting for its re-plug and a FAIL with its reason
// carry their colours; NO_COLOR turns colour off. The terminal reports no
// width here (`script` under a parent without one): the table is fitted to
// 80 columns.
TEST_P(StationWatch, TerminalTableColoursStatesAndShowsTheFailsReason) {
  if (windows()) GTEST_SKIP() << "the terminal run is Linux's";
  ModemSimOptions failing;
  failing.errorAtPacket = 2;
  std::string error;
  ASSERT_TRUE(rig_->plug({modem(1), modem(2, failing)}, &error)) << error;
  const std::string imagePath = work_.writeFile("image.bin", patternBytes(kImageSize, 7));
  const std::vector<std::string> arguments = {"watch", imagePath, "--expect-version", kNewVersion};
  RunResult coloured = rig_->runInTerminal(arguments, 60000, {0, 6, false});
  ASSERT_TRUE(coloured.exitedWith(1)) << coloured.describe();
  const std::string pass = lastDrawnLine(coloured.out, "\x1b[7;32m");
  EXPECT_NE(pass.find("PASS, re-plug now"), std::string::npos) << coloured.out;
  const std::string fail = lastDrawnLine(coloured.out, "\x1b[1;31m");
  EXPECT_NE(fail.find("FAIL"), std::string::npos) << coloured.out;
  EXPECT_NE(fail.find("ERROR answer"), std::string::npos) << fail;
  std::istringstream lines(coloured.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\x1b[2K") == std::string::npos) continue;
    EXPECT_LE(shownPart(line).size(), 79u) << line;
  }

  // The same modems again, now one on the new version (SKIPPED), uncoloured.
  RunResult plain = rig_->runInTerminal(arguments, 60000, {0, 6, true});
  ASSERT_TRUE(plain.status.exited) << plain.describe();
  EXPECT_NE(plain.out.find("SKIPPED"), std::string::npos) << plain.out;
  EXPECT_EQ(plain.out.find("\x1b[0m"), std::string::npos) << plain.out;
}

TEST_P(StationWatch, TeachWritesEachSlotsLocationInTurn) {
  const std::string slotsPath = work_.path() + "/taught.json";
  std::string error;
  ASSERT_TRUE(rig_->start({"teach", "--slots", programPath(slotsPath), "left", "right"},
                          work_.path() + "/teach.err", watch_, &error))
      << error;
  const std::vector<StationModemSpec> modems{modem(2), modem(5)};
  std::string line;
  for (const char* label : {"left", "right"}) {
    const StationModemSpec& next = modems[label[0] == 'l' ? 0 : 1];
    ASSERT_TRUE(watch_.readStdoutLine(60000, &line));
    EXPECT_EQ(line, std::string("plug a modem into slot ") + label);
    ASSERT_TRUE(rig_->plug({next}, &error)) << error;
    ASSERT_TRUE(watch_.readStdoutLine(60000, &line));
    EXPECT_EQ(line, std::string("slot ") + label + ": " + where(next));
  }
  ASSERT_TRUE(watch_.waitForExit(30000));
  EXPECT_EQ(watch_.exitStatus().exitCode, 0);
  const Json taught = Json::parse(readFile(slotsPath), nullptr, false);
  EXPECT_EQ(taught,
            Json::parse(R"([{"label":"left","location":")" + where(modems[0]) +
                        R"("},{"label":"right","location":")" + where(modems[1]) + R"("}])"));
}

INSTANTIATE_TEST_SUITE_P(Builds, StationWatch, ::testing::Values("linux", "windows"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace tarnwick::testing
