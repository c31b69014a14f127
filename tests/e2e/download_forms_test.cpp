// The three download forms, with the ways they choose the modem's port.
#include "e2e/end_to_end.h"

namespace tarnwick::testing {
namespace {

const UsbIds kCustomIds{"1a2b", "3c4d"};

TEST_P(EndToEnd, BareFileWithoutImageNameIsRefusedAfterConnecting) {
  ModemSimProcess* sim = plugDefaultModem();
  expectRun(run({"fw.img"}), 1, kBanner + kNotAnImageName + kDownloadFailed);
  EXPECT_EQ(sim->commandLog(), std::vector<std::string>{"AT"});
}

TEST_P(EndToEnd, BareFileWithoutModemDoesNotLookAtTheName) {
  expectRun(run({"fw.img"}), 1, kBanner + kFailedToFindUe + kDownloadFailed);
}

TEST_P(EndToEnd, DebugPrefixShowsTheVersionThenDownloads) {
  ModemSimProcess* sim = plugDefaultModem();
  std::string image = writeImage("DBfw.bin", 300);
  expectRun(run({"DBfw.bin"}), 0,
            kBanner + "\nTarnwick Debug - Sending AT Command\n\n\r\r\nSIMMODEM_V1.0\r\n\n\n" +
                startMessage("DBfw.bin") + "/\b" + kFinished);
  EXPECT_EQ(received(sim), image);
}

TEST_P(EndToEnd, DebugPrefixWithAFailedVersionQueryEndsQuietly) {
  ModemSimOptions options;
  options.cgmrError = true;
  ModemSimProcess* sim = plugDefaultModem(options);
  writeImage("DBfw.bin", 300);
  expectRun(run({"DBfw.bin"}), 1, kBanner + "\nTarnwick Debug - Sending AT Command\n\n");
  EXPECT_EQ(sim->commandLog(), (std::vector<std::string>{"AT", "AT+CGMR"}));
}

TEST_P(EndToEnd, FileOptionDownloadsToTheDefaultModem) {
  ModemSimProcess* sim = plugDefaultModem();
  std::string image = writeImage("fw.bin", 1000);
  expectRun(run({"-f", "fw.bin"}), 0, kBanner + startMessage("fw.bin") + "/\b" + kFinished);
  EXPECT_EQ(received(sim), image);
}

TEST_P(EndToEnd, ComOptionMustNameTheDefaultModemsPort) {
  ModemSimProcess* sim = plugDefaultModem({}, 7);
  std::string image = writeImage("fw.bin", 600);
  expectRun(run({"-c", "5", "fw.bin"}), 1, kBanner + kDownloadFailed,
            "Invalid COM Port COM5 specified - found device COM port COM7\n");
  EXPECT_TRUE(sim->commandLog().empty());
  expectRun(run({"-c", "7", "fw.bin"}), 0, kBanner + startMessage("fw.bin") + "/\b" + kFinished);
  EXPECT_EQ(received(sim), image);
}

TEST_P(EndToEnd, ComOptionWithIdsIsRefused) {
  expectRun(run({"-c", "7", "-p", "0x3c4d", "fw.bin"}), 1,
            kBanner + "cannot specify COM port with vid or pid\n" + kDownloadFailed);
}

TEST_P(EndToEnd, CustomIdentityFindsItsModemPastAPortlessParent) {
  std::string error;
  ASSERT_TRUE(rig_->plugPortlessDevice(kCustomIds, &error)) << error;
  ModemSimProcess* sim = plugModem({}, kCustomIds, 12);
  std::string image = writeImage("fw.bin", 5000);
  expectRun(run({"-v", "0x1a2b", "-p", "0x3c4d", "-f", "fw.bin"}), 0,
            kBanner + startMessage("fw.bin") + "/\b" + kFinished);
  EXPECT_EQ(received(sim), image);
}

TEST_P(EndToEnd, RejectedProductIdFailsAfterTheScan) {
  expectRun(run({"-p", "3c4d", "-v", "0x1a2b", "fw.bin"}), 1,
            kBanner + "Invalid pid specified\n" + kHelp + kDownloadFailed);
}

TEST_P(EndToEnd, MissingFileNameIsReportedTwice) {
  expectRun(run({"-c", "3", "-f"}), 1,
            kBanner + "no filename entered\nno filename entered\n" + kDownloadFailed);
}

}  // namespace
}  // namespace tarnwick::testing
