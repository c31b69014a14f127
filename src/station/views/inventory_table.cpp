#include "station/views/inventory_table.h"

#include <cstdio>

#include "text/text_table.h"

namespace tarnwick {
namespace {

using Row = std::vector<std::string>;

const char kNone[] = "-";

std::string orNone(const std::optional<std::string>& text) {
  return text ? *text : kNone;
}

std::string portName(const InventoryPort& port) {
  return port.comNumber ? "COM" + std::to_string(*port.comNumber) : kNone;
}

// "COM71 (ttyUSB70, MI_00)": the tty by its name, the interface as Windows
// writes it.
std::string portCell(const InventoryPort& port) {
  std::vector<std::string> details;
  if (!port.ttyPath.empty()) details.push_back(port.ttyPath.substr(port.ttyPath.rfind('/') + 1));
  if (port.interfaceNumber) {
    char mi[8];
    std::snprintf(mi, sizeof mi, "MI_%02X", static_cast<unsigned>(*port.interfaceNumber & 0xff));
    details.push_back(mi);
  }
  std::string cell = portName(port);
  for (std::size_t i = 0; i < details.size(); ++i) {
    cell += (i == 0 ? " (" : ", ") + details[i];
  }
  return details.empty() ? cell : cell + ")";
}

std::string portsCell(const InventoryModem& modem) {
  std::string cell;
  for (const InventoryPort& port : modem.ports) cell += (cell.empty() ? "" : ", ") + portCell(port);
  return cell.empty() ? kNone : cell;
}

Row modemRow(const InventoryModem& modem, const ModemProbe* probe) {
  Row row = {modem.location.empty() ? kNone : modem.location, orNone(modem.serial),
             modem.vendorId + ":" + modem.productId, orNone(modem.revision)};
  if (probe != nullptr) {
    const bool answered = probe->atPort && *probe->atPort < modem.ports.size();
    row.push_back(answered ? portName(modem.ports[*probe->atPort]) : kNone);
    row.push_back(orNone(probe->version));
  }
  row.push_back(portsCell(modem));
  return row;
}

}  // namespace

std::string inventoryTable(const std::vector<InventoryModem>& modems,
                           const std::vector<ModemProbe>* probes) {
  std::vector<Row> rows;
  rows.push_back(probes ? Row{"LOCATION", "SERIAL", "VID:PID", "REV", "AT-PORT", "VERSION", "PORTS"}
                        : Row{"LOCATION", "SERIAL", "VID:PID", "REV", "PORTS"});
  const ModemProbe notProbed;
  for (std::size_t i = 0; i < modems.size(); ++i) {
    const ModemProbe* probe = nullptr;
    if (probes != nullptr) probe = i < probes->size() ? &(*probes)[i] : &notProbed;
    rows.push_back(modemRow(modems[i], probe));
  }
  return layOutColumns(rows);
}

}  // namespace tarnwick
