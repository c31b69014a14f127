#include "station/run/port_questions.h"

namespace tarnwick {

std::function<bool(int comNumber)> portPresence(ModemLister list, std::vector<DeviceIdentity> ids,
                                                std::string location) {
  return [list, ids, location](int comNumber) {
    std::vector<FlashTarget> now;
    std::string why;
    if (!list(ids, now, why)) return true;
    for (const FlashTarget& modem : now) {
      if (!location.empty() && modem.location != location) continue;
      for (const FlashTarget::Port& port : modem.ports) {
        if (port.comNumber == comNumber) return true;
      }
    }
    return false;
  };
}

std::function<bool(std::vector<FlashTarget::Port>&)> currentPorts(ModemLister list,
                                                                  std::vector<DeviceIdentity> ids,
                                                                  std::string location,
                                                                  std::string serial) {
  return [list, ids, location, serial](std::vector<FlashTarget::Port>& ports) {
    std::vector<FlashTarget> now;
    std::string why;
    if (!list(ids, now, why)) return false;
    for (const FlashTarget& modem : now) {
      if (modem.location != location || modem.serial != serial) continue;
      ports = modem.ports;
      return true;
    }
    return false;
  };
}

}  // namespace tarnwick
