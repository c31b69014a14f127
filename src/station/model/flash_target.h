#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// One modem to flash, as the inventory knows it, and the ports to try for
// its AT port, in interface order (one port when it was named).
struct FlashTarget {
  struct Port {
    int comNumber = 0;
    std::string tty;                     // Linux only: the device path, "/dev/ttyUSB6"
    std::optional<int> interfaceNumber;  // the USB interface; none for a single-interface device
  };
  std::string location;  // USB path, e.g. "1-1.2"
  std::string serial;
  std::string vid;
  std::string pid;
  std::vector<Port> ports;
};

struct InventoryModem;

// The inventory's modem as a flash target: only ports with a COM number can
// be opened.
FlashTarget flashTargetOf(const InventoryModem& modem);

// A COM number of the station's model (0: none) as the inventory's.
inline std::optional<int> knownComNumber(int comNumber) {
  return comNumber > 0 ? std::optional<int>(comNumber) : std::nullopt;
}

}  // namespace tarnwick
