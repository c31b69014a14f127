#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "station/cfx/cfx_resource.h"

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

// The station fault the interlock has: MES_UNREACHABLE (Warning,
// ServicesFailure) while the MES cannot be reached, none while it can.
inline constexpr char kMesUnreachable[] = "MES_UNREACHABLE";
std::vector<CfxFault> mesFaults(const MesStatus::View& view);
// That fault's description: why the MES cannot be reached.
std::string mesUnreachableText(const MesStatus::View& view);

}  // namespace tarnwick
