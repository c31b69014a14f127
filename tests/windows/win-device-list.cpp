// Lists the present USB devices exactly as the program's device list sees
// them: each device's hardware-id list (escaped, NULs shown as \0) and its
// "PortName" value, so that a test can compare them with the entries it made.
//
//   win-device-list.exe
//
// Output, one line per device, then a count:
//   device 0: id_size=32 ids="USB\\VID_1234&PID_5678\0\0" port=none
//   device 1: id_size=40 ids="..." port="COM7\0"
//   devices: 2
// Exit status 0, or 2 when the system gives no device list.
#include <cstdio>

#include "byte_escape.h"
#include "platform/console.h"
#include "platform/last_error.h"
#include "platform/usb_device_list.h"

namespace {

constexpr std::uint32_t kBufferSize = 1024;

std::string hardwareIds(tarnwick::UsbDeviceList& devices) {
  char buffer[kBufferSize] = {};
  std::uint32_t delivered = 0;
  if (!devices.readHardwareIdList(buffer, kBufferSize, delivered)) return "unreadable";
  return "\"" + tarnwick::testing::escapeBytes(buffer, delivered) + "\"";
}

std::string portName(tarnwick::UsbDeviceList& devices) {
  char buffer[kBufferSize] = {};
  std::uint32_t delivered = 0;
  if (!devices.readPortName(buffer, kBufferSize, delivered)) return "none";
  return "\"" + tarnwick::testing::escapeBytes(buffer, delivered) + "\"";
}

}  // namespace

int main() {
  tarnwick::prepareConsole();  // "\n" stays "\n", as the tests expect
  std::unique_ptr<tarnwick::UsbDeviceList> devices = tarnwick::makeSystemUsbDeviceList();
  if (!devices->open()) {
    std::printf("device list failed: error %d\n", tarnwick::lastErrorCode());
    return 2;
  }
  int count = 0;
  while (devices->next()) {
    std::uint32_t size = devices->hardwareIdListSize();
    std::string ids = hardwareIds(*devices);
    std::printf("device %d: id_size=%u ids=%s port=%s\n", count, static_cast<unsigned>(size),
                ids.c_str(), portName(*devices).c_str());
    ++count;
  }
  devices->close();
  std::printf("devices: %d\n", count);
  return 0;
}
