// The Windows device list (SetupAPI and the device registry key) under Wine,
// on USB device entries that the Wine rig puts in the prefix's registry.
// win-device-list.exe prints what the list hands to the matching code, byte
// for byte, escaped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/wine_rig.h"
#include "support/wine_rig_test.h"

namespace tarnwick::testing {
namespace {

constexpr int kRunLimitMs = 30000;

class WineDeviceListTest : public WineRigTest {
 protected:
  static void setDevices(const std::vector<WineUsbDevice>& devices) {
    std::string error;
    ASSERT_TRUE(rig().setUsbDevices(devices, &error)) << error;
  }

  // The whole standard output of win-device-list.exe. Wine is expected to
  // say nothing of its own on standard error.
  static std::string listDevices() {
    RunResult run =
        rig().run(windowsBuildFile("tests/windows/win-device-list.exe"), {}, kRunLimitMs);
    EXPECT_TRUE(run.exitedWith(0)) << run.describe();
    EXPECT_EQ(run.err, "") << run.describe();
    return run.out;
  }
};

TEST_F(WineDeviceListTest, CompositeParentWithoutPortThenItsInterfaceWithCom7) {
  setDevices({compositeParent("1234", "5678"), serialInterface("1234", "5678", "02", "COM7")});
  EXPECT_EQ(listDevices(),
            "device 0: id_size=54 ids=\"USB\\\\VID_1234&PID_5678&REV_0100\\0"
            "USB\\\\VID_1234&PID_5678\\0\\0\" port=none\n"
            "device 1: id_size=66 ids=\"USB\\\\VID_1234&PID_5678&REV_0100&MI_02\\0"
            "USB\\\\VID_1234&PID_5678&MI_02\\0\\0\" port=\"COM7\\0\"\n"
            "devices: 2\n");
}

TEST_F(WineDeviceListTest, TwoDevicesAreListedInTheGivenOrder) {
  // Given against the alphabetical order of their ids, so the rig's ordering
  // is what puts them in this order.
  setDevices({serialInterface("12d1", "1506", "00", "COM12"),
              serialInterface("0bdb", "1911", "01", "COM3")});
  EXPECT_EQ(listDevices(),
            "device 0: id_size=66 ids=\"USB\\\\VID_12d1&PID_1506&REV_0100&MI_00\\0"
            "USB\\\\VID_12d1&PID_1506&MI_00\\0\\0\" port=\"COM12\\0\"\n"
            "device 1: id_size=66 ids=\"USB\\\\VID_0bdb&PID_1911&REV_0100&MI_01\\0"
            "USB\\\\VID_0bdb&PID_1911&MI_01\\0\\0\" port=\"COM3\\0\"\n"
            "devices: 2\n");
}

TEST_F(WineDeviceListTest, PortNameThatIsNoComPortIsHandedOutUnchanged) {
  setDevices({serialInterface("abcd", "ef01", "00", "LPT1")});
  EXPECT_EQ(listDevices(),
            "device 0: id_size=66 ids=\"USB\\\\VID_abcd&PID_ef01&REV_0100&MI_00\\0"
            "USB\\\\VID_abcd&PID_ef01&MI_00\\0\\0\" port=\"LPT1\\0\"\n"
            "devices: 1\n");
}

TEST_F(WineDeviceListTest, DeviceWithoutHardwareIdsHasSizeZeroAndCannotBeRead) {
  setDevices({WineUsbDevice{std::nullopt, std::string("COM4")},
              serialInterface("1234", "5678", "00", "COM5")});
  EXPECT_EQ(listDevices(),
            "device 0: id_size=0 ids=unreadable port=\"COM4\\0\"\n"
            "device 1: id_size=66 ids=\"USB\\\\VID_1234&PID_5678&REV_0100&MI_00\\0"
            "USB\\\\VID_1234&PID_5678&MI_00\\0\\0\" port=\"COM5\\0\"\n"
            "devices: 2\n");
}

// The test program reads with the lookup's 1024-byte buffer: a list of 1024
// bytes fits, one of 1025 does not and must be refused, not cut.
TEST_F(WineDeviceListTest, HardwareIdListLargerThanTheBufferIsRefused) {
  const std::string id = "USB\\VID_1234&PID_5678";
  const std::string fits = id + std::string(1024 - id.size() - 2, 'X');
  const std::string tooLong = fits + 'X';
  setDevices({WineUsbDevice{multiString({fits}), std::nullopt},
              WineUsbDevice{multiString({tooLong}), std::nullopt}});
  const std::string listing = listDevices();
  EXPECT_NE(listing.find("device 0: id_size=1024 ids=\"USB\\\\VID_1234&PID_5678XXX"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("XXX\\0\\0\" port=none\ndevice 1: id_size=1025 ids=unreadable port=none\n"
                         "devices: 2\n"),
            std::string::npos)
      << listing;
}

// Each test states its own devices: new entries replace the earlier ones
// and nothing is left behind by `reset`.
TEST_F(WineDeviceListTest, RigReplacesAndRemovesItsEntries) {
  setDevices({serialInterface("1111", "2222", "00", "COM1"),
              serialInterface("3333", "4444", "00", "COM2")});
  setDevices({serialInterface("5555", "6666", "00", "COM9")});
  EXPECT_EQ(listDevices(),
            "device 0: id_size=66 ids=\"USB\\\\VID_5555&PID_6666&REV_0100&MI_00\\0"
            "USB\\\\VID_5555&PID_6666&MI_00\\0\\0\" port=\"COM9\\0\"\n"
            "devices: 1\n");
  std::string error;
  ASSERT_TRUE(rig().addUsbDevice(compositeParent("7777", "8888"), &error)) << error;
  EXPECT_NE(listDevices().find("device 1: id_size=54 ids=\"USB\\\\VID_7777&PID_8888&REV_0100"),
            std::string::npos);
  ASSERT_TRUE(rig().reset(&error)) << error;
  EXPECT_EQ(listDevices(), "devices: 0\n");
}

}  // namespace
}  // namespace tarnwick::testing
