#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "platform/serial_port.h"
#include "station/model/flash_target.h"
#include "station/run/event_queue.h"

namespace tarnwick {

// A modem back after its re-plug, to be asked what firmware it now runs.
struct VerifyJob {
  FlashTarget target;  // as the device list shows it now
  std::size_t cycle = 0;
  int settleMs = 0;
  // The modem's ports as the device list shows them now (see PortSearchRules).
  std::function<bool(std::vector<FlashTarget::Port>&)> currentPorts;
  SerialPortFactory makePort;
  const std::atomic<bool>* stop = nullptr;
};

// On the calling thread: finds the modem's AT port (with the settle
// retries), asks "AT+CGMR" and "AT+CGSN", closes the port, and puts one
// VerifyEnd event: `answered` with the trimmed version in `text` and the
// IMEI (maybe none) in `imei`, or why not in `text`.
void runVerify(const VerifyJob& job, EventQueue& events);

}  // namespace tarnwick
