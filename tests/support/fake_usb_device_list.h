#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/usb_device_list.h"

namespace tarnwick::testing {

// One scripted device of a FakeUsbDeviceList.
struct FakeUsbDevice {
  // The hardware-id list bytes (NULs included) handed out by a read.
  std::string hardwareIds;
  // When true, the size query reports `reportedSize` instead of the list's size.
  bool overrideSize = false;
  std::uint32_t reportedSize = 0;
  // When true, reading the hardware-id list fails.
  bool idReadFails = false;
  // The "PortName" bytes, exactly as stored; absent when `hasPortName` is false.
  bool hasPortName = false;
  std::string portName;
  // The device is present from this scan (0-based count of `open` calls) on.
  unsigned presentFromScan = 0;
};

// The list of `ids` as Windows stores it: each id NUL-terminated, then an
// empty id.
std::string hardwareIdList(const std::vector<std::string>& ids);

// A device with the given ids and, unless `portName` is null, that PortName
// stored with its terminating NUL.
FakeUsbDevice fakeDevice(const std::vector<std::string>& ids, const char* portName = nullptr);

// A scripted UsbDeviceList that records every call, so tests can see what a
// scan asked for and in which order: "open", "next", "size <i>", "ids <i>",
// "port <i>", "close", with <i> the device's index in `devices`.
class FakeUsbDeviceList : public UsbDeviceList {
 public:
  std::vector<FakeUsbDevice> devices;
  bool openFails = false;
  std::vector<std::string> calls;
  // Extra record of the calls, shared with other fakes to see interleaving.
  std::vector<std::string>* journal = nullptr;

  bool open() override;
  bool next() override;
  std::uint32_t hardwareIdListSize() override;
  bool readHardwareIdList(char* buffer, std::uint32_t capacity, std::uint32_t& delivered) override;
  bool readPortName(char* buffer, std::uint32_t capacity, std::uint32_t& delivered) override;
  void close() override;

  unsigned scans() const { return scans_; }
  unsigned countCalls(const std::string& call) const;

 private:
  void record(const std::string& call);
  const FakeUsbDevice* current();
  std::string currentIndex() const;

  std::vector<std::size_t> present_;
  std::size_t position_ = 0;
  unsigned scans_ = 0;
  bool isOpen_ = false;
};

}  // namespace tarnwick::testing
