#include "station/watch_table.h"

#include "station/text_table.h"

namespace tarnwick {
namespace {

struct SlotCounts {
  std::size_t pass = 0;
  std::size_t fail = 0;
  std::size_t verified = 0;
  std::size_t mismatch = 0;
  const BoardRow* latest = nullptr;
};

// A flash counts as soon as it ends, as in the totals; its check once the
// cycle has ended.
void count(const BoardRow& row, SlotCounts& counts) {
  counts.latest = &row;
  if (row.ended) {
    counts.pass += row.record.result == FlashResult::Pass ? 1 : 0;
    counts.fail += row.record.result == FlashResult::Fail ? 1 : 0;
  }
  if (!row.cycleEnded) return;
  counts.verified += row.record.verified == Verification::Verified ? 1 : 0;
  counts.mismatch += row.record.verified == Verification::Mismatch ? 1 : 0;
}

std::vector<std::string> slotCells(const RunBoard& board, const std::string& label,
                                   const std::string& location, const SlotCounts& counts) {
  const BoardRow* row = counts.latest;
  std::string state = row == nullptr ? "empty" : row->state;
  if (row != nullptr && row->duplicate) state += " (duplicate serial)";
  return {label,
          location,
          row == nullptr ? "-" : "COM" + std::to_string(row->port),
          row == nullptr || row->version.empty() ? "-" : row->version,
          state,
          row == nullptr ? "-" : std::to_string(board.percent(*row)) + "%",
          std::to_string(counts.pass),
          std::to_string(counts.fail),
          std::to_string(counts.verified),
          std::to_string(counts.mismatch)};
}

std::string totalsLine(const RunBoard& board, double hoursRunning) {
  std::size_t ended = 0;
  for (const BoardRow& row : board.rows()) ended += row.cycleEnded ? 1 : 0;
  const double perHour = hoursRunning > 0 ? ended / hoursRunning : 0;
  return std::to_string(ended) + (ended == 1 ? " unit: " : " units: ") +
         std::to_string(board.count(FlashResult::Pass)) + " passed, " +
         std::to_string(board.count(FlashResult::Fail)) + " failed, " +
         std::to_string(board.count(Verification::Verified)) + " verified, " +
         std::to_string(board.count(Verification::Mismatch)) + " mismatch; " +
         std::to_string(board.rows().size() - ended) + " in progress; " + oneDecimal(perHour) +
         " units/h\n";
}

// Under the totals once a record could not be written, so the line sees it
// at once rather than at the end of the shift.
std::string recordsLostLine(const RunBoard& board) {
  const std::size_t lost = board.recordsLost();
  if (lost == 0) return "";
  return std::to_string(lost) + (lost == 1 ? " record" : " records") +
         " could not be written to the record file\n";
}

}  // namespace

std::string watchTableText(const RunBoard& board, const std::vector<Slot>& slots,
                           double hoursRunning) {
  std::vector<std::string> locations;
  std::vector<SlotCounts> counts;
  auto countsAt = [&locations, &counts](const std::string& location) -> SlotCounts& {
    for (std::size_t index = 0; index < locations.size(); ++index) {
      if (locations[index] == location) return counts[index];
    }
    locations.push_back(location);
    counts.emplace_back();
    return counts.back();
  };
  for (const Slot& slot : slots) countsAt(slot.location);
  for (const BoardRow& row : board.rows()) count(row, countsAt(row.location));

  std::vector<std::vector<std::string>> rows{{"SLOT", "LOCATION", "PORT", "VERSION", "STATE",
                                              "DONE", "PASS", "FAIL", "VERIFIED", "MISMATCH"}};
  for (std::size_t index = 0; index < locations.size(); ++index) {
    std::string label = slotLabelAt(slots, locations[index]);
    if (label.empty()) label = slots.empty() ? "-" : "(not a slot)";
    rows.push_back(slotCells(board, label, locations[index], counts[index]));
  }
  return layOutColumns(rows) + totalsLine(board, hoursRunning) + recordsLostLine(board);
}

LiveTable::Renderer watchTableRenderer(std::vector<Slot> slots,
                                       StationEvent::Clock::time_point startedAt) {
  return [slots = std::move(slots), startedAt](const RunBoard& board) {
    const double hours =
        std::chrono::duration<double>(StationEvent::Clock::now() - startedAt).count() / 3600.0;
    return watchTableText(board, slots, hours);
  };
}

}  // namespace tarnwick
