#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

#include "station/model/flash_target.h"
#include "station/model/modem_record.h"
#include "station/run/worker.h"
#include "station/watch/verify_worker.h"

namespace tarnwick {

// One modem cycle's work: its flash worker, then maybe its check.
struct CycleWork {
  FlashTarget target;
  WorkerShared shared;
  VerifyJob verify;
  std::thread thread;  // the flash, then the check
  bool busy = false;
  std::atomic<bool> gone{false};  // the unit has left the device list
  ModemRecord record;             // the flash's, completed by the check
};

// The cycles of a watch run, by number: a cycle's number is its row on the
// board and its `modem` in the events. Kept by the thread that reads the
// run's events; each cycle's thread uses only its own entry.
class CycleBook {
 public:
  ~CycleBook() { joinAll(); }

  // A new cycle, numbered size() before the call; it stays where it is.
  CycleWork& add();
  CycleWork& operator[](std::size_t cycle) { return *cycles_[cycle]; }
  std::size_t size() const { return cycles_.size(); }
  // Some cycle's flash or check is under way.
  bool anyBusy() const;
  // Waits for the cycle's thread (its flash or check has put its last event)
  // and marks the cycle idle.
  void settle(std::size_t cycle);
  void joinAll();

 private:
  std::vector<std::unique_ptr<CycleWork>> cycles_;
};

}  // namespace tarnwick
