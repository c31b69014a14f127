#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "station/modem_record.h"

namespace tarnwick {

using OrderedJson = nlohmann::ordered_json;

// `text`, or null when it is empty (a modem without a serial).
OrderedJson textOrNull(const std::string& text);

// A COM number as the inventory shows it: "COM7", or null for none (a
// tty outside the COM-number rule, or a modem left without a port).
OrderedJson comPortJson(int comNumber);

// Numeric interface of a port ("MI_02", "02", "2"); -1 when unknown.
int interfaceNumber(const std::string& text);

// A port's interface ("02") as the inventory shows it: 2, or null for none.
OrderedJson interfaceJson(const std::string& twoHexDigits);

// The record's fields in their documented order.
OrderedJson recordJson(const ModemRecord& record);

// One line of JSON without a line end. Bytes that are not UTF-8 (a modem's
// log may hold any) are replaced rather than fail the line.
std::string jsonLine(const OrderedJson& value);

}  // namespace tarnwick
