#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace tarnwick {

enum class FaultSeverity { Information, Warning, Error, Alarm };
const char* faultSeverityName(FaultSeverity severity);  // "Information", ..., as CFX says

// One occurrence of a station fault (not a unit's FAIL): from the moment
// it is raised until it is cleared.
struct StationFault {
  std::string code;  // "SLOT_FAILING", "RECORD_WRITE", "OUTBOX_WRITE", ...
  std::string slot;  // the slot label or location it concerns; empty: the station
  FaultSeverity severity = FaultSeverity::Warning;
  std::string cause;  // as CFX names it: "MechanicalFailure", "SoftwareFailure", ...
  std::string description;
  std::string occurrenceId;  // a UUID of its own
  std::string occurredAt;    // isoTimeUtc
};

// The station's active faults, each known by its code and slot: at most
// one occurrence of each at a time. Any part of the station may raise its
// own code; readers (the views, a heartbeat, a MES asking) take a copy.
// Thread-safe.
class StationFaults {
 public:
  // Makes `fault` active; false (and nothing changes) when its code and
  // slot are active already.
  bool raise(const StationFault& fault);
  // Ends the occurrence of `code` at `slot`; false when none is active.
  // `cleared`: the occurrence that ended.
  bool clear(const std::string& code, const std::string& slot, StationFault& cleared);
  bool isActive(const std::string& code, const std::string& slot) const;
  // The active faults, oldest first.
  std::vector<StationFault> active() const;

 private:
  mutable std::mutex mutex_;
  std::vector<StationFault> active_;
};

}  // namespace tarnwick
