#pragma once

#include "atlink/at_interface.h"
#include "platform/sleeper.h"
#include "platform/usb_device_list.h"

namespace tarnwick {

// What the command-line forms work with: the modem link, the USB device
// list and the pauses between scans. The program passes the system's; tests
// pass fakes or simulated ones.
struct ToolContext {
  AtInterface& link;
  UsbDeviceList& devices;
  Sleeper& sleeper;
};

}  // namespace tarnwick
