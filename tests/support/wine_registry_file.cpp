#include "support/wine_registry_file.h"

#include <cstdio>

namespace tarnwick::testing {
namespace {

constexpr char kUsbEnumKey[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\";
constexpr char kPortsClassGuid[] = "{4d36e978-e325-11ce-bfc1-08002be10318}";
constexpr char kInstanceName[] = "7&7a1b2c3&0&1";
constexpr std::string::size_type kLongestIdInKeyName = 100;

// Binary data in .reg notation: two hex digits per byte, comma separated.
// Wine's regedit takes the bytes of hex(1) and hex(7) values as 8-bit text
// and stores it as the registry's UTF-16, so ASCII bytes go in one byte per
// character (UTF-16 bytes here would arrive doubled).
std::string hexBytes(const std::string& bytes) {
  std::string text;
  for (unsigned char byte : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    if (!text.empty()) text += ',';
    text += pair;
  }
  return text;
}

// Key names may not hold a backslash; other bytes are fine.
std::string keySafe(const std::string& text) {
  std::string safe = text;
  for (char& c : safe) {
    if (c == '\\') c = '#';
  }
  return safe;
}

std::string deviceSection(const std::string& keyName, const WineUsbDevice& device) {
  const std::string instanceKey = kUsbEnumKey + keyName + "\\" + kInstanceName;
  std::string text = "[" + instanceKey + "]\r\n";
  if (device.hardwareIds) text += "\"HardwareID\"=hex(7):" + hexBytes(*device.hardwareIds) + "\r\n";
  text += std::string("\"ClassGUID\"=\"") + kPortsClassGuid + "\"\r\n\r\n";
  if (device.portName) {
    text += "[" + instanceKey + "\\Device Parameters]\r\n";
    text += "\"PortName\"=hex(1):" + hexBytes(*device.portName) + "\r\n\r\n";
  }
  return text;
}

std::string usbIds(const std::string& vendorId, const std::string& productId) {
  return "USB\\VID_" + vendorId + "&PID_" + productId;
}

}  // namespace

std::string multiString(const std::vector<std::string>& items) {
  std::string bytes;
  for (const std::string& item : items) bytes += item + '\0';
  return bytes + '\0';
}

WineUsbDevice compositeParent(const std::string& vendorId, const std::string& productId) {
  const std::string ids = usbIds(vendorId, productId);
  return WineUsbDevice{multiString({ids + "&REV_0100", ids}), std::nullopt};
}

WineUsbDevice serialInterface(const std::string& vendorId, const std::string& productId,
                              const std::string& interfaceNumber, const std::string& portName) {
  const std::string ids = usbIds(vendorId, productId);
  const std::string mi = "&MI_" + interfaceNumber;
  return WineUsbDevice{multiString({ids + "&REV_0100" + mi, ids + mi}), portName};
}

std::string wineDeviceKeyName(int position, const WineUsbDevice& device) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%03d&", position);
  std::string firstId;
  if (device.hardwareIds) firstId = device.hardwareIds->substr(0, device.hardwareIds->find('\0'));
  const std::string::size_type slash = firstId.rfind('\\');
  if (slash != std::string::npos) firstId.erase(0, slash + 1);
  // Registry key names end at 255 characters; ids in tests may be longer.
  return prefix + keySafe(firstId.empty() ? "NO_ID" : firstId.substr(0, kLongestIdInKeyName));
}

std::string wineUsbRegistryFile(const std::vector<std::string>& keysToDelete,
                                const std::vector<WineUsbDevice>& devices, int firstPosition) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (const std::string& key : keysToDelete)
    text += std::string("[-") + kUsbEnumKey + key + "]\r\n\r\n";
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const int position = firstPosition + static_cast<int>(i);
    text += deviceSection(wineDeviceKeyName(position, devices[i]), devices[i]);
  }
  return text;
}

}  // namespace tarnwick::testing
