#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tarnwick {

// At most `count` modems flashed at once (--jobs). A worker waits for a
// slot before it touches its port; a stop request ends the wait.
class JobSlots {
 public:
  explicit JobSlots(int count) : free_(count) {}

  // True with a slot taken; false when `stop` was set first.
  bool acquire(const std::atomic<bool>& stop);
  void release();
  // Wakes the waiting workers so they see a stop request.
  void wakeAll();

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  int free_;
};

}  // namespace tarnwick
