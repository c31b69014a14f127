#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/sysfs_usb_port.h"
#include "platform/usb_device_list.h"

namespace tarnwick {

// The Linux device list: one entry per USB serial tty found under
// <sysRoot>/class/tty (see describeSysfsUsbPort for what counts and what each
// entry holds). The USB devices themselves carry no tty on Linux, so only
// their tty-bearing interfaces are listed. Entries come in tty-name order,
// numbers compared as numbers (ttyACM0, ttyACM2, ttyACM10, ttyUSB0, ...).
// The shipped program reads /sys and /dev; tests hand in a fake tree.
class SysfsUsbDeviceList : public UsbDeviceList {
 public:
  SysfsUsbDeviceList(std::string sysRoot, std::string devRoot);

  bool open() override;
  bool next() override;
  std::uint32_t hardwareIdListSize() override;
  bool readHardwareIdList(char* buffer, std::uint32_t capacity, std::uint32_t& delivered) override;
  bool readPortName(char* buffer, std::uint32_t capacity, std::uint32_t& delivered) override;
  void close() override;

 private:
  const SysfsUsbPort* current() const;

  std::string sysRoot_;
  std::string devRoot_;
  std::vector<SysfsUsbPort> ports_;
  std::size_t nextIndex_ = 0;
};

}  // namespace tarnwick
