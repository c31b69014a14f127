#include <filesystem>
#include <fstream>
#include <set>
#include <utility>

#include "platform/posix/sysfs_usb_inventory.h"
#include "platform/posix/sysfs_usb_port.h"
#include "platform/posix/tty_com_number.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLongestSerial = 255;

// The first line of the device's `serial` attribute, without its line end;
// none when the file is missing or holds nothing.
std::optional<std::string> readSerial(const std::string& usbDeviceDir) {
  std::ifstream in(fs::path(usbDeviceDir) / "serial", std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (line.empty()) return std::nullopt;
  return line.substr(0, kLongestSerial);
}

UsbDeviceRecord ttyRecord(const std::string& sysRoot, const std::string& devRoot,
                          const std::string& ttyName, const SysfsUsbTty& tty) {
  UsbDeviceRecord record;
  record.instanceId = (fs::path(sysRoot) / "class" / "tty" / ttyName).string();
  record.parentId = tty.usbDeviceDir;
  record.hardwareIds = tty.hardwareIds;
  const int comNumber = comNumberForTtyName(ttyName);
  if (comNumber != 0 && sysfsDeviceNodePresent(devRoot, ttyName)) {
    record.portName = "COM" + std::to_string(comNumber) + '\0';
  }
  record.ttyPath = devRoot + "/" + ttyName;
  record.location = fs::path(tty.usbDeviceDir).filename().string();
  return record;
}

bool usbDeviceRecord(const std::string& usbDeviceDir, UsbDeviceRecord& record) {
  if (!sysfsUsbDeviceHardwareIds(usbDeviceDir, record.hardwareIds)) return false;
  record.instanceId = usbDeviceDir;
  record.location = fs::path(usbDeviceDir).filename().string();
  record.serial = readSerial(usbDeviceDir);
  return true;
}

}  // namespace

SysfsUsbInventory::SysfsUsbInventory(std::string sysRoot, std::string devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

bool SysfsUsbInventory::listDevices(std::vector<UsbDeviceRecord>& records) {
  records.clear();
  std::error_code error;
  fs::directory_iterator entry(fs::path(sysRoot_) / "class" / "tty", error);
  if (error) return false;
  std::set<std::string> usbDevices;
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    const std::string ttyName = entry->path().filename().string();
    SysfsUsbTty tty;
    if (!describeSysfsUsbTty(sysRoot_, ttyName, tty)) continue;
    records.push_back(ttyRecord(sysRoot_, devRoot_, ttyName, tty));
    usbDevices.insert(tty.usbDeviceDir);
  }
  for (const std::string& dir : usbDevices) {
    UsbDeviceRecord record;
    if (usbDeviceRecord(dir, record)) records.push_back(record);
  }
  return true;
}

std::unique_ptr<UsbInventorySource> makeSystemUsbInventorySource() {
  return std::make_unique<SysfsUsbInventory>("/sys", "/dev");
}

}  // namespace tarnwick
