#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "station/model/record_json.h"
#include "station/views/run_view.h"

namespace tarnwick {

// --json: JSON Lines on `out`, each line written and flushed as it happens.
// Every event carries `event`, `seq` (1, 2, 3, ... without a gap) and `time`.
class JsonEvents final : public RunView {
 public:
  using WallClock = std::function<std::chrono::system_clock::time_point()>;
  explicit JsonEvents(std::FILE* out, WallClock now = std::chrono::system_clock::now)
      : out_(out), now_(std::move(now)) {}

  // `fields` follow event, seq and time in the line.
  void emit(const char* name, const OrderedJson& fields);

  void onEvent(const StationEvent& event, const RunBoard& board) override;
  void tick(const RunBoard& board, StationEvent::Clock::time_point now) override;

 private:
  struct LastProgress {
    int percent = -1;
    StationEvent::Clock::time_point at{};
  };
  bool stationEvent(const StationEvent& event);
  void progress(std::size_t modem, const RunBoard& board, StationEvent::Clock::time_point now);

  std::FILE* out_;
  WallClock now_;
  std::uint64_t seq_ = 0;
  std::vector<LastProgress> lastProgress_;
};

}  // namespace tarnwick
