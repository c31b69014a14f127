#include "station/commands/station_environment.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "discovery/inventory.h"
#include "platform/stop_signals.h"
#include "station/commands/station_version.h"

namespace tarnwick {

StationEnvironment stationEnvironment(StationContext& context) {
  // Workers ask whether their port is still there; one question at a time.
  auto inventoryLock = std::make_shared<std::mutex>();
  StationEnvironment environment;
  environment.listModems = [&context, inventoryLock](const std::vector<DeviceIdentity>& ids,
                                                     std::vector<FlashTarget>& modems,
                                                     std::string& why) {
    std::lock_guard<std::mutex> hold(*inventoryLock);
    std::vector<InventoryModem> found;
    if (!takeInventory(context.inventory, ids, found)) {
      why = "the system gives no USB device list";
      return false;
    }
    for (const InventoryModem& modem : found) modems.push_back(flashTargetOf(modem));
    return true;
  };
  environment.makePort = context.makePort;
  environment.stopRequested = [] { return tarnwick::stopRequested(); };
  environment.sleepMs = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
  environment.out = context.out;
  environment.err = context.err;
  environment.toolVersion = kStationVersion;
  return environment;
}

int runStoppable(StationContext& context, const std::function<int(StationEnvironment&)>& command) {
  StationEnvironment environment = stationEnvironment(context);
  installStopHandlers();
  const int status = command(environment);
  stopHandlingDone();
  return status;
}

}  // namespace tarnwick
