#pragma once

#include <string>

#include "discovery/inventory.h"
#include "station/model/probe_result.h"

namespace tarnwick {

// One modem as one line of JSON, with its line end:
//   {"location":"1-4.2","serial":"SN0001","vid":"2c7c","pid":"0125","revision":"0318",
//    "ports":[{"port":"COM71","tty":"/dev/ttyUSB70","interface":0}, ...]}
// `tty` only for ports that have one (Linux). With a probe result, each port
// also has "probe_error" (text or null) and the modem "at_port" (the
// answering port's "port", or null) and "version" (text or null). Missing
// values are null. Bytes that are no UTF-8 come out as U+FFFD.
std::string modemJsonLine(const InventoryModem& modem, const ModemProbe* probe);

}  // namespace tarnwick
