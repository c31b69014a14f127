// The simulated modem driven over its real pseudo-terminal by a plain client:
// command framing, the download commands, the command log, reopening the
// port, the link and the program's own start and stop.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "integration/modem_sim_client.h"
#include "support/modem_sim_process.h"
#include "support/subprocess.h"

namespace tarnwick::testing {
namespace {

std::string okReply(const std::string& command) {
  return command + "\r\r\nOK\r\n";
}
std::string errorReply(const std::string& command) {
  return command + "\r\r\nERROR\r\n";
}

std::string upperHex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += digits[byte >> 4];
    hex += digits[byte & 0x0F];
  }
  return hex;
}

std::string packetCommand(const std::string& bytes) {
  return "AT%DNLIMG=\"" + upperHex(bytes) + "\"";
}

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

bool pathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

class ModemSimTest : public ::testing::Test {
 protected:
  void startSim(const ModemSimOptions& options = ModemSimOptions()) {
    std::string error;
    ASSERT_TRUE(sim_.start(options, &error)) << error;
    ASSERT_TRUE(client_.open(sim_.ptyPath())) << client_.error();
  }

  // Sends `image` in packets of `packetSize` bytes, each answered OK.
  void sendPackets(const std::string& image, std::size_t packetSize) {
    for (std::size_t offset = 0; offset < image.size(); offset += packetSize) {
      const std::string command = packetCommand(image.substr(offset, packetSize));
      ASSERT_EQ(client_.transact(command), okReply(command)) << "packet at offset " << offset;
    }
  }

  ModemSimProcess sim_;
  SimClient client_;
};

TEST_F(ModemSimTest, AnswersEachCommandWithEchoInformationLineAndFinalResult) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  EXPECT_EQ(client_.transact("AT"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(client_.transact("AT+CGMR"), "AT+CGMR\r\r\nSIMMODEM_V1.0\r\n\r\nOK\r\n");
  EXPECT_EQ(client_.transact("AT%DNLPK?"), "AT%DNLPK?\r\r\n512\r\n\r\nOK\r\n");
  EXPECT_EQ(client_.transact("AT%DNL=1"), okReply("AT%DNL=1"));
  EXPECT_EQ(client_.transact("AT%DNL=0"), okReply("AT%DNL=0"));
  EXPECT_EQ(client_.transact("ATI"), errorReply("ATI"));
  EXPECT_EQ(client_.transact("AT+CGSN"), errorReply("AT+CGSN"));  // no --imei given
  EXPECT_EQ(client_.transact("at"), errorReply("at"));
  EXPECT_EQ(client_.transact("AT "), errorReply("AT "));
  EXPECT_EQ(client_.transact(""), errorReply(""));
}

TEST_F(ModemSimTest, CutsCommandsAtCarriageReturnsWhateverTheWritesAre) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  // A command split over writes is answered once, when its CR arrives.
  ASSERT_TRUE(client_.send("AT+C"));
  EXPECT_EQ(client_.readFor(150), "");
  ASSERT_TRUE(client_.send("GMR\r"));
  EXPECT_EQ(client_.readReply(), "AT+CGMR\r\r\nSIMMODEM_V1.0\r\n\r\nOK\r\n");
  // Two commands in one write, ended CRLF: the LF of each is dropped.
  ASSERT_TRUE(client_.send("AT\r\nATI\r\n"));
  const std::string both = okReply("AT") + errorReply("ATI");
  EXPECT_EQ(client_.readUntil(both, 2000), both);
  // A line feed inside a command is part of it.
  EXPECT_EQ(client_.transact("A\nT"), errorReply("A\nT"));
  EXPECT_EQ(client_.readFor(100), "");
}

TEST_F(ModemSimTest, DownloadOfSeveralHundredKibibytesArrivesWholeInTheImageFile) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  const std::string image = randomBytes(300 * 1024 + 77, 7);
  ASSERT_EQ(client_.transact("AT%DNL=1"), okReply("AT%DNL=1"));
  ASSERT_NO_FATAL_FAILURE(sendPackets(image, 512));
  std::string received;
  EXPECT_FALSE(sim_.receivedImage(&received)) << "image file written before AT%DNL=0";
  ASSERT_EQ(client_.transact("AT%DNL=0"), okReply("AT%DNL=0"));
  ASSERT_TRUE(sim_.receivedImage(&received));
  EXPECT_EQ(received.size(), image.size());
  EXPECT_TRUE(received == image) << "received image differs from the one sent";
}

TEST_F(ModemSimTest, NewDownloadReplacesThePreviousImage) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  const std::string first = randomBytes(2000, 1);
  const std::string second = randomBytes(700, 2);
  for (const std::string* image : {&first, &second}) {
    ASSERT_EQ(client_.transact("AT%DNL=1"), okReply("AT%DNL=1"));
    ASSERT_NO_FATAL_FAILURE(sendPackets(*image, 512));
    ASSERT_EQ(client_.transact("AT%DNL=0"), okReply("AT%DNL=0"));
    std::string received;
    ASSERT_TRUE(sim_.receivedImage(&received));
    EXPECT_TRUE(received == *image);
  }
}

TEST_F(ModemSimTest, RejectsMalformedOrMisplacedPacketsWithoutKeepingTheirBytes) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  EXPECT_EQ(client_.transact("AT%DNLIMG=\"00\""), errorReply("AT%DNLIMG=\"00\""))
      << "packet outside a download";
  EXPECT_EQ(client_.transact("AT%DNL=0"), errorReply("AT%DNL=0")) << "end without a download";
  ASSERT_EQ(client_.transact("AT%DNL=1"), okReply("AT%DNL=1"));
  const std::vector<std::string> malformed = {
      "AT%DNLIMG=\"0a\"", "AT%DNLIMG=\"ABC\"",
      "AT%DNLIMG=\"\"",   "AT%DNLIMG=\"AB",
      "AT%DNLIMG=\"AG\"", "AT%DNLIMG=\"A\"B\"",
      "AT%DNLIMG=AB",     "AT%DNLIMG=\"",
      "AT%DNLIMG=\" 0\"", packetCommand(std::string(513, '\x11')),
  };
  for (const std::string& command : malformed) {
    EXPECT_EQ(client_.transact(command), errorReply(command)) << command;
  }
  const std::string good = std::string("\x00\x0A\x7F\x80\xFF", 5);
  ASSERT_EQ(client_.transact(packetCommand(good)), okReply(packetCommand(good)));
  const std::string full = randomBytes(512, 3);
  ASSERT_EQ(client_.transact(packetCommand(full)), okReply(packetCommand(full)));
  ASSERT_EQ(client_.transact("AT%DNL=0"), okReply("AT%DNL=0"));
  std::string received;
  ASSERT_TRUE(sim_.receivedImage(&received));
  EXPECT_TRUE(received == good + full) << "received " << received.size() << " bytes";
}

struct PacketLimitCase {
  std::string packetSizeText;
  std::size_t acceptedBytes;  // a packet of this size is taken
  std::size_t rejectedBytes;  // one of this size is refused (0: none is)
};

TEST_F(ModemSimTest, PacketLengthLimitFollowsTheReportedPacketSize) {
  const std::vector<PacketLimitCase> cases = {
      {"4", 4, 5},      {"2048", 512, 513}, {" +100xyz", 100, 101},
      {"abc", 1000, 0}, {"0", 1000, 0},     {"-5", 1000, 0},
  };
  for (const PacketLimitCase& limit : cases) {
    SCOPED_TRACE("packet size '" + limit.packetSizeText + "'");
    ModemSimOptions options;
    options.setPacketSize = true;
    options.packetSize = limit.packetSizeText;
    ModemSimProcess sim;
    std::string error;
    ASSERT_TRUE(sim.start(options, &error)) << error;
    SimClient client;
    ASSERT_TRUE(client.open(sim.ptyPath())) << client.error();
    EXPECT_EQ(client.transact("AT%DNLPK?"),
              "AT%DNLPK?\r\r\n" + limit.packetSizeText + "\r\n\r\nOK\r\n");
    ASSERT_EQ(client.transact("AT%DNL=1"), okReply("AT%DNL=1"));
    const std::string accepted = packetCommand(std::string(limit.acceptedBytes, 'x'));
    EXPECT_EQ(client.transact(accepted), okReply(accepted));
    if (limit.rejectedBytes > 0) {
      const std::string rejected = packetCommand(std::string(limit.rejectedBytes, 'x'));
      EXPECT_EQ(client.transact(rejected), errorReply(rejected));
    }
  }
}

TEST_F(ModemSimTest, LogHoldsEveryCommandAsReceivedAsSoonAsItIsAnswered) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  const std::string packet = packetCommand("\x01\x02\x03");
  const std::vector<std::string> commands = {"AT",       "ATI",  "",         "AT+CGMR",
                                             "AT%DNL=1", packet, "AT%DNL=0", "at %dnl=0"};
  std::vector<std::string> expected;
  for (const std::string& command : commands) {
    client_.transact(command);
    expected.push_back(command);
    ASSERT_EQ(sim_.commandLog(), expected);
  }
}

TEST_F(ModemSimTest, PortCanBeClosedAndReopenedTwiceInARow) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_EQ(client_.transact("AT"), okReply("AT"));
  for (int reopen = 1; reopen <= 2; ++reopen) {
    SCOPED_TRACE("reopen " + std::to_string(reopen));
    client_.close();
    ASSERT_TRUE(client_.open(sim_.ptyPath())) << client_.error();
    EXPECT_EQ(client_.transact("AT"), okReply("AT"));
    EXPECT_FALSE(client_.deviceGone());
  }
  EXPECT_TRUE(sim_.running());
}

TEST(ModemSimLinkTest, LinkLeadsToThePtyWhileRunningAndIsGoneAfterAStop) {
  char dirTemplate[] = "/tmp/tarnwick-link-XXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  const std::string link = dir + "/ttyModem";
  ASSERT_EQ(symlink("/nonexistent/stale", link.c_str()), 0);  // left by an earlier run
  {
    ModemSimOptions options;
    options.linkPath = link;
    ModemSimProcess sim;
    std::string error;
    ASSERT_TRUE(sim.start(options, &error)) << error;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), sim.ptyPath());
    SimClient client;
    ASSERT_TRUE(client.open(link)) << client.error();
    EXPECT_EQ(client.transact("AT"), okReply("AT"));
    const ExitStatus status = sim.stop();
    EXPECT_TRUE(status.exited && status.exitCode == 0 && !status.killed);
    EXPECT_FALSE(pathExists(link));
  }
  // Something that is not a symlink is never replaced.
  const std::string file = dir + "/plain";
  ASSERT_TRUE(std::ofstream(file) << "not a link");
  const RunResult refused = runProgram({{MODEM_SIM_PROGRAM, "--link", file}}, 5000);
  EXPECT_TRUE(refused.exitedWith(1)) << refused.describe();
  EXPECT_NE(refused.err.find("not a symlink"), std::string::npos) << refused.err;
  EXPECT_TRUE(pathExists(file));
  unlink(file.c_str());
  rmdir(dir.c_str());
}

TEST(ModemSimProgramTest, ExitsCleanlyByItselfAfterTheGivenRunTime) {
  ModemSimOptions options;
  options.exitAfterMs = 300;
  ModemSimProcess sim;
  std::string error;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(sim.start(options, &error)) << error;
  ASSERT_TRUE(sim.waitForExit(5000));
  const auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_GE(elapsed, std::chrono::milliseconds(250));
  const ExitStatus status = sim.stop();
  EXPECT_TRUE(status.exited && status.exitCode == 0 && !status.killed);
}

TEST(ModemSimProgramTest, RefusesBadArgumentsAndListsEveryOptionInItsHelp) {
  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"},
      {"--error-at-command", "0"},
      {"--error-at-packet", "x"},
      {"--silent-at-command"},
      {"--byte-delay-ms", "-1"},
      {"--no-echo=1"},
      {"--unsolicited", "\\q"},
  };
  for (const std::vector<std::string>& arguments : bad) {
    ProcessSpec launch{{MODEM_SIM_PROGRAM}};
    launch.argv.insert(launch.argv.end(), arguments.begin(), arguments.end());
    const RunResult result = runProgram(launch, 5000);
    EXPECT_TRUE(result.exitedWith(2)) << arguments[0] << ": " << result.describe();
    EXPECT_EQ(result.out, "") << arguments[0];
  }
  const RunResult help = runProgram({{MODEM_SIM_PROGRAM, "--help"}}, 5000);
  ASSERT_TRUE(help.exitedWith(0)) << help.describe();
  for (const char* option : {"--link",
                             "--image-out",
                             "--log",
                             "--exit-after-ms",
                             "--no-echo",
                             "--version-text",
                             "--imei",
                             "--packet-size",
                             "--error-at-command",
                             "--error-at-packet",
                             "--silent-at-command",
                             "--silent-at-packet",
                             "--no-final-at-command",
                             "--vanish-at-command",
                             "--vanish-at-packet",
                             "--flood-at-command",
                             "--error-at-end",
                             "--cgmr-error",
                             "--nul-bytes",
                             "--unsolicited",
                             "--byte-delay-ms",
                             "--reply-delay-ms"}) {
    EXPECT_NE(help.out.find(std::string("  ") + option + " "), std::string::npos) << option;
  }
}

TEST(ModemSimProgramTest, HelperReportsASimulatorThatCannotStart) {
  ModemSimOptions options;
  options.extraArguments = {"--bogus"};
  ModemSimProcess sim;
  std::string error;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(sim.start(options, &error));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  EXPECT_NE(error.find("unknown option '--bogus'"), std::string::npos) << error;
}

}  // namespace
}  // namespace tarnwick::testing
