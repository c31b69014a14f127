// The inventory's records as SetupAPI, the configuration manager and the
// registry give them: instance id, hardware ids, PortName, location
// information, the parent device, and ParentIdPrefix of composite devices.
#include <windows.h>
// setupapi.h and cfgmgr32.h need the types of windows.h first.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <vector>

#include "platform/instance_id.h"
#include "platform/usb_inventory_source.h"

namespace tarnwick {
namespace {

constexpr DWORD kValueCapacity = 1024;
constexpr DWORD kLongestIdList = 64 * 1024;
constexpr char kEnumKey[] = "SYSTEM\\CurrentControlSet\\Enum\\";

// A registry string without the NULs that close it.
std::string withoutTrailingNuls(std::string text) {
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::string instanceIdOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
  char id[MAX_DEVICE_ID_LEN + 1] = {};
  if (!SetupDiGetDeviceInstanceIdA(devices, &device, id, sizeof id, nullptr)) return {};
  return id;
}

// A device registry property's bytes; none when the device has no such property.
std::optional<std::string> propertyOf(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
  DWORD required = 0;
  SetupDiGetDeviceRegistryPropertyA(devices, &device, property, nullptr, nullptr, 0, &required);
  if (required == 0 || required > kLongestIdList) return std::nullopt;
  std::vector<char> buffer(required);
  DWORD written = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, property, nullptr,
                                         reinterpret_cast<PBYTE>(buffer.data()), required,
                                         &written)) {
    return std::nullopt;
  }
  return std::string(buffer.data(), written);
}

// A value of an open key, as stored; none when it is missing or too large.
std::optional<std::string> valueOf(HKEY key, const char* name) {
  char buffer[kValueCapacity];
  DWORD size = sizeof buffer;
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(buffer, size);
}

std::optional<std::string> portNameOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
  HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) return std::nullopt;
  std::optional<std::string> portName = valueOf(key, "PortName");
  RegCloseKey(key);
  return portName;
}

// The instance key's ParentIdPrefix: composite devices hold it, and their
// interfaces' instance names start with it.
std::string parentIdPrefixOf(const std::string& instanceId) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kEnumKey + instanceId).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::optional<std::string> prefix = valueOf(key, "ParentIdPrefix");
  RegCloseKey(key);
  return prefix ? withoutTrailingNuls(*prefix) : std::string();
}

// The parent's instance id from the configuration manager; empty where it
// fails (Wine 8 does not implement it).
std::string parentIdOf(const SP_DEVINFO_DATA& device) {
  DEVINST parent = 0;
  if (CM_Get_Parent(&parent, device.DevInst, 0) != CR_SUCCESS) return {};
  char id[MAX_DEVICE_ID_LEN + 1] = {};
  if (CM_Get_Device_IDA(parent, id, sizeof id - 1, 0) != CR_SUCCESS) return {};
  return id;
}

UsbDeviceRecord recordOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
  UsbDeviceRecord record;
  record.instanceId = instanceIdOf(devices, device);
  record.parentId = parentIdOf(device);
  record.parentIdPrefix = parentIdPrefixOf(record.instanceId);
  record.hardwareIds = propertyOf(devices, device, SPDRP_HARDWAREID).value_or(std::string());
  record.portName = portNameOf(devices, device);
  record.location = withoutTrailingNuls(
      propertyOf(devices, device, SPDRP_LOCATION_INFORMATION).value_or(std::string()));
  record.serial = serialFromInstanceId(record.instanceId);
  return record;
}

class Win32UsbInventory final : public UsbInventorySource {
 public:
  bool listDevices(std::vector<UsbDeviceRecord>& records) override {
    records.clear();
    HDEVINFO devices =
        SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (devices == INVALID_HANDLE_VALUE) return false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
      records.push_back(recordOf(devices, device));
    }
    SetupDiDestroyDeviceInfoList(devices);
    return true;
  }
};

}  // namespace

std::unique_ptr<UsbInventorySource> makeSystemUsbInventorySource() {
  return std::make_unique<Win32UsbInventory>();
}

}  // namespace tarnwick
