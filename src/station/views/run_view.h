#pragma once

#include "station/model/station_event.h"
#include "station/views/run_board.h"

namespace tarnwick {

// A way of showing a run: told of each event after the board took it, and
// ticked at least ten times a second while the run lasts.
class RunView {
 public:
  virtual ~RunView() = default;
  virtual void onEvent(const StationEvent& /*event*/, const RunBoard& /*board*/) {}
  virtual void tick(const RunBoard& /*board*/, StationEvent::Clock::time_point /*now*/) {}
  // Every modem has ended.
  virtual void finish(const RunBoard& /*board*/) {}
};

}  // namespace tarnwick
