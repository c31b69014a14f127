#include "discovery/search_policies.h"

#include <memory>

#include "diag/console_print.h"
#include "discovery/default_identities.h"
#include "discovery/find_com_port.h"

namespace tarnwick {
namespace {

void reportNotFound() {
  consolePrint("Failed to find UE\n");
}

}  // namespace

bool searchDefaultDevices(UsbDeviceList& devices, Sleeper& sleeper, int& comNumber) {
  bool found = false;
  for (unsigned pass = 0; pass < kDefaultSearchPasses && !found; ++pass) {
    for (unsigned entry = 0; entry < kDefaultIdentityCount && !found; ++entry) {
      found = findComPort(devices, defaultIdentity(entry), comNumber);
      sleeper.sleepMs(kDefaultSearchPauseMs);
    }
  }
  if (!found) reportNotFound();
  return found;
}

bool searchDevice(UsbDeviceList& devices, Sleeper& sleeper, const DeviceIdentity& identity,
                  unsigned attempts, int& comNumber) {
  bool found = false;
  for (unsigned attempt = 0; attempt < attempts && !found; ++attempt) {
    found = findComPort(devices, identity, comNumber);
    sleeper.sleepMs(kDeviceSearchPauseMs);
  }
  if (!found) reportNotFound();
  return found;
}

bool connectDefaultDevice(AtInterface& link, UsbDeviceList& devices, Sleeper& sleeper) {
  int comNumber = 0;
  if (!searchDefaultDevices(devices, sleeper, comNumber)) return false;
  return link.initialise(comNumber);
}

bool searchDefaultDevices(int& comNumber) {
  std::unique_ptr<UsbDeviceList> devices = makeSystemUsbDeviceList();
  return searchDefaultDevices(*devices, systemSleeper(), comNumber);
}

bool searchDevice(const DeviceIdentity& identity, unsigned attempts, int& comNumber) {
  std::unique_ptr<UsbDeviceList> devices = makeSystemUsbDeviceList();
  return searchDevice(*devices, systemSleeper(), identity, attempts, comNumber);
}

bool connectDefaultDevice() {
  AtInterface& link = AtInterface::instance();
  std::unique_ptr<UsbDeviceList> devices = makeSystemUsbDeviceList();
  return connectDefaultDevice(link, *devices, systemSleeper());
}

}  // namespace tarnwick
