// The Windows serial port code under Wine, on a COM port linked to the
// simulated modem's pseudo-terminal. win-port-probe.exe logs every read
// request ("read: <status> <count> <ms>") and prints the reply it collected.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/modem_sim_process.h"
#include "support/wine_rig.h"
#include "support/wine_rig_test.h"

namespace tarnwick::testing {
namespace {

constexpr int kRunLimitMs = 30000;
constexpr int kComNumber = 7;
constexpr char kAtExchange[] = "reply: \"AT\\r\\r\\nOK\\r\\n\"\nresult: OK\n";

struct ReadLog {
  std::string status;
  int count = 0;
  int ms = 0;
};

std::vector<ReadLog> readLog(const std::string& output) {
  std::vector<ReadLog> reads;
  static const std::regex line("read: (\\w+) (\\d+) (\\d+)");
  for (std::sregex_iterator it(output.begin(), output.end(), line), end; it != end; ++it) {
    reads.push_back({(*it)[1], std::stoi((*it)[2]), std::stoi((*it)[3])});
  }
  return reads;
}

class WinePortProbeTest : public WineRigTest {
 protected:
  // Starts the simulated modem and makes its pty COM7 of the prefix.
  void plugModem(const ModemSimOptions& options) {
    std::string error;
    ASSERT_TRUE(modem_.start(options, &error)) << error;
    ASSERT_TRUE(rig().linkComPort(kComNumber, modem_.ptyPath(), &error)) << error;
  }

  // Runs win-port-probe.exe; Wine is expected to say nothing of its own.
  static RunResult probe(const std::vector<std::string>& arguments) {
    RunResult run =
        rig().run(windowsBuildFile("tests/windows/win-port-probe.exe"), arguments, kRunLimitMs);
    EXPECT_EQ(run.err, "") << run.describe();
    return run;
  }

  ModemSimProcess modem_;
};

TEST_F(WinePortProbeTest, AtIsAnsweredThroughTheComLink) {
  plugModem(ModemSimOptions{});
  RunResult run = probe({"7"});
  ASSERT_TRUE(run.exitedWith(0)) << run.describe();
  EXPECT_NE(run.out.find("opened COM7\nwrite: Done 3\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(kAtExchange), std::string::npos) << run.out;
  EXPECT_EQ(modem_.commandLog(), std::vector<std::string>{"AT"});
}

// Bytes 40 ms apart: most reads find nothing queued and wait for one byte
// within the port's 10 ms read time-out; a byte arriving during the wait ends
// it at once, and one arriving after it is taken by a later read. No byte is
// lost and no read waits long.
TEST_F(WinePortProbeTest, BytesArrivingOneByOneAreEachDeliveredWhenTheyArrive) {
  ModemSimOptions options;
  options.byteDelayMs = 40;
  plugModem(options);
  RunResult run = probe({"7"});
  ASSERT_TRUE(run.exitedWith(0)) << run.describe();
  EXPECT_NE(run.out.find(kAtExchange), std::string::npos) << run.out;
  const std::vector<ReadLog> reads = readLog(run.out);
  ASSERT_FALSE(reads.empty()) << run.out;
  int delivered = 0;
  for (const ReadLog& read : reads) {
    if (read.status == "Done") delivered += read.count;
    EXPECT_TRUE(read.status == "Done" || read.status == "TimedOut") << run.out;
    EXPECT_LT(read.ms, 150) << run.out;
  }
  EXPECT_EQ(delivered, static_cast<int>(std::string("AT\r\r\nOK\r\n").size())) << run.out;
}

// A reply 700 ms late: reads before it end after the port's read time-out
// with nothing, are cancelled, and must neither hang nor swallow the bytes
// that come later.
TEST_F(WinePortProbeTest, LateReplyFollowsEmptyWaitsWhole) {
  ModemSimOptions options;
  options.replyDelayMs = 700;
  plugModem(options);
  RunResult run = probe({"7"});
  ASSERT_TRUE(run.exitedWith(0)) << run.describe();
  EXPECT_NE(run.out.find(kAtExchange), std::string::npos) << run.out;
  int emptyWaits = 0;
  for (const ReadLog& read : readLog(run.out)) {
    if (read.status != "TimedOut") continue;
    ++emptyWaits;
    EXPECT_EQ(read.count, 0);
    EXPECT_GE(read.ms, 9) << run.out;
    EXPECT_LT(read.ms, 150) << run.out;
  }
  EXPECT_GE(emptyWaits, 2) << run.out;
}

// On a silent line a read ends with nothing after the port's read time-out
// of 10 ms, as on a Windows port, though Wine itself ignores the time-out.
TEST_F(WinePortProbeTest, ReadOnASilentLineEndsAfterItsWait) {
  plugModem(ModemSimOptions{});
  RunResult run = probe({"7", "--silent-read"});
  ASSERT_TRUE(run.exitedWith(0)) << run.describe();
  const std::vector<ReadLog> reads = readLog(run.out);
  ASSERT_EQ(reads.size(), 1u) << run.out;
  EXPECT_EQ(reads[0].status, "TimedOut");
  EXPECT_GE(reads[0].ms, 9);
  EXPECT_LT(reads[0].ms, 150);
}

// No link for COM9: the open fails and leaves the system's reason (file not
// found, 2) where the error report reads it, with the system's text for it.
TEST_F(WinePortProbeTest, OpeningAnAbsentPortFailsWithTheSystemsReason) {
  RunResult run = probe({"9"});
  ASSERT_TRUE(run.exitedWith(2)) << run.describe();
  EXPECT_EQ(run.out.rfind("open COM9 failed: error 2: \"", 0), 0u) << run.out;
  EXPECT_EQ(run.out.find("(no text)"), std::string::npos) << run.out;
}

TEST_F(WinePortProbeTest, ReopeningReleasesThePortHandleAndItsEvents) {
  plugModem(ModemSimOptions{});
  RunResult run = probe({"7", "--reopen", "20"});
  EXPECT_TRUE(run.exitedWith(0)) << run.describe();
  EXPECT_NE(run.out.find("handles: before="), std::string::npos) << run.out;
}

}  // namespace
}  // namespace tarnwick::testing
