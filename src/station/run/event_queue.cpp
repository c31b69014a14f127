#include "station/run/event_queue.h"

#include <utility>

namespace tarnwick {

void EventQueue::put(StationEvent event) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back(std::move(event));
  }
  arrived_.notify_one();
}

bool EventQueue::take(StationEvent& event, int waitMs) {
  std::unique_lock<std::mutex> hold(lock_);
  if (!arrived_.wait_for(hold, std::chrono::milliseconds(waitMs),
                         [this] { return !events_.empty(); })) {
    return false;
  }
  event = std::move(events_.front());
  events_.pop_front();
  return true;
}

}  // namespace tarnwick
