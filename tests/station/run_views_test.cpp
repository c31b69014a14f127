// How often each view writes as a run goes on: the live table at most ten
// times a second, a plain heartbeat every 10 s and a line per state change,
// a JSON progress event every 5 % or 2 s.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "station/views/json_events.h"
#include "station/views/live_table.h"
#include "station/views/plain_lines.h"
#include "station_fakes.h"

namespace tarnwick::testing {
namespace {

using Clock = StationEvent::Clock;
using std::chrono::milliseconds;

constexpr std::uint64_t kImageSize = 1000;

struct ViewCase {
  const char* name;
  std::function<std::unique_ptr<RunView>(std::FILE*)> makeView;
  int stepMs;  // time between two steps
  int steps;   // each step: a progress event (when it moves) and a tick
  std::uint64_t bytesPerStep;
  std::vector<Stage> stages;  // stage events before the first step
  std::string counted;        // the text counted in the output
  int expected;               // its count, the end of the run included
};

int occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

class RunViews : public ::testing::TestWithParam<ViewCase> {};

TEST_P(RunViews, WriteAsOftenAsTheyShould) {
  const ViewCase& c = GetParam();
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  std::unique_ptr<RunView> view = c.makeView(out);
  RunBoard board({{"1-1", "", "1234", "5678", {{3, "", std::nullopt}}}}, kImageSize);
  const Clock::time_point start = Clock::now();
  auto show = [&](StationEvent event) {
    board.apply(event);
    view->onEvent(event, board);
  };
  for (Stage stage : c.stages) {
    StationEvent event;
    event.stage = stage;
    event.at = start;
    show(event);
  }
  for (int step = 1; step <= c.steps; ++step) {
    const Clock::time_point now = start + milliseconds(c.stepMs * step);
    StationEvent progress;
    progress.kind = EventKind::Progress;
    progress.at = now;
    progress.bytesSent = std::min(kImageSize, c.bytesPerStep * step);
    progress.imageSize = kImageSize;
    show(progress);
    view->tick(board, now);
  }
  StationEvent end;
  end.kind = EventKind::ModemEnd;
  end.record.result = FlashResult::Pass;
  end.record.stage = "end";
  end.record.port = 3;
  show(end);
  view->finish(board);
  const std::string text = fileText(out);
  std::fclose(out);
  EXPECT_EQ(occurrences(text, c.counted), c.expected) << text;
}

std::unique_ptr<RunView> liveTable(std::FILE* out) {
  return std::make_unique<LiveTable>(out);
}
std::unique_ptr<RunView> plainLines(std::FILE* out) {
  return std::make_unique<PlainLines>(out);
}
std::unique_ptr<RunView> jsonEvents(std::FILE* out) {
  return std::make_unique<JsonEvents>(out);
}

const ViewCase kViewCases[] = {
    // Ticks every 10 ms for 1 s: drawn at 10, 110, ..., 910 ms and at the end.
    {"table_ten_times_a_second", liveTable, 10, 100, 1, {Stage::Download}, "\x1b[2KLOCATION", 11},
    // After the first drawing each one starts where the last began: three lines
    // up (header, row, totals).
    {"table_redrawn_in_place", liveTable, 10, 100, 1, {Stage::Download}, "\x1b[3F", 10},
    {"table_has_a_totals_line", liveTable, 10, 5, 1, {Stage::Download}, "1 modem: 1 passed", 1},
    // Each drawing clears the screen below it: a line the last drawing had
    // under its totals and this one has not is gone.
    {"table_clears_below_each_drawing", liveTable, 10, 100, 1, {Stage::Download}, "\n\x1b[J", 11},
    // Ticks every second for 35 s: a heartbeat at 10, 20 and 30 s.
    {"plain_heartbeat_every_ten_seconds",
     plainLines,
     1000,
     35,
     1,
     {Stage::Download},
     "progress:",
     3},
    {"plain_line_per_state_change",
     plainLines,
     10,
     5,
     1,
     {Stage::Connect, Stage::Version, Stage::Download},
     "1-1 COM3: ",
     4},
    // 1 % every 100 ms: an event at 1 %, 5 %, 10 %, 15 % and 20 %.
    {"json_every_five_percent", jsonEvents, 100, 20, 10, {Stage::Download}, "\"progress\"", 5},
    // No movement for 10 s, an event each 100 ms: told at 0.1, 2.1, 4.1, 6.1, 8.1 s.
    {"json_every_two_seconds", jsonEvents, 100, 100, 0, {Stage::Download}, "\"progress\"", 5},
};

INSTANTIATE_TEST_SUITE_P(Views, RunViews, ::testing::ValuesIn(kViewCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The columns a table is fitted to when the terminal reports none (a
// pseudo-terminal without a size, a serial console): COLUMNS, else 80.
TEST(LiveTableWidth, ATerminalOfUnknownWidthTakesColumnsElseEighty) {
  struct Case {
    std::size_t reported;
    bool terminal;
    const char* columnsVariable;
    std::size_t columns;
  };
  const Case cases[] = {
      {120, true, "50", 120}, {0, true, nullptr, 80}, {0, true, "50", 50}, {0, true, "", 80},
      {0, true, "5O", 80},    {0, true, "0", 80},     {0, false, "50", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(columnsToFit(c.reported, c.terminal, c.columnsVariable), c.columns)
        << c.reported << " " << c.terminal << " " << (c.columnsVariable ? c.columnsVariable : "-");
  }
}

}  // namespace
}  // namespace tarnwick::testing
