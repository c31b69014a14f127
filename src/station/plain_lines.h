#pragma once

#include <cstdio>
#include <vector>

#include "station/run_view.h"

namespace tarnwick {

// Not a terminal: one line per state change of a modem, and every 10 s a
// heartbeat line with every modem's percent.
class PlainLines final : public RunView {
 public:
  explicit PlainLines(std::FILE* out) : out_(out) {}

  void onEvent(const StationEvent& event, const RunBoard& board) override;
  void tick(const RunBoard& board, StationEvent::Clock::time_point now) override;

 private:
  void line(const std::string& text);

  std::FILE* out_;
  StationEvent::Clock::time_point lastHeartbeat_ = StationEvent::Clock::now();
};

}  // namespace tarnwick
