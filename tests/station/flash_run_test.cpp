// Several workers at once through the whole run: every modem's record in
// the record file and in the JSON events, each image its own, the JSON
// lines numbered without a gap, and at most --jobs modems at a time.
#include "station/run/flash_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <system_error>
#include <thread>

#include "station/views/json_events.h"
#include "station/views/live_table.h"
#include "station_fakes.h"
#include "support/fake_modem.h"

namespace tarnwick::testing {
namespace {

// A port that counts how many of its kind are open at once.
class CountedPort final : public SerialPort {
 public:
  CountedPort(FakeSerialPort& port, std::atomic<int>& open, std::atomic<int>& most)
      : port_(port), open_(open), most_(most) {}
  bool open(int comNumber) override {
    if (!port_.open(comNumber)) return false;
    int now = ++open_;
    int seen = most_.load();
    while (now > seen && !most_.compare_exchange_weak(seen, now)) {
    }
    return true;
  }
  void close() override {
    if (port_.isOpen) --open_;
    port_.close();
  }
  IoResult write(const char* data, std::size_t size, unsigned waitMs) override {
    return port_.write(data, size, waitMs);
  }
  IoResult read(char* buffer, std::size_t capacity, unsigned waitMs) override {
    return port_.read(buffer, capacity, waitMs);
  }

 private:
  FakeSerialPort& port_;
  std::atomic<int>& open_;
  std::atomic<int>& most_;
};

std::vector<nlohmann::json> jsonLines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(nlohmann::json::parse(line));
  return lines;
}

struct RunCase {
  const char* name;
  int modems;
  int jobs;
  int failingModem;  // errors at its fifth packet; -1 for none
  int threads = -1;  // threads the system gives before it refuses; -1: all
};

class FlashRunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(FlashRunTest, EveryModemEndsWithItsOwnImageAndRecord) {
  const RunCase& c = GetParam();
  TempDir dir;
  const std::string imageBytes = patternBytes(6000, 3);  // 12 packets
  ImageSource image;
  std::string why;
  ASSERT_TRUE(image.open(dir.writeFile("image.bin", imageBytes), why)) << why;

  std::vector<std::unique_ptr<FakeSerialPort>> ports;
  std::vector<std::unique_ptr<FakeModem>> modems;
  FlashRunSetup setup;
  for (int i = 0; i < c.modems; ++i) {
    ports.push_back(std::make_unique<FakeSerialPort>());
    modems.push_back(std::make_unique<FakeModem>(*ports.back()));
    if (i == c.failingModem) modems.back()->errorAtPacket = 5;
    setup.targets.push_back(FlashTarget{
        "1-" + std::to_string(i + 1), "S" + std::to_string(i), "1234", "5678", {{10 + i, "", 0}}});
  }
  std::atomic<int> open{0};
  std::atomic<int> most{0};
  std::mutex portsLock;
  std::size_t next = 0;
  // Workers ask for their port in any order; each COM number has its own fake.
  setup.shared.makePort = [&]() -> std::unique_ptr<SerialPort> {
    std::lock_guard<std::mutex> hold(portsLock);
    return std::make_unique<CountedPort>(*ports[next++], open, most);
  };
  setup.shared.image = &image;
  setup.shared.recordBase.imageSha256 = image.sha256();
  setup.jobs = c.jobs;
  int threadsLeft = c.threads;
  setup.makeThread = [&threadsLeft](std::function<void()> work) {
    if (threadsLeft == 0) throw std::system_error(EAGAIN, std::generic_category());
    if (threadsLeft > 0) --threadsLeft;
    return std::thread(std::move(work));
  };
  const int threadless = c.threads < 0 ? 0 : c.modems - c.threads;
  std::FILE* jsonOut = std::tmpfile();
  ASSERT_NE(jsonOut, nullptr);
  RunOutputSettings settings;
  settings.json = true;
  settings.out = jsonOut;
  settings.record = dir.path() + "/records.jsonl";
  const std::string recordPath = settings.record;
  RunOutput output(settings);
  ASSERT_TRUE(output.openRecords(why)) << why;
  output.showProgress();

  RunBoard& board = output.board();
  for (const FlashTarget& target : setup.targets) board.addRow(target, image.size());
  runFlash(setup, output);
  EXPECT_EQ(board.recordsLost(), 0u);

  // The ports were handed out in the order the workers asked, so a modem is
  // known by the image it received, not by its index.
  int intact = 0;
  for (const auto& modem : modems) intact += modem->ended && modem->image == imageBytes ? 1 : 0;
  EXPECT_EQ(intact, c.modems - (c.failingModem >= 0 ? 1 : 0) - threadless);
  if (c.jobs > 0) {
    EXPECT_LE(most.load(), c.jobs);
  }
  EXPECT_EQ(open.load(), 0) << "every port is closed";

  std::vector<nlohmann::json> recordLines = jsonLines(readFile(recordPath));
  ASSERT_EQ(recordLines.size(), static_cast<std::size_t>(c.modems));
  int failed = 0;
  int unstarted = 0;
  for (const nlohmann::json& record : recordLines) {
    EXPECT_EQ(record["image_sha256"], image.sha256());
    if (record["reason"].get<std::string>().rfind("no worker thread could be started: ", 0) == 0) {
      ++unstarted;
      EXPECT_EQ(record["result"], "FAIL");
      EXPECT_EQ(record["stage"], "connect");
    } else if (record["result"] == "FAIL") {
      ++failed;
      EXPECT_EQ(record["stage"], "packet 5 of 12");
      EXPECT_EQ(record["reason"], "ERROR answer");
      EXPECT_EQ(record["packets"], 4);
    } else {
      EXPECT_EQ(record["result"], "PASS");
      EXPECT_EQ(record["bytes_sent"], imageBytes.size());
    }
  }
  EXPECT_EQ(failed, c.failingModem >= 0 ? 1 : 0);
  EXPECT_EQ(unstarted, threadless);

  std::vector<nlohmann::json> events = jsonLines(fileText(jsonOut));
  std::fclose(jsonOut);
  int ends = 0;
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(events[i]["seq"], i + 1) << "no gap in the numbering";
    EXPECT_EQ(events[i]["time"].get<std::string>().size(), 24u);
    ends += events[i]["event"] == "modem-end" ? 1 : 0;
  }
  EXPECT_EQ(ends, c.modems);

  // The table drawn last names every modem's result.
  const std::string table = LiveTable::render(board);
  for (const BoardRow& row : board.rows()) {
    EXPECT_NE(table.find(row.location), std::string::npos);
    EXPECT_TRUE(row.ended);
  }
  EXPECT_EQ(board.count(FlashResult::Pass), static_cast<std::size_t>(intact));
}

const RunCase kRuns[] = {
    {"eight_at_once_one_failing", 8, 0, 4},
    {"five_two_at_a_time", 5, 2, -1},
    {"one", 1, 0, -1},
    {"no_thread_for_the_last_three", 6, 0, -1, 3},
};

INSTANTIATE_TEST_SUITE_P(Runs, FlashRunTest, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FlashRunStop, EveryWorkerEndsAbortedAndItsPortIsClosed) {
  TempDir dir;
  ImageSource image;
  std::string why;
  ASSERT_TRUE(image.open(dir.writeFile("image.bin", patternBytes(6000)), why));
  std::vector<std::unique_ptr<FakeSerialPort>> ports;
  std::vector<std::unique_ptr<FakeModem>> modems;
  std::atomic<bool> operatorStop{false};
  FlashRunSetup setup;
  for (int i = 0; i < 3; ++i) {
    ports.push_back(std::make_unique<FakeSerialPort>());
    FakeSerialPort& port = *ports.back();
    modems.push_back(std::make_unique<FakeModem>(port));
    setup.targets.push_back(
        FlashTarget{"1-" + std::to_string(i), "", "1234", "5678", {{i + 1, "", std::nullopt}}});
  }
  // The first modem's third packet raises the stop; one modem waits for its turn.
  ports[0]->setResponder([&operatorStop](const std::string& line) -> std::string {
    static int packets = 0;
    if (line.rfind("AT%DNLIMG", 0) == 0 && ++packets == 3) {
      operatorStop = true;
      // Long enough for the run to see the request before the next packet.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    if (line == "AT%DNLPK?") return line + "\r\r\n512\r\n\r\nOK\r\n";
    return line + "\r\r\nOK\r\n";
  });
  std::mutex lock;
  std::size_t next = 0;
  setup.shared.makePort = [&]() -> std::unique_ptr<SerialPort> {
    std::lock_guard<std::mutex> hold(lock);
    return std::make_unique<BorrowedPort>(*ports[next++]);
  };
  setup.shared.image = &image;
  setup.jobs = 1;
  setup.stopRequested = [&operatorStop] { return operatorStop.load(); };
  RunOutput output{RunOutputSettings()};
  RunBoard& board = output.board();
  for (const FlashTarget& target : setup.targets) board.addRow(target, image.size());
  runFlash(setup, output);
  EXPECT_EQ(board.count(FlashResult::Aborted), 3u);
  for (const auto& port : ports) EXPECT_FALSE(port->isOpen);
  int leftInDownloadMode = 0;
  for (const BoardRow& row : board.rows()) {
    leftInDownloadMode +=
        row.record.reason.find("left in download mode") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(leftInDownloadMode, 1);
}

}  // namespace
}  // namespace tarnwick::testing
