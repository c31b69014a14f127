// The AT link over a real pseudo-terminal, against the simulated modem.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "atlink/at_interface.h"
#include "platform/posix/posix_serial_port.h"
#include "support/modem_sim_process.h"
#include "support/temp_dir.h"

namespace tarnwick {
namespace {

using testing::ModemSimOptions;
using testing::ModemSimProcess;
using testing::TempDir;

int openDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dir != nullptr && readdir(dir) != nullptr) ++count;
  if (dir != nullptr) closedir(dir);
  return count;
}

// A link whose COM1 is the simulator's pseudo-terminal.
class AtLinkOnPty : public ::testing::Test {
 protected:
  AtInterface& start(const ModemSimOptions& options = {}) {
    std::string error;
    if (!sim_.start(options, &error)) throw std::runtime_error(error);
    if (symlink(sim_.ptyPath().c_str(), (devices_.path() + "/ttyUSB0").c_str()) != 0) {
      throw std::runtime_error("cannot link the pseudo-terminal");
    }
    link_ = std::make_unique<AtInterface>(std::make_unique<PosixSerialPort>(devices_.path()));
    return *link_;
  }
  std::unique_ptr<AtInterface> secondLink() const {
    return std::make_unique<AtInterface>(std::make_unique<PosixSerialPort>(devices_.path()));
  }

  TempDir devices_;
  ModemSimProcess sim_;
  std::unique_ptr<AtInterface> link_;
};

TEST_F(AtLinkOnPty, HandshakeAndCommandWithEcho) {
  AtInterface& link = start();
  ASSERT_TRUE(link.initialise(1));
  EXPECT_EQ(link.rawReply(), "AT\r\r\nOK\r\n");
  std::string raw, body;
  EXPECT_TRUE(link.sendCommand("AT+CGMR", raw, body));
  EXPECT_EQ(raw, "AT+CGMR\r\r\nSIMMODEM_V1.0\r\n\r\nOK\r\n");
  EXPECT_EQ(body, "\r\r\nSIMMODEM_V1.0\r\n");
}

TEST_F(AtLinkOnPty, EchoOffAndUnsolicitedLinesStayInTheReply) {
  ModemSimOptions options;
  options.echo = false;
  options.unsolicited = "\r\nRING\r\n";
  AtInterface& link = start(options);
  ASSERT_TRUE(link.initialise(1));
  std::string raw, body;
  EXPECT_TRUE(link.sendCommand("AT+CGMR", raw, body));
  EXPECT_EQ(raw, "\r\nRING\r\n\r\nSIMMODEM_V1.0\r\n\r\nOK\r\n");
}

TEST_F(AtLinkOnPty, ErrorClosesThePort) {
  ModemSimOptions options;
  options.errorAtCommand = 2;
  AtInterface& link = start(options);
  ASSERT_TRUE(link.initialise(1));
  std::string raw, body;
  EXPECT_FALSE(link.sendCommand("AT", raw, body));
  EXPECT_EQ(raw, "AT\r\r\nERROR\r\n");
  EXPECT_EQ(link.comNumber(), 0);
}

TEST_F(AtLinkOnPty, SilentModemFailsWithinTheBoundedWaits) {
  ModemSimOptions options;
  options.silentAtCommand = 2;
  AtInterface& link = start(options);
  ASSERT_TRUE(link.initialise(1));
  auto started = std::chrono::steady_clock::now();
  std::string raw, body;
  EXPECT_FALSE(link.sendCommand("AT", raw, body));
  auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(raw, "");
  EXPECT_LT(elapsed, std::chrono::milliseconds(50 * 200 + 500));
  EXPECT_EQ(link.comNumber(), 0);
}

TEST_F(AtLinkOnPty, EndlessReplyIsCutOffAtTheCap) {
  ModemSimOptions options;
  options.floodAtCommand = 2;
  AtInterface& link = start(options);
  ASSERT_TRUE(link.initialise(1));
  std::string raw, body;
  EXPECT_FALSE(link.sendCommand("AT", raw, body));
  EXPECT_EQ(raw.size(), 64u * 1024u);
  EXPECT_EQ(link.comNumber(), 0);
}

TEST_F(AtLinkOnPty, VanishingModemIsReportedOnEveryReadAndNothingHangs) {
  ModemSimOptions options;
  options.vanishAtCommand = 2;
  AtInterface& link = start(options);
  ASSERT_TRUE(link.initialise(1));
  ::testing::internal::CaptureStdout();
  std::string raw, body;
  bool result = link.sendCommand("AT", raw, body);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(result);
  EXPECT_NE(out.find("ERROR: readChar failed with error code 5 as follows:\n"), std::string::npos);
  EXPECT_NE(out.find("readchar: unable to read from UE for error 5.\n"), std::string::npos);
  EXPECT_EQ(link.comNumber(), 0);
  EXPECT_FALSE(link.initialise(1));
}

TEST_F(AtLinkOnPty, PortIsHeldForExclusiveUse) {
  AtInterface& link = start();
  ASSERT_TRUE(link.initialise(1));
  std::unique_ptr<AtInterface> other = secondLink();
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(other->initialise(1));
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("ERROR: Tarnwick Failed to connect to port\n failed with error code", 0), 0u);
  link.closePort();
  EXPECT_TRUE(other->initialise(1));
}

TEST_F(AtLinkOnPty, AThousandTransactionsAndReopensLeakNoDescriptors) {
  ModemSimOptions options;
  options.logCommands = false;
  AtInterface& link = start(options);
  ASSERT_TRUE(link.initialise(1));
  int descriptors = openDescriptors();
  std::string raw, body;
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(link.sendCommand("AT+CGMR", raw, body)) << i;
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(link.initialise(1)) << i;
  EXPECT_EQ(openDescriptors(), descriptors);
  link.closePort();
  EXPECT_EQ(openDescriptors(), descriptors - 1);
}

}  // namespace
}  // namespace tarnwick

namespace tarnwick {
namespace {

// The tty is given back as found: after the link closes, exclusive use is
// off again for the next opener, whichever way the link ended.
TEST_F(AtLinkOnPty, ClosingReleasesExclusiveUseOnEveryPath) {
  AtInterface& link = start();
  const int observer = open(sim_.ptyPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(observer, 0);
  auto exclusive = [&] {
    int on = -1;
    return ioctl(observer, TIOCGEXCL, &on) == 0 ? on : -1;
  };
  // The observer is this process, so the link does not count it as another holder.
  ASSERT_TRUE(link.initialise(1));
  EXPECT_EQ(exclusive(), 1);
  link.closePort();
  EXPECT_EQ(exclusive(), 0);
  ASSERT_TRUE(link.initialise(1));
  std::string raw, body;
  EXPECT_FALSE(link.sendCommand("AT+UNKNOWN", raw, body));  // ERROR closes the port
  EXPECT_EQ(exclusive(), 0);
  close(observer);
}

}  // namespace
}  // namespace tarnwick
