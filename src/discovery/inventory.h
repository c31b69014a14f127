#pragma once

#include <optional>
#include <string>
#include <vector>

#include "discovery/device_identity.h"
#include "platform/usb_inventory_source.h"

namespace tarnwick {

// One serial port of a modem.
struct InventoryPort {
  // From the PortName ("COM71" gives 71); none when the port has no COM
  // name (Linux: a tty beyond the COM number rule, or without a device node).
  std::optional<int> comNumber;
  std::string ttyPath;                 // Linux: "/dev/ttyUSB70"; empty on Windows
  std::optional<int> interfaceNumber;  // the USB interface; none for a single-interface device
};

// One physical modem and its ports, in interface order.
struct InventoryModem {
  std::string location;
  std::optional<std::string> serial;
  std::string vendorId;  // four lower-case hex digits
  std::string productId;
  std::optional<std::string> revision;  // four lower-case hex digits, when the ids hold it
  std::vector<InventoryPort> ports;
};

// The built-in identities, in table order.
std::vector<DeviceIdentity> defaultIdentityList();

// Groups the port-bearing records (a PortName or a tty) whose first hardware
// id matches one of `identities` (the shared rule: lowered, then a substring
// search for "vid_<vendorId>&pid_<productId>") into physical modems. A port
// of a composite device's interface ("&mi_" in its first id) belongs to its
// parent record: the one named by its parentId, else the one whose
// ParentIdPrefix starts its instance name (both without regard to case);
// any other port is a modem of its own. Modems come in the natural order of
// their locations (numbers compared as numbers), then serials.
std::vector<InventoryModem> groupIntoModems(const std::vector<UsbDeviceRecord>& records,
                                            const std::vector<DeviceIdentity>& identities);

// Lists the devices present now and groups them. False when the system gives
// no device list; `modems` is then empty.
bool takeInventory(UsbInventorySource& source, const std::vector<DeviceIdentity>& identities,
                   std::vector<InventoryModem>& modems);

}  // namespace tarnwick
