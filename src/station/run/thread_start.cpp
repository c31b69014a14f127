#include "station/run/thread_start.h"

#include <system_error>

namespace tarnwick {

std::thread systemThread(std::function<void()> work) {
  return std::thread(std::move(work));
}

// A thread that cannot be started is said only by an exception.
bool startThread(const ThreadFactory& factory, std::thread& thread, std::function<void()> work,
                 std::string& why) {
  try {
    thread = factory(std::move(work));
    return true;
  } catch (const std::system_error& error) {
    why = error.what();
    return false;
  }
}

}  // namespace tarnwick
