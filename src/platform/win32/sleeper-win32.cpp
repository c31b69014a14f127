// Pauses of the calling thread with the system's Sleep.
#include <windows.h>

#include "platform/sleeper.h"

namespace tarnwick {
namespace {

class Win32Sleeper final : public Sleeper {
 public:
  void sleepMs(unsigned milliseconds) override { Sleep(milliseconds); }
};

}  // namespace

Sleeper& systemSleeper() {
  static Win32Sleeper sleeper;
  return sleeper;
}

}  // namespace tarnwick
