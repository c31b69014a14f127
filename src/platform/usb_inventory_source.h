#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// One USB device (or one port-bearing interface of a device) as the system
// lists it for the station's inventory. The hardware ids and the PortName are
// the system's own bytes, so that the matching rules stay shared code.
struct UsbDeviceRecord {
  // Names the record among the others. Windows: the device instance id;
  // Linux: the sysfs directory of the device or of its tty.
  std::string instanceId;
  // The record this one belongs to, when the system tells (Windows:
  // CM_Get_Parent; Linux: the USB device of a tty). Empty when unknown.
  std::string parentId;
  // Windows: the value ParentIdPrefix on the instance key: the start of the
  // instance names of this composite device's interfaces. Empty when none.
  std::string parentIdPrefix;
  // The hardware-id list: NUL-terminated ids closed by an empty one.
  std::string hardwareIds;
  // The value "PortName" exactly as stored; none when the device has none.
  std::optional<std::string> portName;
  // Linux: the tty's device path ("/dev/ttyUSB3"); empty on Windows.
  std::string ttyPath;
  // Where the device sits on the bus ("1-4.2", "Port_#0001.Hub_#0001").
  std::string location;
  // The USB serial number; none when the device has none.
  std::optional<std::string> serial;
};

// The system's side of the inventory: every present USB device, in one pass.
class UsbInventorySource {
 public:
  virtual ~UsbInventorySource() = default;

  // Replaces `records` with the devices present now. False when the system
  // gives no device list.
  virtual bool listDevices(std::vector<UsbDeviceRecord>& records) = 0;
};

// The inventory source of the build's operating system.
std::unique_ptr<UsbInventorySource> makeSystemUsbInventorySource();

}  // namespace tarnwick
