#include "station/watch/slot_fail_rule.h"

namespace tarnwick {

SlotFaultChange SlotFailRule::observe(const std::string& slot, SlotOutcome outcome) {
  Count& count = slots_[slot];
  switch (outcome) {
    case SlotOutcome::Neither:
      return SlotFaultChange::None;
    case SlotOutcome::Passed: {
      const bool wasRaised = count.raised;
      count = Count{};
      return wasRaised ? SlotFaultChange::Clear : SlotFaultChange::None;
    }
    case SlotOutcome::Failed:
      break;
  }
  ++count.failed;
  if (count.raised || limit_ <= 0 || count.failed < limit_) return SlotFaultChange::None;
  count.raised = true;
  return SlotFaultChange::Raise;
}

int SlotFailRule::failsInARow(const std::string& slot) const {
  const auto found = slots_.find(slot);
  return found == slots_.end() ? 0 : found->second.failed;
}

}  // namespace tarnwick
