#include "station/inventory_json.h"

#include <nlohmann/json.hpp>

namespace tarnwick::station {
namespace {

using Json = nlohmann::ordered_json;

Json textOrNull(const std::optional<std::string>& text) {
  return text ? Json(*text) : Json(nullptr);
}

Json portName(const InventoryPort& port) {
  return port.comNumber ? Json("COM" + std::to_string(*port.comNumber)) : Json(nullptr);
}

Json portJson(const InventoryPort& port, const std::optional<std::string>* probeError) {
  Json json = Json::object();
  json["port"] = portName(port);
  if (!port.ttyPath.empty()) json["tty"] = port.ttyPath;
  json["interface"] = port.interfaceNumber ? Json(*port.interfaceNumber) : Json(nullptr);
  if (probeError != nullptr) json["probe_error"] = textOrNull(*probeError);
  return json;
}

Json portsJson(const InventoryModem& modem, const ModemProbe* probe) {
  Json ports = Json::array();
  for (std::size_t i = 0; i < modem.ports.size(); ++i) {
    const bool hasError = probe != nullptr && i < probe->portErrors.size();
    ports.push_back(portJson(modem.ports[i], hasError ? &probe->portErrors[i] : nullptr));
  }
  return ports;
}

}  // namespace

std::string modemJsonLine(const InventoryModem& modem, const ModemProbe* probe) {
  Json json = Json::object();
  json["location"] = modem.location;
  json["serial"] = textOrNull(modem.serial);
  json["vid"] = modem.vendorId;
  json["pid"] = modem.productId;
  json["revision"] = textOrNull(modem.revision);
  json["ports"] = portsJson(modem, probe);
  if (probe != nullptr) {
    const bool answered = probe->atPort && *probe->atPort < modem.ports.size();
    json["at_port"] = answered ? portName(modem.ports[*probe->atPort]) : Json(nullptr);
    json["version"] = textOrNull(probe->version);
  }
  // Serials and versions come from devices: bytes that are no UTF-8 are
  // replaced rather than let the dump fail.
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace tarnwick::station
