#include "support/wine_registry_file.h"

#include <cstdio>

namespace tarnwick::testing {
namespace {

constexpr char kUsbEnumKey[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\";
constexpr char kPortsClassGuid[] = "{4d36e978-e325-11ce-bfc1-08002be10318}";
constexpr char kUsbClassGuid[] = "{36fc9e60-c465-11cf-8056-444553540000}";
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

std::string stringValue(const std::string& name, const std::string& value) {
  return "\"" + name + "\"=hex(1):" + hexBytes(value) + "\r\n";
}

// One instance key with its Device Parameters when it has a port.
std::string instanceSection(const std::string& instanceKey, const std::string& hardwareIds,
                            const char* classGuid, const std::string& extraValues,
                            const std::string& portName) {
  std::string text = std::string("[") + kUsbEnumKey + instanceKey + "]\r\n";
  text += "\"HardwareID\"=hex(7):" + hexBytes(hardwareIds) + "\r\n";
  text += std::string("\"ClassGUID\"=\"") + classGuid + "\"\r\n" + extraValues + "\r\n";
  if (!portName.empty()) {
    text += std::string("[") + kUsbEnumKey + instanceKey + "\\Device Parameters]\r\n";
    text += stringValue("PortName", portName) + "\r\n";
  }
  return text;
}

bool isComposite(const WineModem& modem) {
  return modem.ports.size() != 1 || !modem.ports.front().interfaceNumber.empty();
}

std::string modemInstanceName(const WineModem& modem) {
  if (modem.serial) return *modem.serial;
  std::string digits = modem.parentIdPrefix.empty() ? "1A2B3C4D" : modem.parentIdPrefix;
  return "5&" + keySafe(digits) + "&0&1";
}

std::string interfaceInstanceKey(const WineModem& modem, const WineModem::Port& port) {
  return wineModemDeviceKeys(modem).front() + "&MI_" + port.interfaceNumber + "\\" +
         modem.parentIdPrefix + "&00" + port.interfaceNumber;
}

}  // namespace

std::vector<std::string> wineModemDeviceKeys(const WineModem& modem) {
  const std::string device = "VID_" + modem.vendorId + "&PID_" + modem.productId;
  std::vector<std::string> keys = {device};
  if (!isComposite(modem)) return keys;
  for (const WineModem::Port& port : modem.ports)
    keys.push_back(device + "&MI_" + port.interfaceNumber);
  return keys;
}

std::vector<std::string> wineModemInstanceKeys(const WineModem& modem) {
  std::vector<std::string> keys = {wineModemDeviceKeys(modem).front() + "\\" +
                                   modemInstanceName(modem)};
  if (!isComposite(modem)) return keys;
  for (const WineModem::Port& port : modem.ports) keys.push_back(interfaceInstanceKey(modem, port));
  return keys;
}

std::string wineModemSections(const WineModem& modem) {
  const std::string ids = usbIds(modem.vendorId, modem.productId);
  const std::string rev = "&REV_" + modem.revision;
  const std::string parentKey = wineModemInstanceKeys(modem).front();
  const std::string location = stringValue("LocationInformation", modem.location);
  if (!isComposite(modem)) {
    return instanceSection(parentKey, multiString({ids + rev, ids}), kPortsClassGuid, location,
                           modem.ports.front().portName);
  }
  std::string text =
      instanceSection(parentKey, multiString({ids + rev, ids}), kUsbClassGuid,
                      location + stringValue("ParentIdPrefix", modem.parentIdPrefix), "");
  for (const WineModem::Port& port : modem.ports) {
    const std::string mi = "&MI_" + port.interfaceNumber;
    text +=
        instanceSection(interfaceInstanceKey(modem, port), multiString({ids + rev + mi, ids + mi}),
                        kPortsClassGuid, "", port.portName);
  }
  return text;
}

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
