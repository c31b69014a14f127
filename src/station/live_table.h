#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "station/run_view.h"

namespace tarnwick {

// On a terminal: one row per modem (location, port, version, state,
// percent, KiB/s, ETA) and a totals line, redrawn in place at most ten
// times a second, and once more when the run ends.
class LiveTable final : public RunView {
 public:
  using Renderer = std::function<std::string(const RunBoard&)>;
  // `render` gives the table's text; by default one row per modem.
  explicit LiveTable(std::FILE* out, Renderer render = &LiveTable::render)
      : out_(out), render_(std::move(render)) {}

  void tick(const RunBoard& board, StationEvent::Clock::time_point now) override;
  void finish(const RunBoard& board) override { draw(board); }

  // The table's text, without the cursor movements.
  static std::string render(const RunBoard& board);

 private:
  void draw(const RunBoard& board);

  std::FILE* out_;
  Renderer render_;
  std::size_t drawnLines_ = 0;
  StationEvent::Clock::time_point lastDraw_{};
};

}  // namespace tarnwick
