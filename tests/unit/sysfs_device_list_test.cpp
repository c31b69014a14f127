#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "discovery/default_identities.h"
#include "discovery/find_com_port.h"
#include "platform/posix/sysfs_usb_device_list.h"
#include "support/fake_sysfs.h"

namespace tarnwick {
namespace {

using namespace std::string_literals;
using testing::FakeSysfs;
using testing::FakeUsbModem;

const FakeUsbModem kAcmModem{"3-5", "12ab", "34cd", "0100"};
const FakeUsbModem kSerialModem{"3-4", "2c7c", "0125", "0318"};

// What the list holds for one tty.
struct Listed {
  std::string hardwareIds;
  bool hasPortName = false;
  std::string portName;
};

// Every entry of the list over `fake`, in order; fails the test when the
// list cannot be opened.
std::vector<Listed> listAll(const FakeSysfs& fake) {
  SysfsUsbDeviceList list(fake.sysRoot(), fake.devRoot());
  std::vector<Listed> entries;
  EXPECT_TRUE(list.open());
  while (list.next()) {
    Listed entry;
    char buffer[kHardwareIdCapacity];
    std::uint32_t delivered = 0;
    EXPECT_TRUE(list.readHardwareIdList(buffer, sizeof buffer, delivered));
    EXPECT_EQ(delivered, list.hardwareIdListSize());
    entry.hardwareIds.assign(buffer, delivered);
    entry.hasPortName = list.readPortName(buffer, sizeof buffer, delivered);
    if (entry.hasPortName) entry.portName.assign(buffer, delivered);
    entries.push_back(entry);
  }
  list.close();
  return entries;
}

TEST(SysfsDeviceList, AcmPortShowsWindowsHardwareIdsAndComName) {
  FakeSysfs fake;
  fake.addAcmPort(kAcmModem, "02", "ttyACM3");
  fake.addDeviceNode("ttyACM3");
  const std::vector<Listed> entries = listAll(fake);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].hardwareIds,
            "USB\\VID_12AB&PID_34CD&REV_0100&MI_02\0USB\\VID_12AB&PID_34CD&MI_02\0\0"s);
  EXPECT_TRUE(entries[0].hasPortName);
  EXPECT_EQ(entries[0].portName, "COM104\0"s);
}

TEST(SysfsDeviceList, UsbSerialPortUsesTheInterfaceAboveThePort) {
  FakeSysfs fake;
  fake.addUsbSerialPort(kSerialModem, "0a", "ttyUSB2");
  fake.addDeviceNode("ttyUSB2");
  const std::vector<Listed> entries = listAll(fake);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].hardwareIds,
            "USB\\VID_2C7C&PID_0125&REV_0318&MI_0A\0USB\\VID_2C7C&PID_0125&MI_0A\0\0"s);
  EXPECT_EQ(entries[0].portName, "COM3\0"s);
}

TEST(SysfsDeviceList, ClassifiesByTheSubsystemLinkNotTheName) {
  FakeSysfs fake;
  fake.addUsbSerialPort(kSerialModem, "03", "ttyACM4");
  fake.addAcmPort(kAcmModem, "02", "ttyUSB7");
  const std::vector<Listed> entries = listAll(fake);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].hardwareIds.substr(0, 37), "USB\\VID_2C7C&PID_0125&REV_0318&MI_03\0"s);
  EXPECT_EQ(entries[1].hardwareIds.substr(0, 37), "USB\\VID_12AB&PID_34CD&REV_0100&MI_02\0"s);
}

TEST(SysfsDeviceList, ListsUsbTtysInNameOrderNumbersAsNumbers) {
  FakeSysfs fake;
  for (const char* tty : {"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyUSB11", "ttyUSB1"}) {
    fake.addUsbSerialPort(kSerialModem, "00", tty);
    fake.addDeviceNode(tty);
  }
  for (const char* tty : {"ttyACM20", "ttyACM1", "ttyACM3"}) {
    fake.addAcmPort(kAcmModem, "02", tty);
    fake.addDeviceNode(tty);
  }
  std::vector<std::string> names;
  for (const Listed& entry : listAll(fake)) names.push_back(entry.portName.c_str());
  EXPECT_EQ(names, (std::vector<std::string>{"COM102", "COM104", "COM121", "COM1", "COM2", "COM3",
                                             "COM11", "COM12"}));
}

TEST(SysfsDeviceList, IgnoresTtysThatAreNotUsbSerialPorts) {
  FakeSysfs fake;
  fake.addPlatformTty("ttyS0");
  // Named like a USB tty, but the subsystem link says otherwise.
  fake.addPlatformTty("ttyUSB0");
  fake.addDeviceNode("ttyS0");
  fake.addDeviceNode("ttyUSB0");
  // A USB port whose name has no COM number.
  fake.addAcmPort(kAcmModem, "00", "ttyGS0");
  fake.addDeviceNode("ttyGS0");
  // A virtual tty with no device link at all.
  std::filesystem::create_directories(fake.sysRoot() + "/devices/virtual/tty/ttyACM7");
  std::filesystem::create_directory_symlink("../../devices/virtual/tty/ttyACM7",
                                            fake.sysRoot() + "/class/tty/ttyACM7");
  EXPECT_TRUE(listAll(fake).empty());
}

TEST(SysfsDeviceList, SkipsAPortWithUnreadableDeviceAttributes) {
  FakeSysfs fake;
  fake.addAcmPort(kAcmModem, "02", "ttyACM0");
  fake.addAcmPort({"3-6", "1234", "5678", "0001"}, "00", "ttyACM1");
  fake.writeModemAttribute({"3-6", "", "", ""}, "idProduct", "zz\n");
  const std::vector<Listed> entries = listAll(fake);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].hardwareIds.substr(0, 21), "USB\\VID_12AB&PID_34CD");
}

TEST(SysfsDeviceList, NoPortNameWithoutADeviceNode) {
  FakeSysfs fake;
  fake.addAcmPort(kAcmModem, "00", "ttyACM0");
  fake.addAcmPort(kAcmModem, "02", "ttyACM1");
  fake.addAcmPort(kAcmModem, "04", "ttyACM2");
  fake.addDeviceNode("ttyACM1", fake.devRoot() + "/missing");
  std::ofstream(fake.devRoot() + "/plain-file") << "x";
  fake.addDeviceNode("ttyACM2", fake.devRoot() + "/plain-file");
  const std::vector<Listed> entries = listAll(fake);
  ASSERT_EQ(entries.size(), 3u);
  for (const Listed& entry : entries) EXPECT_FALSE(entry.hasPortName);
}

TEST(SysfsDeviceList, MissingSysfsGivesNoList) {
  SysfsUsbDeviceList list("/nonexistent-tarnwick-sysfs", "/dev");
  EXPECT_FALSE(list.open());
}

TEST(SysfsDeviceList, ReadsRespectTheCallersCapacity) {
  FakeSysfs fake;
  fake.addAcmPort(kAcmModem, "02", "ttyACM0");
  fake.addDeviceNode("ttyACM0");
  SysfsUsbDeviceList list(fake.sysRoot(), fake.devRoot());
  char buffer[8];
  std::uint32_t delivered = 0;
  ASSERT_TRUE(list.open());
  EXPECT_EQ(list.hardwareIdListSize(), 0u);
  EXPECT_FALSE(list.readPortName(buffer, sizeof buffer, delivered));
  ASSERT_TRUE(list.next());
  EXPECT_FALSE(list.readHardwareIdList(buffer, sizeof buffer, delivered));
  EXPECT_FALSE(list.readPortName(buffer, 6, delivered));
  EXPECT_TRUE(list.readPortName(buffer, 7, delivered));
  EXPECT_EQ(std::string(buffer, delivered), "COM101\0"s);
  EXPECT_FALSE(list.next());
  EXPECT_EQ(list.hardwareIdListSize(), 0u);
  list.close();
}

TEST(SysfsDeviceListLookup, FindsTheDefaultModemOnItsInterface) {
  // A Quectel-style usb-serial modem: four interfaces, each a ttyUSB.
  const FakeUsbModem modem{"3-4", defaultVendorIds[0], defaultProductIds[0], "0318"};
  FakeSysfs fake;
  fake.addPlatformTty("ttyS0");
  fake.addAcmPort({"3-2", "0bda", "8153", "3100"}, "00", "ttyACM0");
  fake.addDeviceNode("ttyACM0");
  fake.addUsbSerialPort(modem, "00", "ttyUSB4");
  fake.addUsbSerialPort(modem, "01", "ttyUSB5");
  fake.addDeviceNode("ttyUSB5");
  SysfsUsbDeviceList list(fake.sysRoot(), fake.devRoot());
  int comNumber = 0;
  // ttyUSB4 has no device node, so ttyUSB5 is the first with a COM name.
  EXPECT_TRUE(findComPort(list, defaultIdentity(0), comNumber));
  EXPECT_EQ(comNumber, 6);
}

TEST(SysfsDeviceListLookup, FindsACustomIdentityAndMissesAnAbsentOne) {
  FakeSysfs fake;
  fake.addAcmPort(kAcmModem, "02", "ttyACM12");
  fake.addDeviceNode("ttyACM12");
  SysfsUsbDeviceList list(fake.sysRoot(), fake.devRoot());
  int comNumber = 0;
  EXPECT_TRUE(findComPort(list, {"12ab", "34cd"}, comNumber));
  EXPECT_EQ(comNumber, 113);
  EXPECT_FALSE(findComPort(list, defaultIdentity(1), comNumber));
  EXPECT_EQ(comNumber, 113);
}

}  // namespace
}  // namespace tarnwick
