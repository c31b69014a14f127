// Faults of the modem and of the image, end to end: whatever goes wrong, the
// program ends within its bounded waits, says "download failed" and exits 1,
// and reports "Finished Download" only when the modem holds exactly the file.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "e2e/end_to_end.h"

namespace tarnwick::testing {
namespace {

struct FaultCase {
  const char* name;
  ModemSimOptions modem;
  std::size_t imageSize;
  bool succeeds;
};

ModemSimOptions modem(void (*configure)(ModemSimOptions&)) {
  ModemSimOptions options;
  configure(options);
  return options;
}

class FaultMatrix : public EndToEnd {
 protected:
  // Runs each case on a fresh rig and checks its verdict, status and what
  // the modem holds.
  void runCases(const std::vector<FaultCase>& cases) {
    for (const FaultCase& c : cases) {
      SCOPED_TRACE(c.name);
      freshRig();
      ModemSimProcess* sim = plugDefaultModem(c.modem);
      std::string image = writeImage("fw.bin", c.imageSize);
      auto started = std::chrono::steady_clock::now();
      RunResult r = run({"fw.bin"}, 90000);
      expectVerdict(r, c.succeeds);
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
      if (c.succeeds) {
        EXPECT_TRUE(received(sim) == image);
      } else {
        EXPECT_EQ(received(sim), "");
      }
    }
  }

  static void expectVerdict(const RunResult& r, bool succeeds) {
    ASSERT_TRUE(r.started) << r.describe();
    EXPECT_FALSE(r.timedOut) << r.describe();
    bool finished = r.out.find("Finished Download") != std::string::npos;
    bool failed = r.out.size() >= kDownloadFailed.size() &&
                  r.out.compare(r.out.size() - kDownloadFailed.size(), std::string::npos,
                                kDownloadFailed) == 0;
    EXPECT_EQ(finished, succeeds) << r.describe();
    EXPECT_EQ(failed, !succeeds) << r.describe();
    EXPECT_TRUE(r.exitedWith(succeeds ? 0 : 1)) << r.describe();
  }
};

TEST_P(FaultMatrix, ModemAnswersErrorOrNothingAtAPacket) {
  // 40 packets: the first, a middle and the last one fail.
  runCases({
      {"error at first packet", modem([](auto& o) { o.errorAtPacket = 1; }), 40 * 512, false},
      {"error at middle packet", modem([](auto& o) { o.errorAtPacket = 20; }), 40 * 512, false},
      {"error at last packet", modem([](auto& o) { o.errorAtPacket = 40; }), 40 * 512 - 3, false},
      {"silent at first packet", modem([](auto& o) { o.silentAtPacket = 1; }), 40 * 512, false},
      {"silent at last packet", modem([](auto& o) { o.silentAtPacket = 40; }), 40 * 512, false},
  });
}

TEST_P(FaultMatrix, ModemMisbehavesInTheReplies) {
  runCases({
      {"endless text", modem([](auto& o) { o.floodAtCommand = 10; }), 20 * 512, false},
      {"no final result", modem([](auto& o) { o.noFinalAtCommand = 5; }), 20 * 512, false},
      {"NUL bytes in replies", modem([](auto& o) { o.nulBytes = true; }), 20 * 512, true},
      {"unsolicited lines", modem([](auto& o) { o.unsolicited = "\r\nRING\r\n"; }), 20 * 512, true},
      // A line between the echo and the packet size is part of the size
      // query's body, which then does not begin with the number.
      {"unsolicited after echo", modem([](auto& o) {
         o.unsolicited = "\r\n+CREG: 1\r\n";
         o.unsolicitedAfterEcho = true;
       }),
       20 * 512, false},
      {"one byte every 10 ms", modem([](auto& o) {
         o.byteDelayMs = 10;
         o.setPacketSize = true;
         o.packetSize = "4";
       }),
       10, true},
  });
}

TEST_P(FaultMatrix, PacketSizeAnswers) {
  auto size = [](const char* text) {
    ModemSimOptions o;
    o.setPacketSize = true;
    o.packetSize = text;
    return o;
  };
  runCases({
      {"size 0", size("0"), 2000, false},
      {"size -5", size("-5"), 2000, false},
      {"size 99999", size("99999"), 2000, true},
      {"size abc", size("abc"), 2000, false},
      {"size empty", size(""), 2000, false},
      {"size past int", size("4294967296"), 2000, false},
  });
}

TEST_P(FaultMatrix, ModemVanishes) {
  if (isWindows()) GTEST_SKIP() << "Wine's server does not survive a tty that goes away";
  runCases({
      {"during the handshake", modem([](auto& o) { o.vanishAtCommand = 1; }), 5000, false},
      {"mid-download", modem([](auto& o) { o.vanishAtPacket = 6; }), 20 * 512, false},
      // AT, AT%DNLPK?, AT%DNL=1, 4 packets, then AT%DNL=0.
      {"at the end", modem([](auto& o) { o.vanishAtCommand = 8; }), 4 * 512, false},
  });
}

TEST_P(FaultMatrix, ImageProblems) {
  ModemSimProcess* sim = plugDefaultModem();
  std::string dir = rig_->workDir();
  mkdir((dir + "/folder.bin").c_str(), 0755);
  for (const char* name : {"absent.bin", "folder.bin"}) {
    SCOPED_TRACE(name);
    RunResult r = run({name});
    expectVerdict(r, false);
    EXPECT_EQ(r.out.find("downloading"), std::string::npos);
    EXPECT_NE(r.out.find("ERROR: Tarnwick\n failed with error code"), std::string::npos);
  }
  EXPECT_EQ(sim->commandLog(), (std::vector<std::string>{"AT", "AT"}));

  // An empty image: refused with one line on standard error, after the
  // handshake and before any download command.
  writeImage("empty.bin", 0);
  RunResult empty = run({"empty.bin"});
  expectVerdict(empty, false);
  EXPECT_EQ(empty.out, kBanner + kDownloadFailed);
  EXPECT_EQ(empty.err, "image empty.bin is empty - nothing to download\n");
  EXPECT_EQ(sim->commandLog(), (std::vector<std::string>{"AT", "AT", "AT"}));
  EXPECT_TRUE(received(sim).empty());
}

TEST_P(FaultMatrix, ImageOfFourGibibytesIsRefusedBeforeAnythingIsSent) {
  ModemSimProcess* sim = plugDefaultModem();
  writeImage("huge.bin", 0);
  ASSERT_EQ(truncate((rig_->workDir() + "/huge.bin").c_str(), 0x100000000ll), 0);
  RunResult r = run({"huge.bin"});
  expectVerdict(r, false);
  EXPECT_EQ(r.out, kBanner + "image huge.bin is 4 GiB or larger - too large to download\n" +
                       kDownloadFailed);
  EXPECT_EQ(sim->commandLog(), std::vector<std::string>{"AT"});
}

// The image is read ahead in 64 KiB blocks; it shrinks while the first block
// is being sent, so the next block finds the file ended early.
TEST_P(FaultMatrix, ImageShrinkingWhileItIsSent) {
  ModemSimOptions options;
  options.replyDelayMs = 10;
  ModemSimProcess* sim = plugDefaultModem(options);
  writeImage("fw.bin", 400 * 512);
  std::string path = rig_->workDir() + "/fw.bin";
  // Shrinks the file once the modem has taken a few packets.
  std::thread shrinker([&] {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (commandsOf(sim).size() < 3u + 5u && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(truncate(path.c_str(), 10 * 512), 0);
  });
  RunResult r = run({"fw.bin"}, 60000);
  shrinker.join();
  expectVerdict(r, false);
  EXPECT_EQ(received(sim), "");
  std::vector<std::string> commands = commandsOf(sim);
  EXPECT_EQ(commands.size(), 3u + 128u);
  EXPECT_NE(commands.back(), "AT%DNL=0");
}

INSTANTIATE_TEST_SUITE_P(Builds, FaultMatrix, ::testing::Values("linux", "windows"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
}  // namespace tarnwick::testing
