#include "station/model/modem_json.h"

namespace tarnwick {

OrderedJson textOrNull(const std::string& text) {
  return text.empty() ? OrderedJson() : OrderedJson(text);
}

OrderedJson textOrNull(const std::optional<std::string>& text) {
  return text ? OrderedJson(*text) : OrderedJson();
}

OrderedJson comPortJson(std::optional<int> comNumber) {
  return comNumber ? OrderedJson("COM" + std::to_string(*comNumber)) : OrderedJson();
}

void putModemIdentity(OrderedJson& json, const std::string& location, const OrderedJson& serial,
                      const std::string& vid, const std::string& pid, const OrderedJson* imei) {
  json["location"] = location;
  json["serial"] = serial;
  if (imei != nullptr) json["imei"] = *imei;
  json["vid"] = vid;
  json["pid"] = pid;
}

void putPort(OrderedJson& json, std::optional<int> comNumber, const std::string& tty,
             std::optional<int> interfaceNumber) {
  json["port"] = comPortJson(comNumber);
  if (!tty.empty()) json["tty"] = tty;
  json["interface"] = interfaceNumber ? OrderedJson(*interfaceNumber) : OrderedJson();
}

OrderedJson targetJson(std::size_t modem, const FlashTarget& target) {
  OrderedJson found;
  found["modem"] = modem;
  putModemIdentity(found, target.location, textOrNull(target.serial), target.vid, target.pid);
  OrderedJson ports = OrderedJson::array();
  for (const FlashTarget::Port& port : target.ports) {
    OrderedJson entry;
    putPort(entry, knownComNumber(port.comNumber), port.tty, port.interfaceNumber);
    ports.push_back(entry);
  }
  found["ports"] = ports;
  return found;
}

}  // namespace tarnwick
