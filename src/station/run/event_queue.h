#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "station/model/station_event.h"

namespace tarnwick {

// Many workers put, one reader takes. The lock is held only to move an
// event in or out, never across port or console I/O.
class EventQueue {
 public:
  void put(StationEvent event);

  // Takes the oldest event, waiting at most `waitMs` for one. False when
  // none came.
  bool take(StationEvent& event, int waitMs);

 private:
  std::mutex lock_;
  std::condition_variable arrived_;
  std::deque<StationEvent> events_;
};

}  // namespace tarnwick
