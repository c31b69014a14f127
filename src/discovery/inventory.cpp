#include "discovery/inventory.h"

#include <algorithm>
#include <map>

#include "discovery/default_identities.h"
#include "discovery/find_com_port.h"
#include "discovery/hardware_id_fields.h"
#include "discovery/hardware_id_match.h"
#include "discovery/port_name_parse.h"
#include "platform/instance_id.h"
#include "text/natural_order.h"

namespace tarnwick {
namespace {

bool hasPort(const UsbDeviceRecord& record) {
  return record.portName.has_value() || !record.ttyPath.empty();
}

// The identity whose pattern the record's first id holds, or none. The id
// list goes through the same size limit and lowering as the one-modem lookup.
const DeviceIdentity* matchingIdentity(const UsbDeviceRecord& record,
                                       const std::vector<DeviceIdentity>& identities) {
  if (record.hardwareIds.size() >= kHardwareIdCapacity) return nullptr;
  const std::string idText = loweredFirstId(record.hardwareIds);
  for (const DeviceIdentity& identity : identities) {
    if (firstIdContains(idText, matchPattern(identity))) return &identity;
  }
  return nullptr;
}

// The index of the record the port at `portIndex` belongs to.
std::size_t modemRecordOf(const std::vector<UsbDeviceRecord>& records, std::size_t portIndex) {
  const UsbDeviceRecord& port = records[portIndex];
  if (!readHardwareIdFields(loweredFirstId(port.hardwareIds)).interfaceNumber) return portIndex;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i != portIndex && !port.parentId.empty() &&
        sameIgnoringCase(records[i].instanceId, port.parentId)) {
      return i;
    }
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (i != portIndex && startsWithIdPrefix(port.instanceId, records[i].parentIdPrefix)) return i;
  }
  return portIndex;
}

std::optional<int> comNumberOf(const UsbDeviceRecord& record) {
  int number = 0;
  if (!record.portName ||
      !parseComPortName(record.portName->data(),
                        static_cast<std::uint32_t>(record.portName->size()), number) ||
      number <= 0) {
    return std::nullopt;
  }
  return number;
}

InventoryPort portOf(const UsbDeviceRecord& record, const HardwareIdFields& fields) {
  return InventoryPort{comNumberOf(record), record.ttyPath, fields.interfaceNumber};
}

InventoryModem modemOf(const UsbDeviceRecord& modemRecord, const HardwareIdFields& fields,
                       const DeviceIdentity& identity) {
  InventoryModem modem;
  modem.location = modemRecord.location;
  modem.serial = modemRecord.serial;
  modem.vendorId = fields.vendorId.value_or(identity.vendorId);
  modem.productId = fields.productId.value_or(identity.productId);
  modem.revision = fields.revision;
  return modem;
}

// Interface order; ports without an interface number last; then COM
// number and tty, so that the order never depends on the system's listing.
bool portBefore(const InventoryPort& a, const InventoryPort& b) {
  const int noInterface = 1 << 16;
  const int interfaceA = a.interfaceNumber.value_or(noInterface);
  const int interfaceB = b.interfaceNumber.value_or(noInterface);
  if (interfaceA != interfaceB) return interfaceA < interfaceB;
  if (a.comNumber.value_or(0) != b.comNumber.value_or(0)) {
    return a.comNumber.value_or(0) < b.comNumber.value_or(0);
  }
  return naturalLess(a.ttyPath, b.ttyPath);
}

bool modemBefore(const InventoryModem& a, const InventoryModem& b) {
  if (a.location != b.location) return naturalLess(a.location, b.location);
  if (a.serial != b.serial) return a.serial < b.serial;
  return !a.ports.empty() && !b.ports.empty() && portBefore(a.ports.front(), b.ports.front());
}

}  // namespace

std::vector<DeviceIdentity> defaultIdentityList() {
  std::vector<DeviceIdentity> identities;
  for (unsigned i = 0; i < kDefaultIdentityCount; ++i) identities.push_back(defaultIdentity(i));
  return identities;
}

std::vector<InventoryModem> groupIntoModems(const std::vector<UsbDeviceRecord>& records,
                                            const std::vector<DeviceIdentity>& identities) {
  std::map<std::size_t, InventoryModem> byModemRecord;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const DeviceIdentity* identity =
        hasPort(records[i]) ? matchingIdentity(records[i], identities) : nullptr;
    if (identity == nullptr) continue;
    const HardwareIdFields fields = readHardwareIdFields(loweredFirstId(records[i].hardwareIds));
    const std::size_t modemIndex = modemRecordOf(records, i);
    auto entry = byModemRecord.find(modemIndex);
    if (entry == byModemRecord.end()) {
      entry =
          byModemRecord.emplace(modemIndex, modemOf(records[modemIndex], fields, *identity)).first;
    }
    entry->second.ports.push_back(portOf(records[i], fields));
  }
  std::vector<InventoryModem> modems;
  for (auto& [index, modem] : byModemRecord) {
    std::sort(modem.ports.begin(), modem.ports.end(), portBefore);
    modems.push_back(std::move(modem));
  }
  std::stable_sort(modems.begin(), modems.end(), modemBefore);
  return modems;
}

bool takeInventory(UsbInventorySource& source, const std::vector<DeviceIdentity>& identities,
                   std::vector<InventoryModem>& modems) {
  modems.clear();
  std::vector<UsbDeviceRecord> records;
  if (!source.listDevices(records)) return false;
  modems = groupIntoModems(records, identities);
  return true;
}

}  // namespace tarnwick
