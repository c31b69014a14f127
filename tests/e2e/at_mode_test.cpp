// AT command mode against a simulated modem.
#include "e2e/end_to_end.h"

namespace tarnwick::testing {
namespace {

TEST_P(EndToEnd, AtCommandReplyIsPrintedWhole) {
  ModemSimOptions options;
  options.versionText = "SIM_REV_2.1";
  ModemSimProcess* sim = plugDefaultModem(options);
  expectRun(run({"AT", "AT+CGMR"}), 0, kBanner + "AT+CGMR\r\r\nSIM_REV_2.1\r\n\r\nOK\r\n\n\n");
  EXPECT_EQ(sim->commandLog(), (std::vector<std::string>{"AT", "AT+CGMR"}));
}

TEST_P(EndToEnd, AtCommandIsSentAsTyped) {
  ModemSimProcess* sim = plugDefaultModem();
  RunResult r = run({"at", "at+cgmr"});
  EXPECT_EQ(sim->commandLog(), (std::vector<std::string>{"AT", "at+cgmr"}));
  expectRun(r, 1, kBanner + "at+cgmr\r\r\nERROR\r\n\n\n");
}

TEST_P(EndToEnd, AtCommandAnsweredWithErrorFails) {
  ModemSimOptions options;
  options.errorAtCommand = 2;
  plugDefaultModem(options);
  expectRun(run({"AT", "AT"}), 1, kBanner + "AT\r\r\nERROR\r\n\n\n");
}

TEST_P(EndToEnd, OkInsideTheEchoIsPrintedButTheCommandFailed) {
  plugDefaultModem();
  expectRun(run({"AT", "ATOK"}), 1, kBanner + "ATOK\r\r\nERROR\r\n\n\n");
}

TEST_P(EndToEnd, AtCommandWithoutModem) {
  expectRun(run({"AT", "AT+CGMR"}), 1, kBanner + kFailedToFindUe + kNoResponse);
}

TEST_P(EndToEnd, AtCommandWithEchoOffAndUnsolicitedLines) {
  ModemSimOptions options;
  options.echo = false;
  options.unsolicited = "\r\nRING\r\n";
  plugDefaultModem(options);
  expectRun(run({"AT", "AT+CGMR"}), 0, kBanner + "\r\nRING\r\n\r\nSIMMODEM_V1.0\r\n\r\nOK\r\n\n\n");
}

}  // namespace
}  // namespace tarnwick::testing

namespace tarnwick::testing {
namespace {

TEST_P(EndToEnd, HostileAtCommandsAreSentAsTextOrRefused) {
  ModemSimProcess* sim = plugDefaultModem();
  expectRun(run({"AT", "%n%s%x"}), 1, kBanner + "%n%s%x\r\r\nERROR\r\n\n\n");
  std::string nonAscii = nonAsciiArgumentAsReceived();
  expectRun(run({"AT", "AT\xff\xfe"}), 1, kBanner + nonAscii + "\r\r\nERROR\r\n\n\n");
  // Longer than a command line can carry: nothing is sent.
  expectRun(run({"AT", "AT" + std::string(longArgumentLength(), '9')}), 1, kBanner + kNoResponse);
  expectRun(run({"AT", ""}), 1, kBanner + "\r\r\nERROR\r\n\n\n");
  EXPECT_EQ(sim->commandLog(),
            (std::vector<std::string>{"AT", "%n%s%x", "AT", nonAscii, "AT", "AT", ""}));
}

}  // namespace
}  // namespace tarnwick::testing
