// What the operator's console, a log file or a pipe receives, and what a
// port another program holds gets.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/end_to_end.h"

namespace tarnwick::testing {
namespace {

const std::vector<std::string> kBothStreamsToOnePipe = {"bash", "-c", "exec \"$@\" 2>&1", "bash"};

TEST_P(EndToEnd, StandardErrorLineStaysInItsPlaceOnAStreamSharedWithOutput) {
  plugDefaultModem({}, 7);
  writeImage("fw.bin", 100);
  RunResult r = rig_->runWrapped(kBothStreamsToOnePipe, {"-c", "5", "-f", "fw.bin"}, 30000);
  expectRun(
      r, 1,
      kBanner + "Invalid COM Port COM5 specified - found device COM port COM7\n" + kDownloadFailed);
}

TEST_P(EndToEnd, ReaderThatClosesThePipeEarlyDoesNotStopTheDownload) {
  if (isWindows()) GTEST_SKIP() << "a closed pipe ends a process only on Linux";
  ModemSimProcess* sim = plugDefaultModem();
  std::string image = writeImage("big.bin", 300 * 512);
  const std::vector<std::string> closedEarly = {
      "bash", "-c", "\"$@\" | head -c 5 >/dev/null; echo \"status ${PIPESTATUS[0]}\"", "bash"};
  expectRun(rig_->runWrapped(closedEarly, {"big.bin"}, 60000), 0, "status 0\n");
  EXPECT_EQ(received(sim), image);
  EXPECT_EQ(commandsOf(sim).back(), "AT%DNL=0");
}

TEST_P(EndToEnd, PortAnotherProgramHoldsIsRefusedAndItsHolderNamed) {
  if (isWindows()) GTEST_SKIP() << "Windows itself refuses a port opened without sharing";
  ModemSimProcess* sim = plugDefaultModem({}, 4);
  const int holder = open(sim->ptyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  RunResult r = run({"AT", "AT+CGMR"});
  close(holder);
  expectRun(r, 1,
            kBanner +
                "ERROR: Tarnwick Failed to connect to port\n failed with error code 16 as "
                "follows:\nDevice or resource busy\n" +
                "No response from AT command\n",
            "/dev/ttyUSB3 is held open by e2e_tests (pid " + std::to_string(getpid()) + ")\n");
  EXPECT_TRUE(sim->commandLog().empty());
}

// A software modem that keeps its own pty slave open (as iaxmodem does)
// holds the device's far end: it is no other user of the port.
TEST_P(EndToEnd, PtyWhoseOwnServerHoldsItsSlaveIsNotTakenAsHeld) {
  if (isWindows()) GTEST_SKIP() << "pseudo-terminal holders are Linux's";
  ModemSimOptions options;
  options.holdSlave = true;
  plugDefaultModem(options);
  RunResult r = run({"AT", "AT+CGMR"});
  EXPECT_TRUE(r.exitedWith(0)) << r.describe();
  EXPECT_EQ(r.err.find("held open"), std::string::npos) << r.err;
}

TEST_P(EndToEnd, SilentModemsHandshakeReportCarriesNoLeftOverErrorCode) {
  if (isWindows()) GTEST_SKIP() << "the Windows build reports what GetLastError holds";
  ModemSimOptions options;
  options.silentAtCommand = 1;
  plugDefaultModem(options);
  expectRun(
      run({"AT", "AT"}), 1,
      kBanner + "ERROR: initialise - AT interface failed\n" + "No response from AT command\n");
}

}  // namespace
}  // namespace tarnwick::testing

namespace tarnwick::testing {
namespace {

// A FIFO on Linux, the NUL device on Windows: neither is a file of bytes.
TEST_P(EndToEnd, ImageThatIsNoRegularFileIsRefusedAfterTheHandshake) {
  ModemSimProcess* sim = plugDefaultModem();
  std::string name = "NUL.bin";
  if (!isWindows()) {
    name = "fifo.bin";
    ASSERT_EQ(mkfifo((rig_->workDir() + "/" + name).c_str(), 0600), 0);
  }
  const std::string report =
      isWindows() ? "87 as follows:\nInvalid parameter.\r\n" : "22 as follows:\nInvalid argument";
  expectRun(
      run({name}, 20000), 1,
      kBanner + "ERROR: Tarnwick\n failed with error code " + report + "\n" + kDownloadFailed);
  EXPECT_EQ(sim->commandLog(), std::vector<std::string>{"AT"});
}

}  // namespace
}  // namespace tarnwick::testing
