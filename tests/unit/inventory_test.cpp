// Grouping ports into modems, on records shaped as each platform gives them,
// and the rules it rests on.
#include "discovery/inventory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/instance_id.h"
#include "platform/posix/sysfs_usb_inventory.h"
#include "support/fake_sysfs.h"
#include "text/natural_order.h"

namespace tarnwick {
namespace {

using namespace std::string_literals;

const std::vector<DeviceIdentity> kQuectel = {{"2c7c", "0125"}};

std::string ids(const std::string& first) {
  return first + '\0' + '\0';
}

UsbDeviceRecord windowsDevice(const std::string& instanceId, const std::string& firstId,
                              const std::string& location, const std::string& prefix = "") {
  UsbDeviceRecord record;
  record.instanceId = instanceId;
  record.hardwareIds = ids(firstId);
  record.location = location;
  record.parentIdPrefix = prefix;
  record.serial = serialFromInstanceId(instanceId);
  return record;
}

UsbDeviceRecord windowsPort(const std::string& instanceId, const std::string& firstId,
                            const std::string& portName, const std::string& parentId = "") {
  UsbDeviceRecord record = windowsDevice(instanceId, firstId, "own location");
  record.portName = portName + '\0';
  record.parentId = parentId;
  return record;
}

// A modem summed up: location, serial, and its ports as "COM<n>/<interface>".
std::string summary(const InventoryModem& modem) {
  std::string text = modem.location + " " + modem.serial.value_or("null") + " " + modem.vendorId +
                     ":" + modem.productId + " " + modem.revision.value_or("null");
  for (const InventoryPort& port : modem.ports) {
    text += " " + (port.comNumber ? "COM" + std::to_string(*port.comNumber) : "null") + "/" +
            (port.interfaceNumber ? std::to_string(*port.interfaceNumber) : "null");
  }
  return text;
}

std::vector<std::string> summaries(const std::vector<InventoryModem>& modems) {
  std::vector<std::string> texts;
  for (const InventoryModem& modem : modems) texts.push_back(summary(modem));
  return texts;
}

TEST(Inventory, WindowsCompositeModemsFindTheirParentByPrefixOrByTheSystemsParent) {
  const std::vector<UsbDeviceRecord> records = {
      // Listed before its parent, upper-cased as Wine gives it; prefix in lower case.
      windowsPort("USB\\VID_2C7C&PID_0125&MI_02\\6&2A3B4C5D&0&0002",
                  "USB\\VID_2C7C&PID_0125&REV_0318&MI_02", "COM72"),
      windowsDevice("USB\\VID_2C7C&PID_0125\\SN0002", "USB\\VID_2C7C&PID_0125&REV_0318",
                    "Port_#0002.Hub_#0001", "6&2a3b4c5d&0"),
      windowsPort("USB\\VID_2C7C&PID_0125&MI_00\\6&2A3B4C5D&0&0000",
                  "USB\\VID_2C7C&PID_0125&REV_0318&MI_00", "COM71"),
      // A prefix that starts the name but does not end at an '&' is no parent's.
      windowsDevice("USB\\VID_2C7C&PID_0125\\SN0009", "USB\\VID_2C7C&PID_0125&REV_0318",
                    "Port_#0009.Hub_#0001", "6&2A3B4C5"),
      // The parent as the system tells it, in another case.
      windowsDevice("USB\\VID_2C7C&PID_0125\\SN0001", "USB\\VID_2C7C&PID_0125&REV_0318",
                    "Port_#0001.Hub_#0001"),
      windowsPort("USB\\VID_2C7C&PID_0125&MI_03\\7&1&0&0003",
                  "USB\\VID_2C7C&PID_0125&REV_0318&MI_03", "COM5",
                  "usb\\vid_2c7c&pid_0125\\sn0001"),
      // An interface whose parent is not to be found is a modem of its own.
      windowsPort("USB\\VID_2C7C&PID_0125&MI_01\\8&FF&0&0001",
                  "USB\\VID_2C7C&PID_0125&REV_0318&MI_01", "COM9"),
      // A single-interface device: its parent (a hub) is not its modem.
      windowsPort("USB\\VID_2C7C&PID_0125\\SN0003", "USB\\VID_2C7C&PID_0125&REV_0318", "COM3",
                  "USB\\ROOT_HUB30\\4&1&0"),
      windowsDevice("USB\\ROOT_HUB30\\4&1&0", "USB\\ROOT_HUB30", "hub"),
      // Another model, a port with no COM name, a hardware-id list too long.
      windowsPort("USB\\VID_12D1&PID_1506\\X1", "USB\\VID_12D1&PID_1506&REV_0102", "COM8"),
      windowsPort("USB\\VID_2C7C&PID_0125\\SN0004", "USB\\VID_2C7C&PID_0125&REV_0318", "LPT1"),
      windowsPort("USB\\VID_2C7C&PID_0125\\SN0005",
                  "USB\\VID_2C7C&PID_0125&REV_0318" + std::string(1000, 'X'), "COM6"),
  };
  EXPECT_EQ(summaries(groupIntoModems(records, kQuectel)),
            (std::vector<std::string>{
                "Port_#0001.Hub_#0001 SN0001 2c7c:0125 0318 COM5/3",
                "Port_#0002.Hub_#0001 SN0002 2c7c:0125 0318 COM71/0 COM72/2",
                "own location null 2c7c:0125 0318 COM9/1",
                "own location SN0003 2c7c:0125 0318 COM3/null",
                "own location SN0004 2c7c:0125 0318 null/null",
            }));
  // Upper-case identities never match, as for the one-modem lookup.
  EXPECT_TRUE(groupIntoModems(records, {{"2C7C", "0125"}}).empty());
  EXPECT_EQ(groupIntoModems(records, defaultIdentityList()).size(), 6u);
}

// Identical models told apart by location and serial; ports in interface
// order whatever their tty numbers; ttys beyond the COM rule or without a
// device node listed without a port.
TEST(Inventory, LinuxSysfsModemsWithSerialsInterfacesAndTtysBeyondTheComRule) {
  testing::FakeSysfs fake;
  const testing::FakeUsbModem first{"1-10", "2c7c", "0125", "0318", "SNB"};
  const testing::FakeUsbModem second{"1-4.2", "2c7c", "0125", "0318", "SNA"};
  const testing::FakeUsbModem noSerial{"1-9", "2c7c", "0125", "0318", std::nullopt};
  fake.addUsbSerialPort(first, "00", "ttyUSB0");
  fake.addUsbSerialPort(first, "02", "ttyUSB1");
  fake.addUsbSerialPort(second, "02", "ttyUSB4");
  fake.addUsbSerialPort(second, "00", "ttyUSB5");
  fake.addAcmPort(noSerial, "00", "ttyACM0");
  fake.addAcmPort(noSerial, "02", "ttyACM120");
  fake.addAcmPort(noSerial, "04", "ttyACM1");  // no device node
  fake.addPlatformTty("ttyS0");
  for (const char* tty : {"ttyUSB0", "ttyUSB1", "ttyUSB4", "ttyUSB5", "ttyACM0", "ttyACM120"}) {
    fake.addDeviceNode(tty);
  }
  SysfsUsbInventory source(fake.sysRoot(), fake.devRoot());
  std::vector<InventoryModem> modems;
  ASSERT_TRUE(takeInventory(source, kQuectel, modems));
  EXPECT_EQ(summaries(modems), (std::vector<std::string>{
                                   "1-4.2 SNA 2c7c:0125 0318 COM6/0 COM5/2",
                                   "1-9 null 2c7c:0125 0318 COM101/0 null/2 null/4",
                                   "1-10 SNB 2c7c:0125 0318 COM1/0 COM2/2",
                               }));
  ASSERT_EQ(modems[1].ports.size(), 3u);
  EXPECT_EQ(modems[1].ports[1].ttyPath, fake.devRoot() + "/ttyACM120");
  EXPECT_EQ(modems[0].ports[0].ttyPath, fake.devRoot() + "/ttyUSB5");

  SysfsUsbInventory missing(fake.sysRoot() + "/nothing", fake.devRoot());
  EXPECT_FALSE(takeInventory(missing, kQuectel, modems));
  EXPECT_TRUE(modems.empty());
}

TEST(Inventory, InstanceIdAndLocationOrderRules) {
  EXPECT_EQ(serialFromInstanceId("USB\\VID_2C7C&PID_0125\\SN0001"), "SN0001");
  EXPECT_EQ(serialFromInstanceId("USB\\VID_2C7C&PID_0125\\5&1A2B&0&1"), std::nullopt);
  EXPECT_EQ(serialFromInstanceId("USB\\VID_2C7C&PID_0125\\"), std::nullopt);
  EXPECT_TRUE(startsWithIdPrefix("USB\\X&MI_02\\6&2A3B4C5D&0&0002", "6&2a3b4c5d&0"));
  EXPECT_FALSE(startsWithIdPrefix("USB\\X&MI_02\\6&2A3B4C5D&0", "6&2a3b4c5d&0"));
  EXPECT_FALSE(startsWithIdPrefix("USB\\X&MI_02\\6&2A3B4C5D&0&0002", ""));
  const std::vector<std::string> ordered = {"1-2",
                                            "1-4",
                                            "1-4.2",
                                            "1-4.10",
                                            "1-10",
                                            "2-1",
                                            "Port_#0002.Hub_#0001",
                                            "Port_#0010.Hub_#0001"};
  for (std::size_t i = 0; i + 1 < ordered.size(); ++i) {
    EXPECT_TRUE(naturalLess(ordered[i], ordered[i + 1])) << ordered[i] << " < " << ordered[i + 1];
    EXPECT_FALSE(naturalLess(ordered[i + 1], ordered[i])) << ordered[i + 1];
  }
  EXPECT_FALSE(naturalLess("1-4", "1-4"));
  EXPECT_TRUE(naturalLess("1-04", "1-4") != naturalLess("1-4", "1-04"));
}

}  // namespace
}  // namespace tarnwick
