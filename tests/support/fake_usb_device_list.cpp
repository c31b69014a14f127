#include "support/fake_usb_device_list.h"

#include <algorithm>
#include <cstring>

namespace tarnwick::testing {

std::string hardwareIdList(const std::vector<std::string>& ids) {
  std::string list;
  for (const std::string& id : ids) {
    list += id;
    list.push_back('\0');
  }
  list.push_back('\0');
  return list;
}

FakeUsbDevice fakeDevice(const std::vector<std::string>& ids, const char* portName) {
  FakeUsbDevice device;
  device.hardwareIds = hardwareIdList(ids);
  if (portName) {
    device.hasPortName = true;
    device.portName = std::string(portName) + '\0';
  }
  return device;
}

void FakeUsbDeviceList::record(const std::string& call) {
  calls.push_back(call);
  if (journal) journal->push_back(call);
}

bool FakeUsbDeviceList::open() {
  record("open");
  if (openFails) return false;
  present_.clear();
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].presentFromScan <= scans_) present_.push_back(i);
  }
  ++scans_;
  position_ = 0;
  isOpen_ = true;
  return true;
}

bool FakeUsbDeviceList::next() {
  record("next");
  if (!isOpen_ || position_ >= present_.size()) return false;
  ++position_;
  return true;
}

std::string FakeUsbDeviceList::currentIndex() const {
  if (!isOpen_ || position_ == 0 || position_ > present_.size()) return "none";
  return std::to_string(present_[position_ - 1]);
}

const FakeUsbDevice* FakeUsbDeviceList::current() {
  if (!isOpen_ || position_ == 0 || position_ > present_.size()) return nullptr;
  return &devices[present_[position_ - 1]];
}

std::uint32_t FakeUsbDeviceList::hardwareIdListSize() {
  const FakeUsbDevice* device = current();
  record("size " + currentIndex());
  if (!device) return 0;
  return device->overrideSize ? device->reportedSize
                              : static_cast<std::uint32_t>(device->hardwareIds.size());
}

bool FakeUsbDeviceList::readHardwareIdList(char* buffer, std::uint32_t capacity,
                                           std::uint32_t& delivered) {
  const FakeUsbDevice* device = current();
  record("ids " + currentIndex());
  if (!device || device->idReadFails || device->hardwareIds.size() > capacity) return false;
  std::memcpy(buffer, device->hardwareIds.data(), device->hardwareIds.size());
  delivered = static_cast<std::uint32_t>(device->hardwareIds.size());
  return true;
}

bool FakeUsbDeviceList::readPortName(char* buffer, std::uint32_t capacity,
                                     std::uint32_t& delivered) {
  const FakeUsbDevice* device = current();
  record("port " + currentIndex());
  if (!device || !device->hasPortName || device->portName.size() > capacity) return false;
  std::memcpy(buffer, device->portName.data(), device->portName.size());
  delivered = static_cast<std::uint32_t>(device->portName.size());
  return true;
}

void FakeUsbDeviceList::close() {
  record("close");
  isOpen_ = false;
}

unsigned FakeUsbDeviceList::countCalls(const std::string& call) const {
  return static_cast<unsigned>(std::count(calls.begin(), calls.end(), call));
}

}  // namespace tarnwick::testing
