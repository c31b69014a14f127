#include "discovery/find_com_port.h"

#include <algorithm>
#include <string>

#include "discovery/hardware_id_match.h"
#include "discovery/port_name_parse.h"
#include "text/lower_case_text.h"

namespace tarnwick {
namespace {

// Releases the snapshot when the pass ends, whichever way it ends.
class SnapshotRelease {
 public:
  explicit SnapshotRelease(UsbDeviceList& devices) : devices_(devices) {}
  ~SnapshotRelease() { devices_.close(); }
  SnapshotRelease(const SnapshotRelease&) = delete;
  SnapshotRelease& operator=(const SnapshotRelease&) = delete;

 private:
  UsbDeviceList& devices_;
};

// True when the current device's hardware-id list is small enough, can be
// read, and holds `pattern` in its first id once lowered.
bool currentDeviceMatches(UsbDeviceList& devices, const std::string& pattern) {
  if (devices.hardwareIdListSize() >= kHardwareIdCapacity) return false;
  char ids[kHardwareIdCapacity];
  std::uint32_t delivered = 0;
  if (!devices.readHardwareIdList(ids, kHardwareIdCapacity, delivered)) return false;
  delivered = std::min(delivered, kHardwareIdCapacity);
  return firstIdContains(lowerCaseText(ids, delivered), pattern);
}

}  // namespace

bool findComPort(UsbDeviceList& devices, const DeviceIdentity& identity, int& comNumber) {
  if (!devices.open()) return false;
  SnapshotRelease release(devices);
  const std::string pattern = matchPattern(identity);
  while (devices.next()) {
    if (!currentDeviceMatches(devices, pattern)) continue;
    // The value may lack a terminator: the parse stops at the bytes delivered.
    char portName[kPortNameCapacity];
    std::uint32_t delivered = 0;
    if (!devices.readPortName(portName, kPortNameCapacity, delivered)) continue;
    return parseComPortName(portName, std::min(delivered, kPortNameCapacity), comNumber);
  }
  return false;
}

}  // namespace tarnwick
