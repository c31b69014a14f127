#pragma once

#include <cstdio>
#include <vector>

#include "station/views/run_view.h"
#include "station/views/state_colour.h"

namespace tarnwick {

// Not a terminal: one line per state change of a modem, and every 10 s a
// heartbeat line with every modem's percent; a result line in its state's
// colour when `colour` is on; watch's line on what it waits for.
class PlainLines final : public RunView {
 public:
  explicit PlainLines(std::FILE* out, bool colour = false) : out_(out), colour_(colour) {}

  void onEvent(const StationEvent& event, const RunBoard& board) override;
  void tick(const RunBoard& board, StationEvent::Clock::time_point now) override;

 private:
  void line(const std::string& text, Tone tone = Tone::Plain);

  std::FILE* out_;
  bool colour_;
  StationEvent::Clock::time_point lastHeartbeat_ = StationEvent::Clock::now();
};

}  // namespace tarnwick
