#pragma once

#include <map>
#include <string>

namespace tarnwick {

// How a unit came out, for the slot it was in.
enum class SlotOutcome {
  Passed,   // PASS (then VERIFIED or UNVERIFIED)
  Failed,   // FAIL or MISMATCH
  Neither,  // ABORTED, SKIPPED: says nothing about the slot
};

// What the slot's fault does after a unit.
enum class SlotFaultChange { None, Raise, Clear };

// A slot that keeps failing: `limit` units in a row failed in the same
// slot (or location) raise its fault, once; a unit that passes there
// resets the count and clears the fault. Other slots count on their own.
class SlotFailRule {
 public:
  explicit SlotFailRule(int limit) : limit_(limit) {}

  SlotFaultChange observe(const std::string& slot, SlotOutcome outcome);
  // The units that failed in a row in `slot` up to now.
  int failsInARow(const std::string& slot) const;

 private:
  struct Count {
    int failed = 0;
    bool raised = false;
  };
  int limit_;
  std::map<std::string, Count> slots_;
};

}  // namespace tarnwick
