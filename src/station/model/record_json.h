#pragma once

#include <string>

#include "station/model/modem_json.h"
#include "station/model/modem_record.h"

namespace tarnwick {

// The record's fields in their documented order.
OrderedJson recordJson(const ModemRecord& record);

// The `run-start` event's fields.
OrderedJson runStartJson(const ModemRecord& base);

// One line of JSON without a line end. Bytes that are not UTF-8 (a modem's
// log may hold any) are replaced rather than fail the line.
std::string jsonLine(const OrderedJson& value);

}  // namespace tarnwick
