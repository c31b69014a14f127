#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "station/model/flash_target.h"

namespace tarnwick {

using OrderedJson = nlohmann::ordered_json;

// The one JSON form of a modem's identity and of its ports, shared by the
// inventory (`list --json`), the `modem-found` event and the record.

// `text`, or null when it is empty (a modem without a serial).
OrderedJson textOrNull(const std::string& text);
// `text`, or null when there is none.
OrderedJson textOrNull(const std::optional<std::string>& text);

// A COM number as the inventory shows it: "COM7", or null for none.
OrderedJson comPortJson(std::optional<int> comNumber);

// Adds "location", "serial", then `imei` when given (the record's), then
// "vid" and "pid" to `json`.
void putModemIdentity(OrderedJson& json, const std::string& location, const OrderedJson& serial,
                      const std::string& vid, const std::string& pid,
                      const OrderedJson* imei = nullptr);

// Adds a port's "port" (COMn or null), "tty" (only when it has one: Linux)
// and "interface" (its number, or null for a single-interface device).
void putPort(OrderedJson& json, std::optional<int> comNumber, const std::string& tty,
             std::optional<int> interfaceNumber);

// A `modem-found` event's fields: the modem's index, where it is and its ports.
OrderedJson targetJson(std::size_t modem, const FlashTarget& target);

}  // namespace tarnwick
