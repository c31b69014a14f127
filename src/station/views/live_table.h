#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "station/views/run_view.h"

namespace tarnwick {

// How a table is drawn: `width` columns at most (0: no limit), and with
// each row in its state's colour.
struct TableLook {
  std::size_t width = 0;
  bool colour = false;
};

// On a terminal: one row per modem (location, port, version, state,
// percent, KiB/s, ETA, and the reason of a FAIL) and a totals line,
// redrawn in place at most ten times a second, and once more when the run
// ends.
class LiveTable final : public RunView {
 public:
  using Renderer = std::function<std::string(const RunBoard&, const TableLook&)>;
  // How wide the terminal is now (asked at each drawing, so a resized
  // window is followed).
  using Columns = std::function<std::size_t()>;
  // `render` gives the table's text; by default one row per modem.
  explicit LiveTable(std::FILE* out, Renderer render = &LiveTable::render, Columns columns = {});

  // Rows in their states' colours.
  void useColour(bool colour) { colour_ = colour; }

  void tick(const RunBoard& board, StationEvent::Clock::time_point now) override;
  void finish(const RunBoard& board) override { draw(board); }

  // The table's text, without the cursor movements.
  static std::string render(const RunBoard& board, const TableLook& look = {});

 private:
  void draw(const RunBoard& board);

  std::FILE* out_;
  Renderer render_;
  Columns columns_;
  bool colour_ = false;
  // Screen rows the last drawing took, wrapped lines counted.
  std::size_t drawnRows_ = 0;
  StationEvent::Clock::time_point lastDraw_{};
};

// The width a table on `out` is laid out to: one column less than its
// terminal has (so that no line ends on the last column, where terminals
// differ on wrapping), or 0 (no limit) off a terminal.
std::size_t tableWidthFor(std::size_t terminalColumns);
std::size_t tableWidthFor(std::FILE* out);

// The columns a table is fitted to: what the terminal reports; on a
// terminal that reports none (a pseudo-terminal opened without a size, a
// serial console), the COLUMNS variable (`columnsVariable`, null when not
// set) when it holds a number, else 80; off a terminal 0 (no limit).
std::size_t columnsToFit(std::size_t reported, bool terminal, const char* columnsVariable);
// Those columns for `out`, asked of its terminal and the environment now.
std::size_t screenColumns(std::FILE* out);

// With --publish, under a table's totals while results wait for the
// broker or files in the outbox cannot be read: "3 results wait for the
// broker amqp://line1@b:5672/q (oldest 42 s); 1 file in the outbox cannot
// be read", naming the broker connected to or being tried; empty otherwise.
std::string outboxLine(const RunBoard& board, std::chrono::system_clock::time_point now);

}  // namespace tarnwick
