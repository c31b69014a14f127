#pragma once

#include <string>

namespace tarnwick {

// One USB serial tty as the Linux device list describes it: the hardware-id
// list a Windows PC shows for the USB interface that carries it, and the
// "PortName" value Windows would give it (with its terminating NUL, as a
// registry string is stored), or none.
struct SysfsUsbPort {
  std::string ttyName;
  std::string hardwareIds;
  bool hasPortName = false;
  std::string portName;
};

// Where a USB serial tty sits in sysfs: the interface that carries it, the
// USB device of that interface (both resolved, absolute paths), and the
// hardware-id list described below.
struct SysfsUsbTty {
  std::string interfaceDir;
  std::string usbDeviceDir;
  std::string hardwareIds;
};

// Describes tty `ttyName` as a port of a USB interface, whatever its name
// (see below for the rules); false when it is none.
bool describeSysfsUsbTty(const std::string& sysRoot, const std::string& ttyName, SysfsUsbTty& tty);

// The hardware-id list Windows shows for the USB device at `usbDeviceDir`
// itself: USB\VID_vvvv&PID_pppp&REV_rrrr NUL USB\VID_vvvv&PID_pppp NUL NUL.
// False when its attributes cannot be read.
bool sysfsUsbDeviceHardwareIds(const std::string& usbDeviceDir, std::string& hardwareIds);

// Describes tty `ttyName` from <sysRoot>/class/tty/<ttyName>. False when the
// tty has no COM number or is not a port of a USB interface:
//  - its `device` link must resolve to a directory whose `subsystem` link
//    names "usb" (CDC-ACM: that directory is the interface) or "usb-serial"
//    (usb-serial drivers: the interface is its parent);
//  - the interface directory must be on the "usb" bus and hold
//    bInterfaceNumber; its parent, the USB device, idVendor, idProduct and
//    bcdDevice, all as the kernel writes them (hex digits and a newline).
// The hardware-id list is
//   USB\VID_vvvv&PID_pppp&REV_rrrr&MI_ii NUL USB\VID_vvvv&PID_pppp&MI_ii NUL NUL
// in upper-case hex, as Windows builds it for an interface of a composite
// device. The port has a PortName "COM<n>" (n from the tty's COM number rule)
// only when <devRoot>/<ttyName> is a character device, or a link to one.
bool describeSysfsUsbPort(const std::string& sysRoot, const std::string& devRoot,
                          const std::string& ttyName, SysfsUsbPort& port);

// True when <devRoot>/<ttyName> is a character device, or a link to one.
bool sysfsDeviceNodePresent(const std::string& devRoot, const std::string& ttyName);

}  // namespace tarnwick
