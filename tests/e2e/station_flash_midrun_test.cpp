// tarnwick-station flash interrupted while it downloads: Ctrl-C or SIGTERM
// (under Wine the console's Ctrl-C event) ends every modem ABORTED, and an
// image written to mid-run fails the modems that were sending it.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <set>

#include "e2e/station_e2e.h"
#include "support/temp_dir.h"
#include "support/wine_rig.h"

namespace tarnwick::testing {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kImageSize = 12000;  // 24 packets of 512 bytes
constexpr int kModems = 3;
constexpr int kReplyDelayMs = 250;  // about 6 s a download: time to act mid-way
constexpr int kEventWaitMs = 60000;
constexpr int kExitWaitMs = 30000;

struct MidRunCase {
  const char* name;
  std::string build;
  int signal;  // 0: the image is written to instead (or, with `secondProgram`, left alone)
  bool secondProgram = false;  // a second station probes the modems' ports meanwhile
};

class StationFlashMidRun : public ::testing::TestWithParam<MidRunCase> {
 protected:
  void SetUp() override {
    windows_ = GetParam().build == "windows";
    rig_ = windows_ ? makeWineStationRig() : makeLinuxStationRig();
  }

  std::string programPath(const std::string& path) const { return windows_ ? "Z:" + path : path; }

  void startFlash() {
    std::vector<StationModemSpec> modems;
    for (int number = 1; number <= kModems; ++number) {
      ModemSimOptions slow;
      slow.replyDelayMs = kReplyDelayMs;
      modems.push_back(modemSpec(number, {slow}));
    }
    std::string error;
    ASSERT_TRUE(rig_->plug(modems, &error)) << error;
    imagePath_ = work_.writeFile("image.bin", patternBytes(kImageSize, 5));
    recordPath_ = work_.path() + "/records.jsonl";
    errPath_ = work_.path() + "/flash.err";
    ASSERT_TRUE(rig_->start({"flash", programPath(imagePath_), "--json", "--record",
                             programPath(recordPath_), "--progress", "plain"},
                            errPath_, flash_, &error))
        << error;
  }

  // Reads events until every modem has told progress (so each is mid-way
  // through its download).
  void waitUntilEveryModemSends() {
    std::set<int> sending;
    std::string line;
    while (sending.size() < kModems && flash_.readStdoutLine(kEventWaitMs, &line)) {
      events_.push_back(Json::parse(line, nullptr, false));
      const Json& event = events_.back();
      if (event.value("event", "") == "progress" && event.value("percent", 0) > 0)
        sending.insert(event["modem"].get<int>());
    }
    ASSERT_EQ(sending.size(), static_cast<std::size_t>(kModems)) << readFile(errPath_);
  }

  // The rest of the events and the exit status; -1 when it did not exit.
  int finish() {
    std::string line;
    while (flash_.readStdoutLine(kExitWaitMs, &line)) events_.push_back(Json::parse(line));
    EXPECT_TRUE(flash_.waitForExit(kExitWaitMs));
    const ExitStatus status = flash_.stop();
    return status.exited ? status.exitCode : -1;
  }

  // Every modem's record says `result` at a packet of the download, with
  // `reason`, and no modem received a whole image.
  void checkRecords(const std::string& result, const std::string& reason) {
    std::vector<Json> records = jsonLines(readFile(recordPath_));
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kModems)) << readFile(recordPath_);
    for (const Json& record : records) {
      SCOPED_TRACE(record.dump());
      EXPECT_EQ(record["result"], result);
      EXPECT_EQ(record["stage"].get<std::string>().rfind("packet ", 0), 0u);
      EXPECT_NE(record["reason"].get<std::string>().find(reason), std::string::npos);
    }
    for (int modem = 0; modem < kModems; ++modem) {
      std::string received;
      EXPECT_FALSE(rig_->sim(modem, 0)->receivedImage(&received)) << "modem " << modem;
    }
    ASSERT_FALSE(events_.empty());
    EXPECT_EQ(events_.back()["event"], "run-end");
    EXPECT_EQ(events_.back()["exit_status"], 1);
    for (std::size_t i = 0; i < events_.size(); ++i) EXPECT_EQ(events_[i]["seq"], i + 1);
  }

  // Another Windows program copies the image while the station has it open.
  void copyImageWithCmd() {
    auto windowsPath = [](std::string path) {
      for (char& c : path) c = c == '/' ? '\\' : c;
      return "Z:" + path;
    };
    const std::string copyPath = work_.path() + "/copy.bin";
    RunResult copy = WineRig::shared().run(
        "cmd", {"/c", "copy", "/y", windowsPath(imagePath_), windowsPath(copyPath)}, 30000);
    EXPECT_TRUE(copy.exitedWith(0)) << copy.describe();
    EXPECT_TRUE(readFile(copyPath) == readFile(imagePath_)) << "the copy differs";
  }

  // A second station asks every port while the first downloads: each open is
  // refused with the first named, and the downloads go on untouched.
  void probeFromASecondStation() {
    RunResult probe = rig_->run({"list", "--probe", "--json"}, 60000);
    EXPECT_TRUE(probe.exitedWith(0)) << probe.describe();
    const std::string holder = windows_ ? "tarnwick-station.exe (pid " : "tarnwick-station (pid ";
    EXPECT_NE(probe.out.find("held open by " + holder), std::string::npos) << probe.out;
    ASSERT_EQ(finish(), 0) << readFile(errPath_);
    for (const Json& record : jsonLines(readFile(recordPath_))) EXPECT_EQ(record["result"], "PASS");
    for (int modem = 0; modem < kModems; ++modem) {
      std::string received;
      EXPECT_TRUE(rig_->sim(modem, 0)->receivedImage(&received) && received == readFile(imagePath_))
          << "modem " << modem;
    }
  }

  bool windows_ = false;
  std::unique_ptr<StationRig> rig_;
  TempDir work_;
  std::string imagePath_;
  std::string recordPath_;
  std::string errPath_;
  StartedProcess flash_;
  std::vector<Json> events_;
};

TEST_P(StationFlashMidRun, EndsEveryModemThatWasSending) {
  const MidRunCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(startFlash());
  ASSERT_NO_FATAL_FAILURE(waitUntilEveryModemSends());
  if (c.secondProgram) {
    ASSERT_NO_FATAL_FAILURE(probeFromASecondStation());
    return;
  }
  if (windows_) copyImageWithCmd();
  if (c.signal != 0) {
    ASSERT_EQ(kill(flash_.pid(), c.signal), 0);
    ASSERT_EQ(finish(), 1) << readFile(errPath_);
    checkRecords("ABORTED", "left in download mode");
    EXPECT_EQ(events_.back()["aborted"], kModems);
    return;
  }
  // Rewritten in place, same size, other bytes.
  const int fd = open(imagePath_.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const std::string other = patternBytes(kImageSize, 6);
  EXPECT_EQ(write(fd, other.data(), other.size()), static_cast<ssize_t>(other.size()));
  close(fd);
  ASSERT_EQ(finish(), 1) << readFile(errPath_);
  checkRecords("FAIL", "changed");
}

const MidRunCase kMidRunCases[] = {
    {"linux_ctrl_c", "linux", SIGINT},
    {"linux_sigterm", "linux", SIGTERM},
    {"linux_image_written_to", "linux", 0},
    // Wine turns SIGINT into the console's CTRL_C_EVENT.
    {"windows_ctrl_c", "windows", SIGINT},
    {"linux_second_program", "linux", 0, true},
    {"windows_second_program", "windows", 0, true},
};

INSTANTIATE_TEST_SUITE_P(Builds, StationFlashMidRun, ::testing::ValuesIn(kMidRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarnwick::testing
