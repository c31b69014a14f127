#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <tuple>
#include <utility>

#include "platform/posix/sysfs_usb_device_list.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;

// Orders "ttyACM12" as ("ttyACM", 2 digits, "12"): listed tty numbers have no
// leading zeros, so fewer digits means a smaller number.
std::tuple<std::string, std::size_t, std::string> nameOrderKey(const std::string& name) {
  const std::size_t start = std::min(name.find_first_of("0123456789"), name.size());
  return {name.substr(0, start), name.size() - start, name.substr(start)};
}

bool comesBefore(const SysfsUsbPort& a, const SysfsUsbPort& b) {
  return nameOrderKey(a.ttyName) < nameOrderKey(b.ttyName);
}

// Copies `bytes` when they fit `capacity`.
bool deliver(const std::string& bytes, char* buffer, std::uint32_t capacity,
             std::uint32_t& delivered) {
  if (bytes.size() > capacity) return false;
  std::memcpy(buffer, bytes.data(), bytes.size());
  delivered = static_cast<std::uint32_t>(bytes.size());
  return true;
}

}  // namespace

SysfsUsbDeviceList::SysfsUsbDeviceList(std::string sysRoot, std::string devRoot)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)) {}

bool SysfsUsbDeviceList::open() {
  close();
  std::error_code error;
  fs::directory_iterator entry(fs::path(sysRoot_) / "class" / "tty", error);
  if (error) return false;
  for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
    SysfsUsbPort port;
    if (describeSysfsUsbPort(sysRoot_, devRoot_, entry->path().filename().string(), port)) {
      ports_.push_back(port);
    }
  }
  std::sort(ports_.begin(), ports_.end(), comesBefore);
  return true;
}

bool SysfsUsbDeviceList::next() {
  if (nextIndex_ >= ports_.size()) {
    nextIndex_ = ports_.size() + 1;
    return false;
  }
  ++nextIndex_;
  return true;
}

const SysfsUsbPort* SysfsUsbDeviceList::current() const {
  if (nextIndex_ == 0 || nextIndex_ > ports_.size()) return nullptr;
  return &ports_[nextIndex_ - 1];
}

std::uint32_t SysfsUsbDeviceList::hardwareIdListSize() {
  const SysfsUsbPort* port = current();
  return port ? static_cast<std::uint32_t>(port->hardwareIds.size()) : 0;
}

bool SysfsUsbDeviceList::readHardwareIdList(char* buffer, std::uint32_t capacity,
                                            std::uint32_t& delivered) {
  const SysfsUsbPort* port = current();
  return port && deliver(port->hardwareIds, buffer, capacity, delivered);
}

bool SysfsUsbDeviceList::readPortName(char* buffer, std::uint32_t capacity,
                                      std::uint32_t& delivered) {
  const SysfsUsbPort* port = current();
  return port && port->hasPortName && deliver(port->portName, buffer, capacity, delivered);
}

void SysfsUsbDeviceList::close() {
  ports_.clear();
  nextIndex_ = 0;
}

std::unique_ptr<UsbDeviceList> makeSystemUsbDeviceList() {
  return std::make_unique<SysfsUsbDeviceList>("/sys", "/dev");
}

}  // namespace tarnwick
