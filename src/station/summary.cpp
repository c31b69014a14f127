#include "station/summary.h"

#include "station/text_table.h"

namespace tarnwick {
namespace {

std::string orDash(const std::string& text) {
  return text.empty() ? "-" : text;
}

bool anyCycle(const RunBoard& board) {
  for (const BoardRow& row : board.rows()) {
    if (row.record.watchCycle) return true;
  }
  return false;
}

}  // namespace

std::string summaryTable(const RunBoard& board, std::size_t width) {
  const bool cycles = anyCycle(board);
  std::vector<std::vector<std::string>> rows{
      {"LOCATION", "SERIAL", "PORT", "VERSION", "RESULT", "STAGE", "SECONDS", "KIB/S", "REASON"}};
  if (cycles) rows.front().insert(rows.front().end(), {"SLOT", "ATTEMPT", "AFTER", "VERIFIED"});
  for (const BoardRow& row : board.rows()) {
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
  return layOutColumns(rows, width) + cutLine(totals + "\n", width);
}

}  // namespace tarnwick
