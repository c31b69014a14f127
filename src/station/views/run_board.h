#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "station/model/flash_target.h"
#include "station/model/station_event.h"

namespace tarnwick {

// One modem's line on the board, as the views show it.
struct BoardRow {
  std::string location;
  std::string serial;  // as the device list showed it; empty: none
  int port = 0;
  std::string version;
  std::string state = "waiting";  // the stage under way, then the result
  bool ended = false;
  std::uint64_t bytesSent = 0;
  std::uint64_t imageSize = 0;
  double kibPerS = 0;
  double etaSeconds = -1;  // negative: unknown
  StationEvent::Clock::time_point downloadSince{};
  bool downloading = false;
  ModemRecord record;   // once ended
  std::string mesWait;  // why the unit waits for the MES; empty: it does not
  // Watch: one row per modem cycle.
  std::string slot;
  bool duplicate = false;
  bool cycleEnded = false;  // the record is final (after the re-plug, or the flash did not pass)
  StationEvent::Clock::time_point cycleEndedAt{};
};

// What the station knows of every modem, kept by the one thread that reads
// the event queue, so the views need no lock.
class RunBoard {
 public:
  explicit RunBoard(const std::vector<FlashTarget>& targets, std::uint64_t imageSize);
  // A row for a modem that appeared later (watch); its index.
  std::size_t addRow(const FlashTarget& target, std::uint64_t imageSize);

  void apply(const StationEvent& event);
  // The modem of `row` shares its serial with another present one.
  void markDuplicate(std::size_t row) { rows_[row].duplicate = true; }

  const std::vector<BoardRow>& rows() const { return rows_; }
  int percent(const BoardRow& row) const;
  std::size_t endedCount() const;
  std::size_t count(FlashResult result) const;
  std::size_t count(Verification verification) const;
  // Watch, while no modem is present: what the station waits for.
  const std::string& waitingLine() const { return waitingLine_; }
  // Records that could not be written to the record file.
  std::size_t recordsLost() const { return recordsLost_; }
  // With --publish: results waiting in the outbox, and when the oldest was put.
  // `broker`: the one connected to or being tried, as it may be shown.
  void setOutbox(std::size_t pending, std::chrono::system_clock::time_point oldest,
                 std::string broker = "") {
    outboxPending_ = pending;
    outboxOldest_ = oldest;
    broker_ = std::move(broker);
  }
  // With --publish: files in the outbox that are no result (never sent).
  void setOutboxUnreadable(std::size_t files) { outboxUnreadable_ = files; }
  std::size_t outboxPending() const { return outboxPending_; }
  std::size_t outboxUnreadable() const { return outboxUnreadable_; }
  std::chrono::system_clock::time_point outboxOldest() const { return outboxOldest_; }
  const std::string& broker() const { return broker_; }
  // Watch: the station's active faults, oldest first, and whether one
  // concerns the slot labelled `slot` or at `location`.
  const std::vector<StationFault>& faults() const { return faults_; }
  bool slotFaulty(const std::string& slot, const std::string& location) const;

 private:
  void noteFault(const StationEvent& event);

  std::vector<BoardRow> rows_;
  std::string waitingLine_;
  std::size_t recordsLost_ = 0;
  std::size_t outboxPending_ = 0;
  std::size_t outboxUnreadable_ = 0;
  std::chrono::system_clock::time_point outboxOldest_{};
  std::string broker_;
  std::vector<StationFault> faults_;
};

}  // namespace tarnwick
