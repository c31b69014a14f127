#include "station/run/answering_port.h"

#include <chrono>
#include <thread>
#include <utility>

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

// The pause between two rounds over the ports, waited in slices so that a
// stop request is seen soon.
constexpr auto kRoundPause = std::chrono::milliseconds(500);
constexpr auto kPauseSlice = std::chrono::milliseconds(50);

bool pauseUnlessStopped(const PortSearchRules& rules, Clock::time_point deadline) {
  const Clock::time_point until = std::min(Clock::now() + kRoundPause, deadline);
  while (Clock::now() < until) {
    if (rules.stopped()) return false;
    std::this_thread::sleep_for(kPauseSlice);
  }
  return !rules.stopped();
}

}  // namespace

PortSearch findAnsweringPort(AtInterface& link, std::vector<FlashTarget::Port>& ports,
                             const PortSearchRules& rules, const FlashTarget::Port*& answered) {
  answered = nullptr;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(rules.settleMs);
  for (bool first = true;; first = false) {
    std::vector<FlashTarget::Port> now;
    if (!first && rules.currentPorts && rules.currentPorts(now)) ports = std::move(now);
    for (const FlashTarget::Port& port : ports) {
      if (rules.stopped()) return PortSearch::Stopped;
      rules.trying(port);
      if (link.initialise(port.comNumber)) {
        answered = &port;
        return PortSearch::Answered;
      }
    }
    if (rules.stopped()) return PortSearch::Stopped;
    if (Clock::now() >= deadline || !pauseUnlessStopped(rules, deadline)) {
      return rules.stopped() ? PortSearch::Stopped : PortSearch::NoAnswer;
    }
  }
}

}  // namespace tarnwick
