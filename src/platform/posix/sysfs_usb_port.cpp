#include "platform/posix/sysfs_usb_port.h"

#include <filesystem>
#include <fstream>

#include "platform/posix/tty_com_number.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

struct UsbInterfaceIds {
  std::string vendorId;
  std::string productId;
  std::string revision;
  std::string interfaceNumber;
};

bool resolve(const fs::path& link, fs::path& target) {
  std::error_code error;
  target = fs::canonical(link, error);
  return !error;
}

// The name of the bus or class that `dir`'s `subsystem` link points at.
std::string subsystemOf(const fs::path& dir) {
  fs::path target;
  if (!resolve(dir / "subsystem", target)) return {};
  return target.filename().string();
}

// The USB interface directory that carries the tty at `ttyDir`.
bool findInterfaceDir(const fs::path& ttyDir, fs::path& interfaceDir) {
  fs::path device;
  if (!resolve(ttyDir / "device", device)) return false;
  const std::string subsystem = subsystemOf(device);
  if (subsystem == "usb-serial") {
    interfaceDir = device.parent_path();
  } else if (subsystem == "usb") {
    interfaceDir = device;
  } else {
    return false;
  }
  return subsystemOf(interfaceDir) == "usb";
}

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A sysfs attribute of exactly `width` hex digits (then a newline), upper-cased.
bool readHexAttribute(const fs::path& file, std::size_t width, std::string& value) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line) || line.size() != width) return false;
  for (char& c : line) {
    if (!isHexDigit(c)) return false;
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
  }
  value = line;
  return true;
}

bool readDeviceIds(const fs::path& usbDevice, UsbInterfaceIds& ids) {
  return readHexAttribute(usbDevice / "idVendor", 4, ids.vendorId) &&
         readHexAttribute(usbDevice / "idProduct", 4, ids.productId) &&
         readHexAttribute(usbDevice / "bcdDevice", 4, ids.revision);
}

bool readInterfaceIds(const fs::path& interfaceDir, UsbInterfaceIds& ids) {
  return readHexAttribute(interfaceDir / "bInterfaceNumber", 2, ids.interfaceNumber) &&
         readDeviceIds(interfaceDir.parent_path(), ids);
}

// The list for the interface when `ids` has an interface number, else for
// the device itself.
std::string hardwareIdList(const UsbInterfaceIds& ids) {
  const std::string device = "USB\\VID_" + ids.vendorId + "&PID_" + ids.productId;
  const std::string interface = ids.interfaceNumber.empty() ? "" : "&MI_" + ids.interfaceNumber;
  std::string list = device + "&REV_" + ids.revision + interface;
  list.push_back('\0');
  list += device + interface;
  list.push_back('\0');
  list.push_back('\0');
  return list;
}

}  // namespace

bool describeSysfsUsbTty(const std::string& sysRoot, const std::string& ttyName, SysfsUsbTty& tty) {
  fs::path interfaceDir;
  UsbInterfaceIds ids;
  if (!findInterfaceDir(fs::path(sysRoot) / "class" / "tty" / ttyName, interfaceDir) ||
      !readInterfaceIds(interfaceDir, ids)) {
    return false;
  }
  tty.interfaceDir = interfaceDir.string();
  tty.usbDeviceDir = interfaceDir.parent_path().string();
  tty.hardwareIds = hardwareIdList(ids);
  return true;
}

bool sysfsUsbDeviceHardwareIds(const std::string& usbDeviceDir, std::string& hardwareIds) {
  UsbInterfaceIds ids;
  if (!readDeviceIds(usbDeviceDir, ids)) return false;
  hardwareIds = hardwareIdList(ids);
  return true;
}

bool describeSysfsUsbPort(const std::string& sysRoot, const std::string& devRoot,
                          const std::string& ttyName, SysfsUsbPort& port) {
  const int comNumber = comNumberForTtyName(ttyName);
  SysfsUsbTty tty;
  if (comNumber == 0 || !describeSysfsUsbTty(sysRoot, ttyName, tty)) return false;
  port.ttyName = ttyName;
  port.hardwareIds = tty.hardwareIds;
  port.hasPortName = sysfsDeviceNodePresent(devRoot, ttyName);
  port.portName = port.hasPortName ? "COM" + std::to_string(comNumber) + '\0' : std::string();
  return true;
}

bool sysfsDeviceNodePresent(const std::string& devRoot, const std::string& ttyName) {
  std::error_code error;
  return fs::is_character_file(fs::status(fs::path(devRoot) / ttyName, error));
}

}  // namespace tarnwick
