#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "discovery/inventory.h"
#include "platform/serial_port.h"
#include "station/model/probe_result.h"

namespace tarnwick {

// Tries the modem's ports in their order with the one-modem tool's handshake
// (drain, then "AT" answered with OK), each on its own link and port from
// `makePort`, and stops at the first that answers; asks that one for its
// firmware version. A port without a COM number is not tried. Nothing is
// printed: each link's reports are captured and summed up in `portErrors`.
ModemProbe probeModem(const InventoryModem& modem, const SerialPortFactory& makePort);

// Probes every modem at once, one thread each, and calls `done` with the
// modem's index and its result as each finishes (from that modem's thread;
// calls may come at the same time). Returns once every probe has ended.
void probeModemsInParallel(const std::vector<InventoryModem>& modems,
                           const SerialPortFactory& makePort,
                           const std::function<void(std::size_t, const ModemProbe&)>& done);

}  // namespace tarnwick
