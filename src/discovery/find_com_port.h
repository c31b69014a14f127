#pragma once

#include <cstdint>

#include "discovery/device_identity.h"
#include "platform/usb_device_list.h"

namespace tarnwick {

// Bytes set aside for a device's hardware-id list and for its "PortName".
constexpr std::uint32_t kHardwareIdCapacity = 1024;
constexpr std::uint32_t kPortNameCapacity = 1024;

// One silent pass over the USB devices present now. The first device, in the
// list's order, whose first hardware id (lowered) contains
// "vid_<vendorId>&pid_<productId>" and whose "PortName" reads as a COM name
// gives the answer: true, with `comNumber` set to its number. Devices whose
// id list is 1024 bytes or more, cannot be read, does not match, or that have
// no readable "PortName" are passed over. A matching device whose "PortName"
// is not a COM name ends the pass with false. `comNumber` is written only on
// true. The snapshot is released before returning, unless it could not be
// taken at all.
bool findComPort(UsbDeviceList& devices, const DeviceIdentity& identity, int& comNumber);

}  // namespace tarnwick
