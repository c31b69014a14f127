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

bool readInterfaceIds(const fs::path& interfaceDir, UsbInterfaceIds& ids) {
  const fs::path usbDevice = interfaceDir.parent_path();
  return readHexAttribute(interfaceDir / "bInterfaceNumber", 2, ids.interfaceNumber) &&
         readHexAttribute(usbDevice / "idVendor", 4, ids.vendorId) &&
         readHexAttribute(usbDevice / "idProduct", 4, ids.productId) &&
         readHexAttribute(usbDevice / "bcdDevice", 4, ids.revision);
}

std::string hardwareIdList(const UsbInterfaceIds& ids) {
  const std::string device = "USB\\VID_" + ids.vendorId + "&PID_" + ids.productId;
  const std::string interface = "&MI_" + ids.interfaceNumber;
  std::string list = device + "&REV_" + ids.revision + interface;
  list.push_back('\0');
  list += device + interface;
  list.push_back('\0');
  list.push_back('\0');
  return list;
}

bool deviceNodePresent(const fs::path& node) {
  std::error_code error;
  return fs::is_character_file(fs::status(node, error));
}

}  // namespace

bool describeSysfsUsbPort(const std::string& sysRoot, const std::string& devRoot,
                          const std::string& ttyName, SysfsUsbPort& port) {
  const int comNumber = comNumberForTtyName(ttyName);
  fs::path interfaceDir;
  UsbInterfaceIds ids;
  if (comNumber == 0 ||
      !findInterfaceDir(fs::path(sysRoot) / "class" / "tty" / ttyName, interfaceDir) ||
      !readInterfaceIds(interfaceDir, ids)) {
    return false;
  }
  port.ttyName = ttyName;
  port.hardwareIds = hardwareIdList(ids);
  port.hasPortName = deviceNodePresent(fs::path(devRoot) / ttyName);
  port.portName = port.hasPortName ? "COM" + std::to_string(comNumber) + '\0' : std::string();
  return true;
}

}  // namespace tarnwick
