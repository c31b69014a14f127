#include "station/watch/cycle_book.h"

namespace tarnwick {

CycleWork& CycleBook::add() {
  cycles_.push_back(std::make_unique<CycleWork>());
  return *cycles_.back();
}

bool CycleBook::anyBusy() const {
  for (const auto& cycle : cycles_) {
    if (cycle->busy) return true;
  }
  return false;
}

void CycleBook::settle(std::size_t cycle) {
  CycleWork& work = *cycles_[cycle];
  if (work.thread.joinable()) work.thread.join();
  work.busy = false;
}

void CycleBook::joinAll() {
  for (const auto& cycle : cycles_) {
    if (cycle->thread.joinable()) cycle->thread.join();
  }
}

}  // namespace tarnwick
