// Image downloads to a simulated modem: what the modem holds, what it was
// sent, what the operator sees.
#include "e2e/end_to_end.h"

namespace tarnwick::testing {
namespace {

TEST_P(EndToEnd, ImagesOfEverySizeArriveExactly) {
  // An empty image is refused before any download command (FaultMatrix).
  for (std::size_t size : {1u, 511u, 512u, 513u, 1025u}) {
    SCOPED_TRACE(size);
    // Each size gets a fresh rig with one modem.
    freshRig();
    ModemSimProcess* sim = plugDefaultModem();
    ASSERT_NE(sim, nullptr);
    std::string image = writeImage("fw.bin", size);
    std::size_t packets = (size + 511) / 512;
    expectRun(run({"fw.bin"}), 0,
              kBanner + startMessage("fw.bin") + spinnerFor(packets) + kFinished);
    EXPECT_EQ(received(sim), image);
    std::vector<std::string> expected = {"AT", "AT%DNLPK?", "AT%DNL=1"};
    for (std::size_t p = 0; p < packets; ++p) {
      expected.push_back("AT%DNLIMG " + std::to_string(p + 1 < packets ? 512 : size - 512 * p));
    }
    expected.push_back("AT%DNL=0");
    EXPECT_EQ(commandsOf(sim), expected);
  }
}

TEST_P(EndToEnd, LargeImageArrivesExactly) {
  ModemSimOptions options;
  options.logCommands = false;
  ModemSimProcess* sim = plugDefaultModem(options);
  const std::size_t size = 3 * 1024 * 1024 + 77;
  std::string image = writeImage("big.bin", size);
  RunResult r = run({"big.bin"}, 120000);
  expectRun(r, 0, kBanner + startMessage("big.bin") + spinnerFor((size + 511) / 512) + kFinished);
  EXPECT_TRUE(received(sim) == image);
}

TEST_P(EndToEnd, PacketSizeFromTheModemIsHonouredUpTo512) {
  for (const char* reported : {"100", "2048"}) {
    SCOPED_TRACE(reported);
    ModemSimOptions options;
    options.setPacketSize = true;
    options.packetSize = reported;
    freshRig();
    ModemSimProcess* sim = plugDefaultModem(options);
    std::string image = writeImage("fw.bin", 1500);
    ASSERT_TRUE(run({"fw.bin"}).exitedWith(0));
    EXPECT_EQ(received(sim), image);
    std::vector<std::string> commands = commandsOf(sim);
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands[3], std::string("AT%DNLIMG ") + (reported[0] == '1' ? "100" : "512"));
  }
}

TEST_P(EndToEnd, UnusablePacketSizeFailsAfterTheStartMessage) {
  for (const char* reported : {"0", "-5", "abc", ""}) {
    SCOPED_TRACE(reported);
    ModemSimOptions options;
    options.setPacketSize = true;
    options.packetSize = reported;
    freshRig();
    ModemSimProcess* sim = plugDefaultModem(options);
    writeImage("fw.bin", 700);
    expectRun(run({"fw.bin"}), 1, kBanner + startMessage("fw.bin") + kDownloadFailed);
    EXPECT_EQ(commandsOf(sim), (std::vector<std::string>{"AT", "AT%DNLPK?"}));
    EXPECT_EQ(received(sim), "");
  }
}

TEST_P(EndToEnd, ErrorAtTheEleventhPacketStopsTheDownload) {
  ModemSimOptions options;
  options.errorAtPacket = 11;
  ModemSimProcess* sim = plugDefaultModem(options);
  writeImage("fw.bin", 20 * 512);
  expectRun(run({"fw.bin"}), 1, kBanner + startMessage("fw.bin") + "/\b-\b" + kDownloadFailed);
  std::vector<std::string> commands = commandsOf(sim);
  EXPECT_EQ(commands.size(), 3u + 11u);
  EXPECT_EQ(commands.back(), "AT%DNLIMG 512");
  EXPECT_EQ(received(sim), "");
}

TEST_P(EndToEnd, ErrorAtTheEndFailsTheDownload) {
  ModemSimOptions options;
  options.errorAtEnd = true;
  ModemSimProcess* sim = plugDefaultModem(options);
  writeImage("fw.bin", 2000);
  expectRun(run({"fw.bin"}), 1, kBanner + startMessage("fw.bin") + "/\b" + kDownloadFailed);
  EXPECT_EQ(commandsOf(sim).back(), "AT%DNL=0");
}

TEST_P(EndToEnd, MissingImageIsReportedAndNothingIsSent) {
  ModemSimProcess* sim = plugDefaultModem();
  RunResult r = run({"absent.bin"});
  expectRun(r, 1,
            kBanner + "ERROR: Tarnwick\n failed with error code 2 as follows:\n" +
                fileNotFoundText() + "\n" + kDownloadFailed);
  EXPECT_EQ(sim->commandLog(), std::vector<std::string>{"AT"});
}

}  // namespace
}  // namespace tarnwick::testing
