#pragma once

#include <cstdint>

#include "modem_state.h"
#include "sim_options.h"

namespace modemsim {

// What happens to one command instead of (or on top of) its normal answer.
enum class Misbehaviour {
  None,
  Error,    // not executed; answered with echo and ERROR
  Silent,   // not executed; nothing at all is sent
  NoFinal,  // executed; answered without the final result
  Vanish,   // not executed; the device disappears and the simulator exits
  Flood,    // not executed; echo, then text without end and no final result
};

// Counts the commands and the AT%DNLIMG commands as they arrive and says
// which misbehaviour, if any, the options ask for at each.
class FaultPlan {
 public:
  explicit FaultPlan(const SimOptions& options) : options_(options) {}

  Misbehaviour next(CommandKind kind);

 private:
  const SimOptions& options_;
  std::uint64_t commandCount_ = 0;
  std::uint64_t packetCount_ = 0;
};

}  // namespace modemsim
