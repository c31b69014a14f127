#include "download/spinner.h"

#include <chrono>
#include <cstdio>

namespace tarnwick {
namespace {

using Clock = std::chrono::steady_clock;

// A spinner that turns twenty times a second shows a download moving as
// well as one flushed at every character; on a fast link that is one
// console write per 50 ms instead of thousands a second.
constexpr auto kFlushInterval = std::chrono::milliseconds(50);

}  // namespace

int spinnerIndex = 0;

void advanceSpinner() {
  static const char kSpinnerCharacters[] = {'/', '-', '\\', '|'};
  static Clock::time_point lastFlush{};
  std::printf("%c\b", kSpinnerCharacters[spinnerIndex]);
  const Clock::time_point now = Clock::now();
  if (now - lastFlush >= kFlushInterval) {
    std::fflush(stdout);
    lastFlush = now;
  }
  spinnerIndex = (spinnerIndex + 1) % 4;
}

}  // namespace tarnwick
