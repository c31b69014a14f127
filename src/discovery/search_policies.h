#pragma once

#include "atlink/at_interface.h"
#include "discovery/device_identity.h"
#include "platform/sleeper.h"
#include "platform/usb_device_list.h"

namespace tarnwick {

// Pauses after each scan, whatever its result.
constexpr unsigned kDefaultSearchPauseMs = 500;
constexpr unsigned kDeviceSearchPauseMs = 1000;
constexpr unsigned kDefaultSearchPasses = 5;

// Looks for the built-in identities: up to five passes, each scanning for
// entry 0 and then entry 1, pausing 500 ms after every scan, until one scan
// succeeds. Prints "Failed to find UE\n" when none does. `comNumber` is
// written only on true.
bool searchDefaultDevices(UsbDeviceList& devices, Sleeper& sleeper, int& comNumber);

// Scans for `identity` up to `attempts` times, pausing 1000 ms after every
// scan, until one succeeds. With 0 attempts nothing is scanned. Prints
// "Failed to find UE\n" when no scan succeeded. `comNumber` is written only
// on true.
bool searchDevice(UsbDeviceList& devices, Sleeper& sleeper, const DeviceIdentity& identity,
                  unsigned attempts, int& comNumber);

// Finds a built-in device and opens `link` on its port with `initialise`.
// False when the search fails (`initialise` is then not called) or when
// `initialise` does.
bool connectDefaultDevice(AtInterface& link, UsbDeviceList& devices, Sleeper& sleeper);

// The same on the system's device list and pauses, and for
// connectDefaultDevice on the process-wide link.
bool searchDefaultDevices(int& comNumber);
bool searchDevice(const DeviceIdentity& identity, unsigned attempts, int& comNumber);
bool connectDefaultDevice();

}  // namespace tarnwick
