#pragma once

#include <functional>
#include <vector>

#include "atlink/at_interface.h"
#include "station/model/flash_target.h"

namespace tarnwick {

enum class PortSearch { Answered, NoAnswer, Stopped };

// How long and how patiently to look for a modem's AT port.
struct PortSearchRules {
  // 0: every port is tried once. Otherwise the ports are tried again, round
  // after round, until one answers or this much time has passed: a modem
  // that has just enumerated may boot for seconds, and another program may
  // hold a new tty for a moment.
  int settleMs = 0;
  std::function<bool()> stopped = [] { return false; };
  // Told of each port before it is tried.
  std::function<void(const FlashTarget::Port&)> trying = [](const FlashTarget::Port&) {};
  // When set, each round after the first takes the modem's ports as the
  // device list shows them now (an interface may appear a listing later, a
  // tty before its device node); false: the list cannot tell, the ports
  // stay as they were.
  std::function<bool(std::vector<FlashTarget::Port>&)> currentPorts;
};

// Tries `ports` in interface order with the handshake (`initialise`) and
// leaves the link open on the first that answers, `answered` pointing at it.
// `ports` ends as the last round took them.
PortSearch findAnsweringPort(AtInterface& link, std::vector<FlashTarget::Port>& ports,
                             const PortSearchRules& rules, const FlashTarget::Port*& answered);

}  // namespace tarnwick
