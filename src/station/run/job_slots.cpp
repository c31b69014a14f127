#include "station/run/job_slots.h"

#include <chrono>

namespace tarnwick {

bool JobSlots::acquire(const std::atomic<bool>& stop) {
  std::unique_lock<std::mutex> hold(lock_);
  // The timed wait bounds the delay should a wake-up be missed.
  while (free_ == 0 && !stop.load()) changed_.wait_for(hold, std::chrono::milliseconds(100));
  if (stop.load()) return false;
  --free_;
  return true;
}

void JobSlots::release() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    ++free_;
  }
  changed_.notify_one();
}

void JobSlots::wakeAll() {
  { std::lock_guard<std::mutex> hold(lock_); }
  changed_.notify_all();
}

}  // namespace tarnwick
