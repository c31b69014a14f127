#include "station/views/inventory_json.h"

#include "station/model/modem_json.h"

namespace tarnwick {
namespace {

OrderedJson portJson(const InventoryPort& port, const std::optional<std::string>* probeError) {
  OrderedJson json = OrderedJson::object();
  putPort(json, port.comNumber, port.ttyPath, port.interfaceNumber);
  if (probeError != nullptr) json["probe_error"] = textOrNull(*probeError);
  return json;
}

OrderedJson portsJson(const InventoryModem& modem, const ModemProbe* probe) {
  OrderedJson ports = OrderedJson::array();
  for (std::size_t i = 0; i < modem.ports.size(); ++i) {
    const bool hasError = probe != nullptr && i < probe->portErrors.size();
    ports.push_back(portJson(modem.ports[i], hasError ? &probe->portErrors[i] : nullptr));
  }
  return ports;
}

}  // namespace

std::string modemJsonLine(const InventoryModem& modem, const ModemProbe* probe) {
  OrderedJson json = OrderedJson::object();
  putModemIdentity(json, modem.location, textOrNull(modem.serial), modem.vendorId, modem.productId);
  json["revision"] = textOrNull(modem.revision);
  json["ports"] = portsJson(modem, probe);
  if (probe != nullptr) {
    const bool answered = probe->atPort && *probe->atPort < modem.ports.size();
    json["at_port"] = answered ? comPortJson(modem.ports[*probe->atPort].comNumber) : OrderedJson();
    json["version"] = textOrNull(probe->version);
  }
  // Serials and versions come from devices: bytes that are no UTF-8 are
  // replaced rather than let the dump fail.
  return json.dump(-1, ' ', false, OrderedJson::error_handler_t::replace) + "\n";
}

}  // namespace tarnwick
