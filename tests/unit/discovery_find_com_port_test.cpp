#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/find_com_port.h"
#include "support/fake_usb_device_list.h"

namespace tarnwick {
namespace {

using testing::fakeDevice;
using testing::FakeUsbDevice;
using testing::FakeUsbDeviceList;

const DeviceIdentity kModem{"12ab", "34cd"};
const std::string kModemId = "USB\\VID_12AB&PID_34CD&REV_0100&MI_02";
const std::string kOtherId = "USB\\VID_FFFF&PID_0001&REV_0100";
constexpr int kUntouched = -77;

// Runs one scan; checks that it printed nothing and released the snapshot
// exactly once, as its last call.
bool scan(FakeUsbDeviceList& list, const DeviceIdentity& identity, int& comNumber) {
  ::testing::internal::CaptureStdout();
  const bool found = findComPort(list, identity, comNumber);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(list.countCalls("close"), 1u);
  EXPECT_EQ(list.calls.back(), "close");
  return found;
}

// COM number found for `devices`, or kUntouched when the scan fails.
int scanFor(const std::vector<FakeUsbDevice>& devices, const DeviceIdentity& identity = kModem) {
  FakeUsbDeviceList list;
  list.devices = devices;
  int comNumber = kUntouched;
  const bool found = scan(list, identity, comNumber);
  EXPECT_EQ(found, comNumber != kUntouched);
  return comNumber;
}

// The hardware-id list `ids`, padded with a second id to exactly `size` bytes.
FakeUsbDevice deviceWithListSize(const std::string& firstId, std::size_t size,
                                 const char* portName) {
  const std::size_t padding = size - firstId.size() - 3;
  FakeUsbDevice device = fakeDevice({firstId, std::string(padding, 'X')}, portName);
  EXPECT_EQ(device.hardwareIds.size(), size);
  return device;
}

TEST(FindComPortMatching, LowersTheHardwareIdButNotTheIdentity) {
  EXPECT_EQ(scanFor({fakeDevice({kModemId}, "COM4")}), 4);
  EXPECT_EQ(scanFor({fakeDevice({kModemId}, "COM4")}, {"12AB", "34CD"}), kUntouched);
  EXPECT_EQ(scanFor({fakeDevice({"usb\\vid_12ab&pid_34cd"}, "COM4")}), 4);
}

TEST(FindComPortMatching, LooksOnlyAtTheFirstId) {
  FakeUsbDeviceList list;
  list.devices = {fakeDevice({kOtherId, kModemId}, "COM4")};
  int comNumber = kUntouched;
  EXPECT_FALSE(scan(list, kModem, comNumber));
  EXPECT_EQ(list.countCalls("port 0"), 0u);
  EXPECT_EQ(comNumber, kUntouched);
}

TEST(FindComPortMatching, IsASubstringSearch) {
  EXPECT_EQ(scanFor({fakeDevice({kModemId}, "COM4")}, {"12ab", "34c"}), 4);
  EXPECT_EQ(scanFor({fakeDevice({kModemId}, "COM4")}, {"12ab", "34cd&rev_0100"}), 4);
  EXPECT_EQ(scanFor({fakeDevice({kModemId}, "COM4")}, {"12ab", "34cd&mi_02"}), kUntouched);
}

TEST(FindComPortMatching, FirstMatchingDeviceWithAComNameWins) {
  EXPECT_EQ(scanFor({fakeDevice({kOtherId}, "COM1"), fakeDevice({kModemId}, "COM5"),
                     fakeDevice({kModemId}, "COM6")}),
            5);
}

TEST(FindComPortListSize, ExaminesA1023ByteListAndSkipsA1024ByteOneUnread) {
  EXPECT_EQ(scanFor({deviceWithListSize(kModemId, 1023, "COM3")}), 3);

  FakeUsbDeviceList list;
  list.devices = {deviceWithListSize(kModemId, 1024, "COM3"), fakeDevice({kModemId}, "COM8")};
  int comNumber = kUntouched;
  EXPECT_TRUE(scan(list, kModem, comNumber));
  EXPECT_EQ(comNumber, 8);
  EXPECT_EQ(list.countCalls("size 0"), 1u);
  EXPECT_EQ(list.countCalls("ids 0"), 0u);
}

TEST(FindComPortListSize, TrustsTheReportedSizeBeforeReading) {
  FakeUsbDevice huge = fakeDevice({kModemId}, "COM3");
  huge.overrideSize = true;
  huge.reportedSize = 70000;
  FakeUsbDeviceList list;
  list.devices = {huge, fakeDevice({kModemId}, "COM8")};
  int comNumber = kUntouched;
  EXPECT_TRUE(scan(list, kModem, comNumber));
  EXPECT_EQ(comNumber, 8);
  EXPECT_EQ(list.countCalls("ids 0"), 0u);
}

TEST(FindComPortSkips, UnreadableIdListThenMatch) {
  FakeUsbDevice unreadable = fakeDevice({kModemId}, "COM1");
  unreadable.idReadFails = true;
  FakeUsbDeviceList list;
  list.devices = {unreadable, fakeDevice({kModemId}, "COM2")};
  int comNumber = kUntouched;
  EXPECT_TRUE(scan(list, kModem, comNumber));
  EXPECT_EQ(comNumber, 2);
  EXPECT_EQ(list.countCalls("port 0"), 0u);
}

TEST(FindComPortSkips, CompositeParentWithoutPortNameBeforeItsInterface) {
  const FakeUsbDevice parent = fakeDevice({"USB\\VID_12AB&PID_34CD&REV_0100"});
  EXPECT_EQ(scanFor({parent, fakeDevice({kModemId}, "COM7")}), 7);
}

TEST(FindComPortSkips, PortNameLargerThanTheBuffer) {
  const std::string longName = "COM1" + std::string(1021, ' ');
  EXPECT_EQ(scanFor({fakeDevice({kModemId}, longName.c_str()), fakeDevice({kModemId}, "COM9")}), 9);
}

TEST(FindComPortPortName, ParsesTheStoredValue) {
  EXPECT_EQ(scanFor({fakeDevice({kModemId}, "COM12")}), 12);
  EXPECT_EQ(scanFor({fakeDevice({kModemId}, "COM 5")}), 5);
  EXPECT_EQ(scanFor({fakeDevice({kModemId}, "COM3x")}), 3);
}

TEST(FindComPortPortName, ValueWithoutTerminatorFillingTheBuffer) {
  FakeUsbDevice device = fakeDevice({kModemId});
  device.hasPortName = true;
  device.portName = "COM" + std::string(1020, '0') + "9";
  ASSERT_EQ(device.portName.size(), kPortNameCapacity);
  EXPECT_EQ(scanFor({device}), 9);
}

TEST(FindComPortPortName, NotAComNameEndsTheScan) {
  for (const char* name : {"LPT1", "COMx", "COM", ""}) {
    FakeUsbDeviceList list;
    list.devices = {fakeDevice({kModemId}, name), fakeDevice({kModemId}, "COM4")};
    int comNumber = kUntouched;
    EXPECT_FALSE(scan(list, kModem, comNumber)) << name;
    EXPECT_EQ(comNumber, kUntouched) << name;
    EXPECT_EQ(list.countCalls("next"), 1u) << name;
    EXPECT_EQ(list.countCalls("size 1"), 0u) << name;
  }
}

TEST(FindComPortEnds, NothingMatchesLeavesTheNumberAlone) {
  FakeUsbDeviceList list;
  list.devices = {fakeDevice({kOtherId}, "COM1"), fakeDevice({kModemId})};
  int comNumber = kUntouched;
  EXPECT_FALSE(scan(list, kModem, comNumber));
  EXPECT_EQ(comNumber, kUntouched);
  EXPECT_EQ(list.countCalls("next"), 3u);
  EXPECT_EQ(list.countCalls("port 0"), 0u);
  EXPECT_EQ(list.countCalls("port 1"), 1u);
}

TEST(FindComPortEnds, EmptyListGivesFalse) {
  EXPECT_EQ(scanFor({}), kUntouched);
}

TEST(FindComPortEnds, NoSnapshotMeansNoScan) {
  FakeUsbDeviceList list;
  list.openFails = true;
  list.devices = {fakeDevice({kModemId}, "COM4")};
  int comNumber = kUntouched;
  EXPECT_FALSE(findComPort(list, kModem, comNumber));
  EXPECT_EQ(comNumber, kUntouched);
  EXPECT_EQ(list.calls, std::vector<std::string>{"open"});
}

TEST(FindComPortEnds, EachCallTakesAFreshSnapshot) {
  FakeUsbDevice late = fakeDevice({kModemId}, "COM4");
  late.presentFromScan = 1;
  FakeUsbDeviceList list;
  list.devices = {late};
  int comNumber = kUntouched;
  EXPECT_FALSE(findComPort(list, kModem, comNumber));
  EXPECT_TRUE(findComPort(list, kModem, comNumber));
  EXPECT_EQ(comNumber, 4);
  EXPECT_EQ(list.countCalls("open"), 2u);
  EXPECT_EQ(list.countCalls("close"), 2u);
}

}  // namespace
}  // namespace tarnwick
