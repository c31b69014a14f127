#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "atlink/at_interface.h"
#include "discovery/default_identities.h"
#include "discovery/search_policies.h"
#include "support/fake_serial_port.h"
#include "support/fake_usb_device_list.h"

namespace tarnwick {
namespace {

using testing::fakeDevice;
using testing::FakeSerialPort;
using testing::FakeUsbDevice;
using testing::FakeUsbDeviceList;

const char kFailed[] = "Failed to find UE\n";
constexpr int kUntouched = -77;

// Counts pauses instead of waiting them out, and notes them in the shared
// journal so their place between the scans shows.
class RecordingSleeper : public Sleeper {
 public:
  explicit RecordingSleeper(std::vector<std::string>& journal) : journal_(journal) {}
  void sleepMs(unsigned milliseconds) override {
    pauses.push_back(milliseconds);
    journal_.push_back("sleep " + std::to_string(milliseconds));
  }
  std::vector<unsigned> pauses;

 private:
  std::vector<std::string>& journal_;
};

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// An interface of the modem of built-in entry `entry`, as Windows lists it.
FakeUsbDevice entryDevice(unsigned entry, const char* portName) {
  return fakeDevice({"USB\\VID_" + upper(defaultVendorIds[entry]) + "&PID_" +
                     upper(defaultProductIds[entry]) + "&REV_0318&MI_02"},
                    portName);
}

class SearchPolicies : public ::testing::Test {
 protected:
  SearchPolicies() : sleeper(journal) { devices.journal = &journal; }

  // Index of the device whose PortName each scan read, in scan order.
  std::vector<std::string> portReads() const {
    std::vector<std::string> reads;
    for (const std::string& call : devices.calls) {
      if (call.rfind("port ", 0) == 0) reads.push_back(call);
    }
    return reads;
  }

  // Every scan is followed by one pause of `ms`, before the next scan.
  void expectPauseAfterEveryScan(unsigned ms) {
    const std::string pause = "sleep " + std::to_string(ms);
    std::size_t closes = 0;
    for (std::size_t i = 0; i < journal.size(); ++i) {
      if (journal[i] != "close") continue;
      ++closes;
      ASSERT_LT(i + 1, journal.size());
      EXPECT_EQ(journal[i + 1], pause) << "after scan " << closes;
    }
    EXPECT_EQ(closes, sleeper.pauses.size());
  }

  std::vector<std::string> journal;
  FakeUsbDeviceList devices;
  RecordingSleeper sleeper;
  int comNumber = kUntouched;
};

TEST(DefaultIdentities, AreTwoDistinctPairsOfFourLowerCaseHexDigits) {
  ASSERT_EQ(kDefaultIdentityCount, 2u);
  for (unsigned i = 0; i < kDefaultIdentityCount; ++i) {
    for (const std::string text : {defaultVendorIds[i], defaultProductIds[i]}) {
      EXPECT_EQ(text.size(), 4u) << text;
      EXPECT_EQ(text.find_first_not_of("0123456789abcdef"), std::string::npos) << text;
    }
    EXPECT_EQ(defaultIdentity(i).vendorId, defaultVendorIds[i]);
    EXPECT_EQ(defaultIdentity(i).productId, defaultProductIds[i]);
  }
  EXPECT_NE(std::string(defaultVendorIds[0]) + defaultProductIds[0],
            std::string(defaultVendorIds[1]) + defaultProductIds[1]);
}

TEST_F(SearchPolicies, DefaultFoundUnderEntry0AtOnce) {
  devices.devices = {entryDevice(0, "COM3")};
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(searchDefaultDevices(devices, sleeper, comNumber));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(comNumber, 3);
  EXPECT_EQ(devices.scans(), 1u);
  EXPECT_EQ(sleeper.pauses, std::vector<unsigned>{500});
  EXPECT_EQ(journal.back(), "sleep 500");
}

TEST_F(SearchPolicies, DefaultTriesEntry0BeforeEntry1) {
  // Entry 0's device has no COM name, so its scan fails; entry 1's is found.
  devices.devices = {entryDevice(0, "LPT1"), entryDevice(1, "COM4")};
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(searchDefaultDevices(devices, sleeper, comNumber));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(comNumber, 4);
  EXPECT_EQ(portReads(), (std::vector<std::string>{"port 0", "port 1"}));
  EXPECT_EQ(sleeper.pauses, (std::vector<unsigned>{500, 500}));
  expectPauseAfterEveryScan(500);
}

TEST_F(SearchPolicies, DefaultFoundWhenTheDeviceArrivesInTheThirdPass) {
  FakeUsbDevice late = entryDevice(1, "COM5");
  late.presentFromScan = 4;
  devices.devices = {late};
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(searchDefaultDevices(devices, sleeper, comNumber));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(comNumber, 5);
  EXPECT_EQ(devices.scans(), 6u);
  EXPECT_EQ(sleeper.pauses, std::vector<unsigned>(6, 500));
}

TEST_F(SearchPolicies, DefaultNeverFoundAlternatesTenScans) {
  devices.devices = {entryDevice(0, "LPT1"), entryDevice(1, "LPT2")};
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(searchDefaultDevices(devices, sleeper, comNumber));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kFailed);
  EXPECT_EQ(comNumber, kUntouched);
  std::vector<std::string> alternating;
  for (int pass = 0; pass < 5; ++pass) alternating.insert(alternating.end(), {"port 0", "port 1"});
  EXPECT_EQ(portReads(), alternating);
  EXPECT_EQ(devices.scans(), 10u);
  EXPECT_EQ(sleeper.pauses, std::vector<unsigned>(10, 500));
  expectPauseAfterEveryScan(500);
}

TEST_F(SearchPolicies, DeviceWithZeroAttemptsOnlyReports) {
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(searchDevice(devices, sleeper, {"12ab", "34cd"}, 0, comNumber));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kFailed);
  EXPECT_TRUE(devices.calls.empty());
  EXPECT_TRUE(sleeper.pauses.empty());
  EXPECT_EQ(comNumber, kUntouched);
}

TEST_F(SearchPolicies, DeviceFoundAtTheThirdOfFiveAttempts) {
  FakeUsbDevice late = fakeDevice({"USB\\VID_12AB&PID_34CD&MI_00"}, "COM9");
  late.presentFromScan = 2;
  devices.devices = {late};
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(searchDevice(devices, sleeper, {"12ab", "34cd"}, 5, comNumber));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(comNumber, 9);
  EXPECT_EQ(devices.scans(), 3u);
  EXPECT_EQ(sleeper.pauses, std::vector<unsigned>(3, 1000));
  expectPauseAfterEveryScan(1000);
}

TEST_F(SearchPolicies, DeviceNeverFound) {
  devices.devices = {entryDevice(0, "COM3")};
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(searchDevice(devices, sleeper, {"12ab", "34cd"}, 5, comNumber));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kFailed);
  EXPECT_EQ(comNumber, kUntouched);
  EXPECT_EQ(devices.scans(), 5u);
  EXPECT_EQ(sleeper.pauses, std::vector<unsigned>(5, 1000));
  expectPauseAfterEveryScan(1000);
}

class ConnectDefaultDevice : public SearchPolicies {
 protected:
  ConnectDefaultDevice() {
    auto fake = std::make_unique<FakeSerialPort>();
    port = fake.get();
    link = std::make_unique<AtInterface>(std::move(fake));
  }
  FakeSerialPort* port = nullptr;
  std::unique_ptr<AtInterface> link;
};

TEST_F(ConnectDefaultDevice, NothingFoundOpensNoPort) {
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(connectDefaultDevice(*link, devices, sleeper));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kFailed);
  EXPECT_TRUE(port->opened.empty());
  EXPECT_TRUE(port->written.empty());
  EXPECT_EQ(devices.scans(), 10u);
}

TEST_F(ConnectDefaultDevice, InitialisesTheLinkOnTheFoundPort) {
  devices.devices = {entryDevice(1, "COM6")};
  port->setResponder([](const std::string& line) { return line + "\r\r\nOK\r\n"; });
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(connectDefaultDevice(*link, devices, sleeper));
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(port->opened, std::vector<int>{6});
  EXPECT_EQ(port->written, "AT\r");
  EXPECT_EQ(link->comNumber(), 6);
}

TEST_F(ConnectDefaultDevice, FailsWhenInitialiseFails) {
  devices.devices = {entryDevice(0, "COM2")};
  port->failOpen(2);
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(connectDefaultDevice(*link, devices, sleeper));
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(port->opened, std::vector<int>{2});
}

}  // namespace
}  // namespace tarnwick
