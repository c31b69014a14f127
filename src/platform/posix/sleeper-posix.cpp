#include <cerrno>
#include <ctime>

#include "platform/sleeper.h"

namespace tarnwick {
namespace {

// Pauses with nanosleep, resuming after a signal for the time that was left.
class NanosleepSleeper : public Sleeper {
 public:
  void sleepMs(unsigned milliseconds) override {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }
};

}  // namespace

Sleeper& systemSleeper() {
  static NanosleepSleeper sleeper;
  return sleeper;
}

}  // namespace tarnwick
