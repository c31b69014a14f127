#include "atlink/at_interface.h"
#include "cli/entry.h"
#include "platform/console.h"
#include "platform/sleeper.h"
#include "platform/usb_device_list.h"

int main(int argc, char** argv) {
  tarnwick::prepareConsole();
  std::unique_ptr<tarnwick::UsbDeviceList> devices = tarnwick::makeSystemUsbDeviceList();
  tarnwick::ToolContext context{tarnwick::AtInterface::instance(), *devices,
                                tarnwick::systemSleeper()};
  return tarnwick::runTool(argc, argv, context);
}
