#include <signal.h>

#include <atomic>

#include "platform/stop_signals.h"

namespace tarnwick {
namespace {

std::atomic<bool> stopFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onStopSignal(int) {
  stopFlag.store(true);
}

}  // namespace

void installStopHandlers() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking call in the main thread wakes up to see it.
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() {
  return stopFlag.load();
}

void stopHandlingDone() {}

}  // namespace tarnwick
