#include "station/model/flash_target.h"

#include "discovery/inventory.h"

namespace tarnwick {

FlashTarget flashTargetOf(const InventoryModem& modem) {
  FlashTarget target;
  target.location = modem.location;
  target.serial = modem.serial.value_or("");
  target.vid = modem.vendorId;
  target.pid = modem.productId;
  for (const InventoryPort& port : modem.ports) {
    if (port.comNumber)
      target.ports.push_back({*port.comNumber, port.ttyPath, port.interfaceNumber});
  }
  return target;
}

}  // namespace tarnwick
