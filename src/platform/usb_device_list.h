#pragma once

#include <cstdint>
#include <memory>

namespace tarnwick {

// The present USB devices, as the operating system lists them, walked one
// at a time. The bytes handed out are exactly what the system stores, so
// that the matching rules live in shared code and see every quirk.
class UsbDeviceList {
 public:
  virtual ~UsbDeviceList() = default;

  // Takes a fresh snapshot of the present USB devices. False when the
  // system cannot give a device list.
  virtual bool open() = 0;

  // Moves to the next device (the first one after `open`). False once the
  // list is exhausted or the system reports an error.
  virtual bool next() = 0;

  // Size in bytes of the current device's hardware-id list: NUL-terminated
  // ids closed by an empty one. 0 when the device has none.
  virtual std::uint32_t hardwareIdListSize() = 0;

  // Reads the hardware-id list into `buffer`. False when it cannot be read
  // or does not fit `capacity`; otherwise `delivered` holds the bytes written.
  virtual bool readHardwareIdList(char* buffer, std::uint32_t capacity,
                                  std::uint32_t& delivered) = 0;

  // Reads the value "PortName" of the current device's hardware key into
  // `buffer`, exactly as stored (it may lack a terminator). False when the
  // device has no such key or value, or the value is larger than `capacity`.
  virtual bool readPortName(char* buffer, std::uint32_t capacity, std::uint32_t& delivered) = 0;

  // Releases the snapshot taken by `open`.
  virtual void close() = 0;
};

// The device list of the build's operating system.
std::unique_ptr<UsbDeviceList> makeSystemUsbDeviceList();

}  // namespace tarnwick
