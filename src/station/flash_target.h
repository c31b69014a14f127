#pragma once

#include <string>
#include <vector>

namespace tarnwick {

// One modem to flash, as the inventory knows it, and the ports to try for
// its AT port, in interface order (one port when it was named).
struct FlashTarget {
  struct Port {
    int comNumber = 0;
    std::string tty;        // Linux only: the device path, "/dev/ttyUSB6"
    std::string interface;  // "MI_02" style number, two hex digits; empty when unknown
  };
  std::string location;  // USB path, e.g. "1-1.2"
  std::string serial;
  std::string vid;
  std::string pid;
  std::vector<Port> ports;
};

}  // namespace tarnwick
