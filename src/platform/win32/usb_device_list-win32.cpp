// The present USB devices as SetupAPI lists them, with each device's
// hardware-id list and the "PortName" value of its hardware registry key,
// handed out byte for byte.
#include <windows.h>
// setupapi.h needs the types of windows.h first.
#include <setupapi.h>

#include "platform/usb_device_list.h"

namespace tarnwick {
namespace {

class Win32UsbDeviceList final : public UsbDeviceList {
 public:
  Win32UsbDeviceList() = default;
  ~Win32UsbDeviceList() override { close(); }
  Win32UsbDeviceList(const Win32UsbDeviceList&) = delete;
  Win32UsbDeviceList& operator=(const Win32UsbDeviceList&) = delete;

  bool open() override;
  bool next() override;
  std::uint32_t hardwareIdListSize() override;
  bool readHardwareIdList(char* buffer, std::uint32_t capacity, std::uint32_t& delivered) override;
  bool readPortName(char* buffer, std::uint32_t capacity, std::uint32_t& delivered) override;
  void close() override;

 private:
  bool hasDevice() const { return devices_ != INVALID_HANDLE_VALUE && onDevice_; }

  HDEVINFO devices_ = INVALID_HANDLE_VALUE;
  // One record for every device, its size field set once per snapshot.
  SP_DEVINFO_DATA device_{};
  DWORD nextIndex_ = 0;
  bool onDevice_ = false;
};

bool Win32UsbDeviceList::open() {
  close();
  devices_ = SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (devices_ == INVALID_HANDLE_VALUE) return false;
  device_ = SP_DEVINFO_DATA{};
  device_.cbSize = sizeof(device_);
  nextIndex_ = 0;
  return true;
}

bool Win32UsbDeviceList::next() {
  if (devices_ == INVALID_HANDLE_VALUE) return false;
  onDevice_ = SetupDiEnumDeviceInfo(devices_, nextIndex_, &device_) != FALSE;
  ++nextIndex_;
  return onDevice_;
}

// Asked with no buffer, the system answers with the size it needs (and
// reports an insufficient buffer, which is expected here).
std::uint32_t Win32UsbDeviceList::hardwareIdListSize() {
  if (!hasDevice()) return 0;
  DWORD required = 0;
  SetupDiGetDeviceRegistryPropertyA(devices_, &device_, SPDRP_HARDWAREID, nullptr, nullptr, 0,
                                    &required);
  return required;
}

bool Win32UsbDeviceList::readHardwareIdList(char* buffer, std::uint32_t capacity,
                                            std::uint32_t& delivered) {
  if (!hasDevice()) return false;
  DWORD written = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(devices_, &device_, SPDRP_HARDWAREID, nullptr,
                                         reinterpret_cast<PBYTE>(buffer), capacity, &written)) {
    return false;
  }
  delivered = written;
  return true;
}

bool Win32UsbDeviceList::readPortName(char* buffer, std::uint32_t capacity,
                                      std::uint32_t& delivered) {
  if (!hasDevice()) return false;
  HKEY key = SetupDiOpenDevRegKey(devices_, &device_, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE)) return false;
  DWORD size = capacity;
  LONG status =
      RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return false;
  delivered = size;
  return true;
}

void Win32UsbDeviceList::close() {
  if (devices_ != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(devices_);
  devices_ = INVALID_HANDLE_VALUE;
  onDevice_ = false;
}

}  // namespace

std::unique_ptr<UsbDeviceList> makeSystemUsbDeviceList() {
  return std::make_unique<Win32UsbDeviceList>();
}

}  // namespace tarnwick
