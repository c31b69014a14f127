#include "station/views/summary.h"

#include "station/views/state_colour.h"
#include "text/text_table.h"

namespace tarnwick {
namespace {

constexpr std::size_t kReasonColumn = 8;

std::string orDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

bool anyCycle(const RunBoard& board) {
  for (const BoardRow& row : board.rows()) {
    if (row.record.watchCycle) return true;
  }
  return false;
}

// The word a row ends on: the check's verdict, else the flash's result.
std::string finalState(const BoardRow& row) {
  if (!row.ended) return "unfinished";
  if (row.cycleEnded && row.record.verified != Verification::None) {
    return verificationName(row.record.verified);
  }
  return resultName(row.record.result);
}

}  // namespace

std::string summaryTable(const RunBoard& board, const TableLook& look) {
  const bool cycles = anyCycle(board);
  std::vector<std::vector<std::string>> rows{
      {"LOCATION", "SERIAL", "PORT", "VERSION", "RESULT", "STAGE", "SECONDS", "KIB/S", "REASON"}};
  if (cycles) rows.front().insert(rows.front().end(), {"SLOT", "ATTEMPT", "AFTER", "VERIFIED"});
  std::vector<Tone> tones{Tone::Plain};
  for (const BoardRow& row : board.rows()) {
    tones.push_back(toneOfState(finalState(row)));
    const ModemRecord& record = row.record;
    rows.push_back({row.location, orDash(record.serial), "COM" + std::to_string(row.port),
                    orDash(record.versionBefore),
                    row.ended ? resultName(record.result) : "unfinished", record.stage,
                    oneDecimal(record.seconds), oneDecimal(record.kibPerS), orDash(record.reason)});
    if (!cycles) continue;
    rows.back().insert(rows.back().end(),
                       {orDash(record.slot), std::to_string(record.attempt),
                        record.hasVersionAfter ? orDash(record.versionAfter) : "-",
                        orDash(verificationName(record.verified))});
  }
  std::string totals = std::to_string(board.count(FlashResult::Pass)) + " passed, " +
                       std::to_string(board.count(FlashResult::Fail)) + " failed, " +
                       std::to_string(board.count(FlashResult::Aborted)) + " aborted";
  if (cycles) {
    totals += ", " + std::to_string(board.count(FlashResult::Skipped)) + " skipped; " +
              std::to_string(board.count(Verification::Verified)) + " verified, " +
              std::to_string(board.count(Verification::Mismatch)) + " mismatch, " +
              std::to_string(board.count(Verification::Unverified)) + " unverified";
  }
  return paintedLines(
      layOutColumns(rows, look.width, kReasonColumn) + cutLine(totals + "\n", look.width), tones,
      look.colour);
}

}  // namespace tarnwick
