#pragma once

#include <cstddef>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

namespace tarnwick {

// What the interlock knows of the MES, shared by every unit's worker and
// read by the run's own thread and the request listener: how many units wait
// for its answer, and whether it can be reached. The station's state
// (SBY_NoHost while units wait and none is worked) and its fault registry
// (MES_UNREACHABLE while it cannot be reached) read it from here.
class MesStatus {
 public:
  struct View {
    std::size_t unitsWaiting = 0;
    bool reachable = true;
    std::string unreachableSince;   // ISO 8601 UTC; empty while reachable
    std::string faultOccurrenceId;  // one UUID per time it became unreachable
    std::string lastError;          // why it could not be reached
  };

  // A unit begins or ends waiting for the MES.
  void unitWaits(bool waits);
  // An exchange reached the MES (or could not, and why).
  void reached(bool reachable, const std::string& why = "");
  View view() const;

 private:
  mutable std::mutex lock_;
  View view_;
};

// The station's faults the interlock raises, as CFX `Fault` objects: one
// MES_UNREACHABLE (Warning, ServicesFailure) while the MES cannot be reached.
nlohmann::json mesFaults(const MesStatus::View& view);

}  // namespace tarnwick
