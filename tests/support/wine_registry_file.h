#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnwick::testing {

// One USB device as Wine's registry holds it under
// HKLM\System\CurrentControlSet\Enum\USB\<device key>\<instance>.
struct WineUsbDevice {
  // The bytes of the REG_MULTI_SZ value "HardwareID" (see `multiString`);
  // no such value when absent, so the device's hardware ids cannot be read.
  std::optional<std::string> hardwareIds;
  // The REG_SZ value "PortName" of the "Device Parameters" subkey (the
  // device's hardware key); no such subkey when absent.
  std::optional<std::string> portName;
};

// NUL-terminated items closed by an empty one, as REG_MULTI_SZ stores them.
std::string multiString(const std::vector<std::string>& items);

// The parent entry of a composite USB modem: hardware ids
// USB\VID_<vid>&PID_<pid>&REV_0100 and USB\VID_<vid>&PID_<pid>, no port.
WineUsbDevice compositeParent(const std::string& vendorId, const std::string& productId);

// One serial interface of a USB modem: hardware ids
// USB\VID_<vid>&PID_<pid>&REV_0100&MI_<mi> and USB\VID_<vid>&PID_<pid>&MI_<mi>,
// with `portName` as its "PortName".
WineUsbDevice serialInterface(const std::string& vendorId, const std::string& productId,
                              const std::string& interfaceNumber, const std::string& portName);

// The registry key (below HKLM\...\Enum\USB) of the rig's device number
// `position`. Wine lists USB devices in the order of their key names, so the
// rig's keys begin with the zero-padded position: devices are listed in the
// order the test gives them.
std::string wineDeviceKeyName(int position, const WineUsbDevice& device);

// A .reg file (regedit format 5.00) that first deletes the device keys
// `keysToDelete` with everything below them, then creates `devices` under
// the key names `wineDeviceKeyName(firstPosition + i, devices[i])`, each of
// the Ports setup class (without a class Wine does not list a device).
std::string wineUsbRegistryFile(const std::vector<std::string>& keysToDelete,
                                const std::vector<WineUsbDevice>& devices, int firstPosition);

// A physical modem as Windows' registry holds it. With one port and no
// interface number it is a single device key USB\VID_v&PID_p\<instance>
// holding HardwareID, LocationInformation and the port's PortName. Otherwise
// it is composite: that key is the parent, holding ParentIdPrefix and
// LocationInformation, and each port is an interface key
// USB\VID_v&PID_p&MI_nn\<ParentIdPrefix>&00nn with its own PortName.
struct WineModem {
  std::string vendorId;
  std::string productId;
  std::string revision = "0100";
  // The instance name: the USB serial. None: a name Windows makes up for a
  // device without serial ("5&<prefix digits>&0&1").
  std::optional<std::string> serial;
  std::string location;        // LocationInformation, such as "Port_#0001.Hub_#0001"
  std::string parentIdPrefix;  // such as "6&2a3b4c5d&0"; used when composite
  struct Port {
    std::string interfaceNumber;  // two hex digits; empty for a single-interface device
    std::string portName;         // "COM71"
  };
  std::vector<Port> ports;
};

// The device keys (below HKLM\...\Enum\USB) that `modem` uses.
std::vector<std::string> wineModemDeviceKeys(const WineModem& modem);

// The instance keys (below HKLM\...\Enum\USB) that hold `modem` itself:
// its device key's instance and, when composite, each interface's instance.
// Deleting these and nothing else unplugs this modem alone, even when an
// identical modem shares its device keys.
std::vector<std::string> wineModemInstanceKeys(const WineModem& modem);

// The .reg sections that create `modem` (no file header).
std::string wineModemSections(const WineModem& modem);

}  // namespace tarnwick::testing
