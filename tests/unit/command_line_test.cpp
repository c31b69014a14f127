#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "atlink/at_interface.h"
#include "cli/debug_mode.h"
#include "cli/entry.h"
#include "discovery/default_identities.h"
#include "download/spinner.h"
#include "support/fake_modem.h"
#include "support/fake_serial_port.h"
#include "support/fake_usb_device_list.h"
#include "support/expected_text.h"
#include "support/recording_sleeper.h"
#include "support/temp_dir.h"

namespace tarnwick {
namespace {

using namespace tarnwick::testing;

const std::string& kFailed = kDownloadFailed;
const std::string& kNoUe = kFailedToFindUe;

std::string upperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The whole program on fakes: a modem visible as a USB device on a COM port.
class CommandLineTest : public ::testing::Test {
 protected:
  CommandLineTest()
      : port_(new FakeSerialPort), link_(std::unique_ptr<SerialPort>(port_)), modem_(*port_) {
    debugMode = false;
    spinnerIndex = 0;
  }

  void plugDefaultModem(unsigned entry, const char* portName) {
    DeviceIdentity id = defaultIdentity(entry);
    std::string hardwareId =
        "USB\\VID_" + upperCase(id.vendorId) + "&PID_" + upperCase(id.productId) + "&MI_00";
    devices_.devices.push_back(fakeDevice({hardwareId}, portName));
  }
  void plugModem(const std::string& hardwareId, const char* portName) {
    devices_.devices.push_back(fakeDevice({hardwareId}, portName));
  }

  struct Run {
    int exitCode;
    std::string out;
    std::string err;
  };
  Run run(std::vector<std::string> args) {
    args.insert(args.begin(), "tarnwick");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ToolContext context{link_, devices_, sleeper_};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    int code = runTool(static_cast<int>(args.size()), argv.data(), context);
    std::string err = ::testing::internal::GetCapturedStderr();
    return Run{code, ::testing::internal::GetCapturedStdout(), err};
  }
  std::string image(std::size_t size) {
    return dir_.writeFile("fw.bin", patternBytes(size));
  }
  static std::string start(const std::string& path) { return startMessage(path); }

  TempDir dir_;
  FakeSerialPort* port_;
  AtInterface link_;
  FakeModem modem_;
  FakeUsbDeviceList devices_;
  RecordingSleeper sleeper_;
};

TEST_F(CommandLineTest, FormsThatNeedNoModem) {
  Run r = run({});
  EXPECT_EQ(r.out, kBanner + kHelp);
  EXPECT_EQ(r.exitCode, -1);

  r = run({"AT"});
  EXPECT_EQ(r.out, kBanner + "AT Mode : AT command string required\n" + kHelp + kFailed);
  EXPECT_EQ(r.exitCode, 1);

  for (auto args : {std::vector<std::string>{"-debug", "x.bin"}, {"x.bin", "-debug"}}) {
    r = run(args);
    EXPECT_EQ(r.out, kBanner + "argc = 3\n\n" + kHelp);
    EXPECT_EQ(r.exitCode, 0);
  }
  debugMode = false;

  for (auto args : {std::vector<std::string>{"hello", "x.bin"}, {"At", "AT+CGMR"}}) {
    r = run(args);
    EXPECT_EQ(r.out, kBanner + "invalid syntax specified\n" + kHelp);
    EXPECT_EQ(r.exitCode, 1);
  }

  r = run({"x.bin", "-c", "3"});
  EXPECT_EQ(r.out, kBanner + "invalid syntax\n");
  EXPECT_EQ(r.exitCode, 1);

  r = run({"-F", "image.txt"});
  EXPECT_EQ(r.out, kBanner + "invalid filename entered - not a .bin\n" + kFailed);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(devices_.scans(), 0u);
  EXPECT_TRUE(port_->opened.empty());
}

TEST_F(CommandLineTest, AtCommandPrintsTheWholeReply) {
  plugDefaultModem(0, "COM4");
  Run r = run({"AT", "AT+CGMR"});
  EXPECT_EQ(r.out, kBanner + "AT+CGMR\r\r\nFAKE_REV_1\r\n\r\nOK\r\n\n\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(port_->opened, std::vector<int>{4});
  EXPECT_EQ(sleeper_.pauses, std::vector<unsigned>{500});

  r = run({"at", "at+cgmr"});
  EXPECT_EQ(modem_.commands.back(), "at+cgmr");
  EXPECT_EQ(r.out, kBanner + "at+cgmr\r\r\nERROR\r\n\n\n");
  EXPECT_EQ(r.exitCode, 1);

  // "OK" inside the echo is enough to print the reply, but the command failed.
  r = run({"AT", "ATOK"});
  EXPECT_EQ(r.out, kBanner + "ATOK\r\r\nERROR\r\n\n\n");
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(CommandLineTest, AtCommandWithoutModem) {
  Run r = run({"AT", "AT+CGMR"});
  EXPECT_EQ(r.out, kBanner + kNoUe + "No response from AT command\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(devices_.scans(), 10u);
  EXPECT_TRUE(port_->opened.empty());
}

TEST_F(CommandLineTest, BareFileDownload) {
  plugDefaultModem(1, "COM6");
  std::string path = image(1300);
  Run r = run({path});
  EXPECT_EQ(r.out, kBanner + start(path) + "/\b" + kFinished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(modem_.image, patternBytes(1300));
  EXPECT_EQ(link_.comNumber(), 6);

  r = run({dir_.path() + "/fw.txt"});
  EXPECT_EQ(r.out, kBanner + "invalid filename entered - not a .bin\n" + kFailed);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(link_.comNumber(), 0);
}

TEST_F(CommandLineTest, BareFileWithoutModemDoesNotLookAtTheName) {
  Run r = run({"whatever"});
  EXPECT_EQ(r.out, kBanner + kNoUe + kFailed);
  EXPECT_EQ(r.exitCode, 1);
}

TEST_F(CommandLineTest, DebugPrefixAsksForTheVersionFirst) {
  plugDefaultModem(0, "COM4");
  dir_.writeFile("DBfw.bin", patternBytes(10));
  std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  Run r = run({"DBfw.bin"});
  std::filesystem::current_path(cwd);
  EXPECT_EQ(r.out, kBanner + "\nTarnwick Debug - Sending AT Command\n\n" +
                       "\r\r\nFAKE_REV_1\r\n\n\n" + start("DBfw.bin") + "/\b" + kFinished);
  EXPECT_EQ(r.exitCode, 0);

  modem_.versionReply = "\r\nERROR\r\n";
  r = run({"DBfw.bin"});
  EXPECT_EQ(r.out, kBanner + "\nTarnwick Debug - Sending AT Command\n\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(link_.comNumber(), 0);

  r = run({"dbfw.txt"});
  EXPECT_EQ(r.out, kBanner + "invalid filename entered - not a .bin\n" + kFailed);
}

TEST_F(CommandLineTest, OptionListPortChoice) {
  plugDefaultModem(0, "COM7");
  std::string path = image(100);
  Run r = run({"-c", "7", path});
  EXPECT_EQ(r.out, kBanner + start(path) + "/\b" + kFinished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(port_->opened.back(), 7);

  r = run({"-c", "5", path});
  EXPECT_EQ(r.err, "Invalid COM Port COM5 specified - found device COM port COM7\n");
  EXPECT_EQ(r.out, kBanner + kFailed);
  EXPECT_EQ(r.exitCode, 1);

  r = run({"-c", "x", "-debug", path});
  EXPECT_EQ(r.err, "Invalid COM Port COM0 specified - found device COM port COM7\n");
  EXPECT_EQ(r.out, kBanner + "argc = 5\n\n-c specified\n-c specified : COMPORT = 0\n" +
                       "file option -f not specified - searching for file to download : "
                       "argvIndex = 4\nvalid filename specified : " + path +
                       "\nInitialising COM Port : status == false\n" + kFailed);
  debugMode = false;

  r = run({"-c", "7", "-p", "0x1234", path});
  EXPECT_EQ(r.out, kBanner + "cannot specify COM port with vid or pid\n" + kFailed);
}

TEST_F(CommandLineTest, OptionListCustomIdentity) {
  plugModem("USB\\VID_1A2B&PID_3C4D&REV_0100&MI_02", "COM12");
  std::string path = image(600);
  Run r = run({"-v", "0x1a2b", "-p", "0x3c4d99", "-f", path});
  EXPECT_EQ(r.out, kBanner + start(path) + "/\b" + kFinished);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(port_->opened.back(), 12);
  EXPECT_EQ(sleeper_.pauses, std::vector<unsigned>{1000});

  r = run({"-p", "1234", "-v", "0x1a2b", path});
  EXPECT_EQ(r.out, kBanner + "Invalid pid specified\n" + kHelp + kFailed);
  EXPECT_EQ(r.exitCode, 1);

  r = run({"-p", "0x3c4d", "-f", path});
  EXPECT_EQ(r.out, kBanner + kFailed);

  r = run({"-v", "0xffff", "-v", "0x1a2b", "-p", "0x3c4d", path});
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(CommandLineTest, OptionListFileChoice) {
  Run r = run({"-c", "3", "-f"});
  EXPECT_EQ(r.out, kBanner + "no filename entered\nno filename entered\n" + kFailed);

  r = run({"-debug", "-c", "3", "-f"});
  EXPECT_EQ(r.out, kBanner + "argc = 5\n\n-c specified\n-c specified : COMPORT = 3\n" +
                       "-f specified\nno filename entered\n" +
                       "file option -f not specified - searching for file to download : "
                       "argvIndex = 6\nno filename entered\n" + kFailed);
  debugMode = false;

  r = run({"-f", "a.bin", "word", "-c", "3"});
  EXPECT_EQ(r.out, kBanner + kFailed);

  r = run({"-DEBUG", "-f", "a.bin"});
  EXPECT_EQ(r.out, kBanner + kFailed);

  r = run({"-f", "a.txt", "-c", "3"});
  EXPECT_EQ(r.out, kBanner + "invalid filename entered - not a .bin\n" + kFailed);

  r = run({"-c", "3", "image.txt"});
  EXPECT_EQ(r.out, kBanner + "invalid filename entered - not a .bin\n" + kFailed);

  // A value is taken whatever it looks like: here "-f" is the COM value.
  r = run({"-c", "-f", "a.bin"});
  EXPECT_EQ(r.out, kBanner + kNoUe + kFailed);
  EXPECT_EQ(devices_.scans(), 10u);
}

}  // namespace
}  // namespace tarnwick
