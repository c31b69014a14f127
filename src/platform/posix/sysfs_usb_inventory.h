#pragma once

#include <string>
#include <vector>

#include "platform/usb_inventory_source.h"

namespace tarnwick {

// The Linux inventory source: one record per USB serial tty under
// <sysRoot>/class/tty (whatever its number), and one per USB device that
// carries such a tty. A tty's record names its USB device as parent, has the
// hardware-id list of its interface, the PortName "COM<n>" when the tty has a
// COM number and a device node under <devRoot>, and its path <devRoot>/<tty>.
// A device's record has the device's sysfs name as location (such as
// "1-4.2") and its `serial` attribute without the line end as serial.
class SysfsUsbInventory : public UsbInventorySource {
 public:
  SysfsUsbInventory(std::string sysRoot, std::string devRoot);

  bool listDevices(std::vector<UsbDeviceRecord>& records) override;

 private:
  std::string sysRoot_;
  std::string devRoot_;
};

}  // namespace tarnwick
