#include "station/views/watch_table.h"

#include <algorithm>

#include "station/views/state_colour.h"
#include "text/printable_text.h"
#include "text/text_table.h"

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

// Why the slot's latest cycle did not pass: its flash's reason, or the
// version it came back with.
std::string reasonOf(const BoardRow& row) {
  if (!row.ended && !row.mesWait.empty()) return row.mesWait;
  if (row.cycleEnded && row.record.verified == Verification::Mismatch) {
    return "came back with " + (row.record.hasVersionAfter ? row.record.versionAfter : "-");
  }
  if (!row.ended || row.record.result == FlashResult::Pass) return "";
  return row.record.reason;
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
          std::to_string(counts.mismatch),
          row == nullptr ? "" : reasonOf(*row)};
}

// How the cycles that ended came out; they add up to `ended`.
struct CycleOutcomes {
  std::size_t ended = 0;
  std::size_t verified = 0;
  std::size_t mismatch = 0;
  std::size_t unverified = 0;
  std::size_t failed = 0;
  std::size_t aborted = 0;
  std::size_t skipped = 0;
  std::size_t refused = 0;
  std::size_t inLastHour = 0;
};

CycleOutcomes outcomesOf(const RunBoard& board, StationEvent::Clock::time_point now) {
  CycleOutcomes outcomes;
  for (const BoardRow& row : board.rows()) {
    if (!row.cycleEnded) continue;
    ++outcomes.ended;
    outcomes.inLastHour += now - row.cycleEndedAt <= std::chrono::hours(1) ? 1 : 0;
    switch (row.record.verified) {
      case Verification::Verified:
        ++outcomes.verified;
        continue;
      case Verification::Mismatch:
        ++outcomes.mismatch;
        continue;
      case Verification::Unverified:
        ++outcomes.unverified;
        continue;
      case Verification::None:
        break;
    }
    outcomes.failed += row.record.result == FlashResult::Fail ? 1 : 0;
    outcomes.aborted += row.record.result == FlashResult::Aborted ? 1 : 0;
    outcomes.skipped += row.record.result == FlashResult::Skipped ? 1 : 0;
    outcomes.refused += row.record.result == FlashResult::Refused ? 1 : 0;
  }
  return outcomes;
}

std::string countWord(std::size_t count, const char* word) {
  return std::to_string(count) + " " + word;
}

// Units per hour over the last hour (or the time run, when shorter), once
// three cycles have ended: before that a rate says nothing.
std::string unitsPerHour(const CycleOutcomes& outcomes, const WatchClock& clock) {
  constexpr std::size_t kCyclesForARate = 3;
  const double hoursRun = std::chrono::duration<double>(clock.now - clock.started).count() / 3600.0;
  const double window = std::min(1.0, hoursRun);
  if (outcomes.ended < kCyclesForARate || window <= 0) return "- units/h";
  return oneDecimal(outcomes.inLastHour / window) + " units/h";
}

// "5 units: 2 in progress, 3 ended (2 verified, 0 mismatch, 1 failed); 4.0 units/h"
std::string totalsLine(const RunBoard& board, const WatchClock& clock) {
  const CycleOutcomes outcomes = outcomesOf(board, clock.now);
  const std::size_t units = board.rows().size();
  std::string ended = countWord(outcomes.verified, "verified") + ", " +
                      countWord(outcomes.mismatch, "mismatch") + ", " +
                      countWord(outcomes.failed, "failed");
  if (outcomes.unverified > 0) ended += ", " + countWord(outcomes.unverified, "unverified");
  if (outcomes.aborted > 0) ended += ", " + countWord(outcomes.aborted, "aborted");
  if (outcomes.skipped > 0) ended += ", " + countWord(outcomes.skipped, "skipped");
  if (outcomes.refused > 0) ended += ", " + countWord(outcomes.refused, "refused");
  return countWord(units, units == 1 ? "unit: " : "units: ") +
         countWord(units - outcomes.ended, "in progress, ") + countWord(outcomes.ended, "ended (") +
         ended + "); " + unitsPerHour(outcomes, clock) + "\n";
}

// Under the totals once a record could not be written, so the line sees it
// at once rather than at the end of the shift.
std::string recordsLostLine(const RunBoard& board) {
  const std::size_t lost = board.recordsLost();
  if (lost == 0) return "";
  return std::to_string(lost) + (lost == 1 ? " record" : " records") +
         " could not be written to the record file\n";
}

// The slot rows laid out. When they are wider than the terminal, the
// headers that make the count columns wide go short first (PASS, FAIL,
// VERIFIED and MISMATCH become P, F, V and M; LOCATION becomes LOC), so
// that the version and the state keep their room; then the reason is cut
// to a readable part, then the other columns, the reason included, and the
// version and the state ("PASS, re-plug now") only when nothing else is left.
std::string slotsText(std::vector<std::vector<std::string>>& rows, std::size_t width) {
  constexpr std::size_t kReasonColumn = 10;
  std::string text = layOutColumns(rows, 0);
  if (width == 0 || widestLine(text) <= width) return text;
  const std::vector<std::string> shortHeader = {"SLOT", "LOC", "PORT", "VERSION", "STATE", "DONE",
                                                "P",    "F",   "V",    "M",       "REASON"};
  for (std::size_t column = 0; column < rows.front().size(); ++column) {
    rows.front()[column] = shortHeader[column];
  }
  const std::vector<bool> versionAndState = {false, false, false, true, true};
  return layOutColumns(rows, width, kReasonColumn, versionAndState);
}

// One line per active station fault, in the fault's colour, under the rest.
std::string faultLines(const RunBoard& board, const TableLook& look) {
  std::string text;
  for (const StationFault& fault : board.faults()) {
    const std::string line = cutLine("! " + printableText(fault.description) + "\n", look.width);
    text += look.colour
                ? painted(line.substr(0, line.size() - 1), toneOfFault(fault.severity)) + "\n"
                : line;
  }
  return text;
}

}  // namespace

std::string watchTableText(const RunBoard& board, const std::vector<Slot>& slots,
                           const WatchClock& clock, const TableLook& look) {
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
                                              "DONE", "PASS", "FAIL", "VERIFIED", "MISMATCH",
                                              "REASON"}};
  std::vector<Tone> tones{Tone::Plain};
  for (std::size_t index = 0; index < locations.size(); ++index) {
    std::string label = slotLabelAt(slots, locations[index]);
    const bool faulty = board.slotFaulty(label, locations[index]);
    if (label.empty()) label = slots.empty() ? "-" : "(not a slot)";
    if (faulty) label = "! " + label;  // the fault's line below says what
    rows.push_back(slotCells(board, label, locations[index], counts[index]));
    const BoardRow* latest = counts[index].latest;
    tones.push_back(latest == nullptr ? Tone::Plain : toneOfState(latest->state));
  }
  dropEmptyLastColumn(rows);  // REASON, while no row has one
  std::string text = slotsText(rows, look.width) + cutLine(totalsLine(board, clock), look.width);
  text += cutLine(recordsLostLine(board), look.width);
  text += cutLine(outboxLine(board, std::chrono::system_clock::now()), look.width);
  if (!board.waitingLine().empty()) text += cutLine(board.waitingLine() + "\n", look.width);
  return paintedLines(text, tones, look.colour) + faultLines(board, look);
}

LiveTable::Renderer watchTableRenderer(std::vector<Slot> slots,
                                       StationEvent::Clock::time_point startedAt) {
  return [slots = std::move(slots), startedAt](const RunBoard& board, const TableLook& look) {
    return watchTableText(board, slots, WatchClock{startedAt, StationEvent::Clock::now()}, look);
  };
}

}  // namespace tarnwick
