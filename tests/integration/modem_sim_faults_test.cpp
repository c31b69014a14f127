// The simulated modem's misbehaviour options, each checked over the real
// pseudo-terminal with a plain client.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "integration/modem_sim_client.h"
#include "support/modem_sim_process.h"

namespace tarnwick::testing {
namespace {

using Clock = std::chrono::steady_clock;

std::string okReply(const std::string& command) {
  return command + "\r\r\nOK\r\n";
}
std::string errorReply(const std::string& command) {
  return command + "\r\r\nERROR\r\n";
}

std::string withoutNul(std::string bytes) {
  bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
  return bytes;
}

bool pathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

class ModemSimFaultTest : public ::testing::Test {
 protected:
  void startSim(const ModemSimOptions& options) {
    std::string error;
    ASSERT_TRUE(sim_.start(options, &error)) << error;
    ASSERT_TRUE(client_.open(sim_.ptyPath())) << client_.error();
  }

  ModemSimProcess sim_;
  SimClient client_;
};

TEST_F(ModemSimFaultTest, EchoOffLeavesOnlyInformationLineAndFinalResult) {
  ModemSimOptions options;
  options.echo = false;
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  EXPECT_EQ(client_.transact("AT"), "\r\nOK\r\n");
  EXPECT_EQ(client_.transact("AT%DNLPK?"), "\r\n512\r\n\r\nOK\r\n");
  EXPECT_EQ(client_.transact("ATI"), "\r\nERROR\r\n");
}

TEST_F(ModemSimFaultTest, ErrorAtCommandOrPacketAnswersErrorOnceWithoutTakingThePacket) {
  ModemSimOptions options;
  options.errorAtCommand = 2;
  options.errorAtPacket = 2;
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  EXPECT_EQ(client_.transact("AT"), okReply("AT"));
  EXPECT_EQ(client_.transact("AT"), errorReply("AT"));
  ASSERT_EQ(client_.transact("AT%DNL=1"), okReply("AT%DNL=1"));
  const std::vector<std::string> packets = {"AT%DNLIMG=\"01\"", "AT%DNLIMG=\"02\"",
                                            "AT%DNLIMG=\"03\""};
  EXPECT_EQ(client_.transact(packets[0]), okReply(packets[0]));
  EXPECT_EQ(client_.transact(packets[1]), errorReply(packets[1]));
  EXPECT_EQ(client_.transact(packets[2]), okReply(packets[2]));
  ASSERT_EQ(client_.transact("AT%DNL=0"), okReply("AT%DNL=0"));
  std::string image;
  ASSERT_TRUE(sim_.receivedImage(&image));
  EXPECT_EQ(image, "\x01\x03");
}

TEST_F(ModemSimFaultTest, SilentCommandOrPacketGetsNoByteAndTheNextIsAnswered) {
  ModemSimOptions options;
  options.silentAtCommand = 2;
  options.silentAtPacket = 1;
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  EXPECT_EQ(client_.transact("AT"), okReply("AT"));
  ASSERT_TRUE(client_.send("AT+CGMR\r"));
  EXPECT_EQ(client_.readFor(300), "");
  EXPECT_EQ(client_.transact("AT%DNL=1"), okReply("AT%DNL=1"));
  ASSERT_TRUE(client_.send("AT%DNLIMG=\"AA\"\r"));
  EXPECT_EQ(client_.readFor(300), "");
  EXPECT_EQ(client_.transact("AT%DNLIMG=\"BB\""), okReply("AT%DNLIMG=\"BB\""));
  ASSERT_EQ(client_.transact("AT%DNL=0"), okReply("AT%DNL=0"));
  std::string image;
  ASSERT_TRUE(sim_.receivedImage(&image));
  EXPECT_EQ(image, "\xBB") << "the ignored packet must not be kept";
  EXPECT_EQ(sim_.commandLog().size(), 6u) << "silent commands are logged too";
}

TEST_F(ModemSimFaultTest, NoFinalResultAtCommandStillCarriesItOut) {
  ModemSimOptions options;
  options.noFinalAtCommand = 2;
  options.errorAtEnd = true;
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  EXPECT_EQ(client_.transact("AT+CGMR"), "AT+CGMR\r\r\nSIMMODEM_V1.0\r\n\r\nOK\r\n");
  ASSERT_TRUE(client_.send("AT%DNL=1\r"));
  EXPECT_EQ(client_.readFor(300), "AT%DNL=1\r");
  // The download did start: a packet is taken.
  EXPECT_EQ(client_.transact("AT%DNLIMG=\"00\""), okReply("AT%DNLIMG=\"00\""));
  EXPECT_EQ(client_.transact("AT%DNL=0"), errorReply("AT%DNL=0"));
  std::string image;
  EXPECT_FALSE(sim_.receivedImage(&image)) << "an end answered ERROR writes no image";
}

TEST_F(ModemSimFaultTest, VersionTextAndCgmrErrorShapeTheVersionAnswer) {
  ModemSimOptions options;
  options.versionText = "LTE\\x21 v2";
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  EXPECT_EQ(client_.transact("AT+CGMR"), "AT+CGMR\r\r\nLTE! v2\r\n\r\nOK\r\n");

  ModemSimOptions failing;
  failing.cgmrError = true;
  ModemSimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.start(failing, &error)) << error;
  SimClient client;
  ASSERT_TRUE(client.open(sim.ptyPath())) << client.error();
  EXPECT_EQ(client.transact("AT+CGMR"), errorReply("AT+CGMR"));
  EXPECT_EQ(client.transact("AT"), okReply("AT"));
}

// With no client on its pty the master reads as hung up; the simulator
// neither ends nor spins on that, and serves the client that comes.
TEST_F(ModemSimFaultTest, WaitingForAClientCostsAlmostNoProcessorTime) {
  ModemSimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.start({}, &error)) << error;
  auto cpuTicks = [&] {
    std::ifstream stat("/proc/" + std::to_string(sim.pid()) + "/stat");
    std::string field;
    long ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
      if (i == 14 || i == 15) ticks += std::stol(field);  // utime, stime
    }
    return ticks;
  };
  const long before = cpuTicks();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_LT(cpuTicks() - before, 20);  // a spinning loop would take about 100
  EXPECT_TRUE(sim.running());
  SimClient client;
  ASSERT_TRUE(client.open(sim.ptyPath())) << client.error();
  EXPECT_EQ(client.transact("AT"), okReply("AT"));
}

// A modem that boots slowly, then runs the new firmware once flashed.
TEST_F(ModemSimFaultTest, DeafWhileBootingThenNewVersionAfterTheDownload) {
  ModemSimOptions options;
  options.deafForMs = 600;
  options.versionAfterDownload = "SIMMODEM_V2.0";
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  ASSERT_TRUE(client_.send("AT\r"));
  EXPECT_EQ(client_.readAtLeast(1, 300), "");
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(client_.transact("AT+CGMR"), "AT+CGMR\r\r\nSIMMODEM_V1.0\r\n\r\nOK\r\n");
  for (const char* command : {"AT%DNL=1", "AT%DNLIMG=\"00\"", "AT%DNL=0"}) {
    EXPECT_EQ(client_.transact(command), okReply(command));
  }
  EXPECT_EQ(client_.transact("AT+CGMR"), "AT+CGMR\r\r\nSIMMODEM_V2.0\r\n\r\nOK\r\n");
}

TEST_F(ModemSimFaultTest, NulBytesAreMixedIntoEveryPartOfEveryReply) {
  ModemSimOptions options;
  options.nulBytes = true;
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  for (const std::string command : {"AT", "AT%DNLPK?", "ATI"}) {
    ASSERT_TRUE(client_.send(command + "\r"));
    const std::string reply = client_.readFor(300);
    const std::string expected = command == "AT"    ? okReply("AT")
                                 : command == "ATI" ? errorReply("ATI")
                                                    : "AT%DNLPK?\r\r\n512\r\n\r\nOK\r\n";
    EXPECT_EQ(withoutNul(reply), expected) << command;
    EXPECT_GE(reply.size() - expected.size(), expected.size() / 3) << command;
    // No final result survives intact: the NULs must be dropped to find it.
    EXPECT_EQ(reply.find("\r\nOK\r\n"), std::string::npos) << command;
    EXPECT_EQ(reply.find("\r\nERROR\r\n"), std::string::npos) << command;
  }
}

TEST_F(ModemSimFaultTest, UnsolicitedTextComesBeforeTheEchoOrRightAfterIt) {
  ModemSimOptions before;
  before.unsolicited = "\\r\\nRING\\r\\n";
  ASSERT_NO_FATAL_FAILURE(startSim(before));
  EXPECT_EQ(client_.transact("AT"), "\r\nRING\r\nAT\r\r\nOK\r\n");
  EXPECT_EQ(client_.transact("AT%DNLPK?"), "\r\nRING\r\nAT%DNLPK?\r\r\n512\r\n\r\nOK\r\n");

  ModemSimOptions after = before;
  after.unsolicitedAfterEcho = true;
  ModemSimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.start(after, &error)) << error;
  SimClient client;
  ASSERT_TRUE(client.open(sim.ptyPath())) << client.error();
  EXPECT_EQ(client.transact("AT%DNLPK?"), "AT%DNLPK?\r\r\nRING\r\n\r\n512\r\n\r\nOK\r\n");
}

TEST_F(ModemSimFaultTest, ByteDelaySendsTheReplyOneByteAtATime) {
  ModemSimOptions options;
  // Far enough apart that a reader held up by a loaded machine still sees
  // the bytes one by one.
  options.byteDelayMs = 80;
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  const auto start = Clock::now();
  ASSERT_TRUE(client_.send("AT\r"));
  std::string reply;
  int reads = 0;
  while (reply.size() < okReply("AT").size() && Clock::now() - start < std::chrono::seconds(3)) {
    const std::string got = client_.readAtLeast(1, 500);
    reads += got.empty() ? 0 : 1;
    reply += got;
  }
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(reply, okReply("AT"));
  // 9 bytes, 80 ms apart: at least 640 ms, and the bytes come one by one.
  EXPECT_GE(elapsed, std::chrono::milliseconds(630));
  EXPECT_GE(reads, 7);
}

TEST_F(ModemSimFaultTest, ReplyDelayHoldsBackTheWholeReply) {
  ModemSimOptions options;
  options.replyDelayMs = 400;
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  ASSERT_TRUE(client_.send("AT\r"));
  EXPECT_EQ(client_.readFor(250), "");
  EXPECT_EQ(client_.readReply(2000), okReply("AT"));
}

TEST_F(ModemSimFaultTest, PacketSizeAnswerIsSentExactlyAsGiven) {
  for (const std::string text : {"0", "-5", "2048", "abc", ""}) {
    ModemSimOptions options;
    options.setPacketSize = true;
    options.packetSize = text;
    ModemSimProcess sim;
    std::string error;
    ASSERT_TRUE(sim.start(options, &error)) << error;
    SimClient client;
    ASSERT_TRUE(client.open(sim.ptyPath())) << client.error();
    EXPECT_EQ(client.transact("AT%DNLPK?"), "AT%DNLPK?\r\r\n" + text + "\r\n\r\nOK\r\n");
  }
}

TEST_F(ModemSimFaultTest, VanishAtCommandClosesTheDeviceAndEndsTheSimulator) {
  char dirTemplate[] = "/tmp/tarnwick-vanish-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  ModemSimOptions options;
  options.vanishAtCommand = 2;
  options.linkPath = std::string(dirTemplate) + "/ttyModem";
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  EXPECT_EQ(client_.transact("AT"), okReply("AT"));
  ASSERT_TRUE(client_.send("AT\r"));
  EXPECT_EQ(client_.readFor(2000), "");
  EXPECT_TRUE(client_.deviceGone());
  EXPECT_FALSE(pathExists(options.linkPath));
  ASSERT_TRUE(sim_.waitForExit(3000));
  const ExitStatus status = sim_.stop();
  EXPECT_TRUE(status.exited && status.exitCode == 0 && !status.killed);
  client_.close();
  SimClient again;
  EXPECT_FALSE(again.open(sim_.ptyPath())) << "the device is still there";
  rmdir(dirTemplate);
}

TEST_F(ModemSimFaultTest, VanishAtPacketHappensMidTransferWithoutAnImage) {
  ModemSimOptions options;
  options.vanishAtPacket = 3;
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  ASSERT_EQ(client_.transact("AT%DNL=1"), okReply("AT%DNL=1"));
  EXPECT_EQ(client_.transact("AT%DNLIMG=\"01\""), okReply("AT%DNLIMG=\"01\""));
  EXPECT_EQ(client_.transact("AT%DNLIMG=\"02\""), okReply("AT%DNLIMG=\"02\""));
  ASSERT_TRUE(client_.send("AT%DNLIMG=\"03\"\r"));
  EXPECT_EQ(client_.readFor(2000), "");
  EXPECT_TRUE(client_.deviceGone());
  EXPECT_TRUE(sim_.waitForExit(3000));
  std::string image;
  EXPECT_FALSE(sim_.receivedImage(&image));
}

TEST_F(ModemSimFaultTest, FloodSendsEndlessTextUntilTheClientStopsReading) {
  ModemSimOptions options;
  options.floodAtCommand = 2;
  options.floodStallMs = 300;
  ASSERT_NO_FATAL_FAILURE(startSim(options));
  EXPECT_EQ(client_.transact("AT"), okReply("AT"));
  ASSERT_TRUE(client_.send("AT\r"));
  const std::string flood = client_.readAtLeast(1 << 20, 10000);
  ASSERT_GE(flood.size(), 1u << 20);
  EXPECT_EQ(flood.compare(0, 3, "AT\r"), 0);
  EXPECT_EQ(flood.find("\r\nOK\r\n"), std::string::npos);
  EXPECT_EQ(flood.find("\r\nERROR\r\n"), std::string::npos);
  // Once the client has gone, the flood ends, its unread rest is dropped and
  // the next client is answered normally.
  client_.close();
  SimClient next;
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  ASSERT_TRUE(next.open(sim_.ptyPath())) << next.error();
  EXPECT_EQ(next.transact("AT"), okReply("AT"));
  EXPECT_TRUE(sim_.running());
}

TEST_F(ModemSimFaultTest, StopSignalEndsTheSimulatorPromptlyInTheMiddleOfAReply) {
  for (const bool flood : {true, false}) {
    SCOPED_TRACE(flood ? "during a flood" : "during a slow reply");
    ModemSimOptions options;
    options.floodAtCommand = flood ? 1 : 0;
    options.floodStallMs = 60000;
    options.byteDelayMs = flood ? 0 : 5000;
    ModemSimProcess sim;
    std::string error;
    ASSERT_TRUE(sim.start(options, &error)) << error;
    SimClient client;
    ASSERT_TRUE(client.open(sim.ptyPath())) << client.error();
    ASSERT_TRUE(client.send("AT\r"));
    EXPECT_FALSE(client.readAtLeast(1, 1000).empty());
    const auto start = Clock::now();
    const ExitStatus status = sim.stop();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(status.exited && status.exitCode == 0 && !status.killed);
  }
}

}  // namespace
}  // namespace tarnwick::testing
