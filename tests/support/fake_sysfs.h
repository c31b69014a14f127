#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnwick::testing {

// A USB device on the fake bus, with its attributes as the kernel writes
// them (lower-case hex).
struct FakeUsbModem {
  std::string busPort;  // the device's directory name under usb3, e.g. "3-4"
  std::string vendorId;
  std::string productId;
  std::string revision;  // bcdDevice
  std::optional<std::string> serial =
      std::nullopt;  // the `serial` attribute's text; no file when none
};

// A sysfs tree and a device directory under a fresh temporary directory,
// laid out the way the kernel does it:
//   class/tty/<tty> -> ../../devices/.../<tty>, whose `device` link leads to
//   the USB interface (CDC-ACM) or to the usb-serial port below it, every
//   directory with its `subsystem` link, interface and device attributes.
// The whole tree is removed by the destructor.
class FakeSysfs {
 public:
  FakeSysfs();
  ~FakeSysfs();
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  const std::string& sysRoot() const { return sysRoot_; }
  const std::string& devRoot() const { return devRoot_; }

  // A CDC-ACM tty on interface `interfaceNumber` (two hex digits) of `modem`.
  void addAcmPort(const FakeUsbModem& modem, const std::string& interfaceNumber,
                  const std::string& tty);
  // A usb-serial tty (option, qcserial, ...) on interface `interfaceNumber`.
  void addUsbSerialPort(const FakeUsbModem& modem, const std::string& interfaceNumber,
                        const std::string& tty);
  // A tty of a platform device, such as a board's own UART.
  void addPlatformTty(const std::string& tty);
  // <devRoot>/<tty> as a link to `target`, e.g. a pseudo-terminal's slave.
  void addDeviceNode(const std::string& tty, const std::string& target = "/dev/null");

  // Unplugs `modem`: its ttys leave class/tty and the device folder, and
  // its device directory goes.
  void removeModem(const FakeUsbModem& modem, const std::vector<std::string>& ttys);
  // Overwrites one attribute file of the USB device `modem` (for bad data).
  void writeModemAttribute(const FakeUsbModem& modem, const std::string& name,
                           const std::string& text);

 private:
  std::string usbDeviceDir(const FakeUsbModem& modem);
  std::string interfaceDir(const FakeUsbModem& modem, const std::string& interfaceNumber);
  void addTtyClassDevice(const std::string& parentDir, const std::string& tty);

  std::string root_;
  std::string sysRoot_;
  std::string devRoot_;
};

}  // namespace tarnwick::testing
