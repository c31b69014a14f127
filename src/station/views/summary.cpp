#include "station/views/summary.h"

#include "station/views/state_colour.h"
#include "text/text_table.h"

namespace tarnwick {
namespace {

// On a narrow terminal these columns are left out first, in this order:
// the records keep them, and the operator at the line does not need them.
const char* const kLeftOutFirst[] = {"KIB/S", "SECONDS", "ATTEMPT", "AFTER"};
// What the operator reads: cut only when no other column can give room.
const char* const kReadAtTheLine[] = {"VERSION", "RESULT", "STAGE", "REASON", "VERIFIED"};

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

// The rows laid out to `width`: the least useful columns left out until
// the rest fits, then, if still too wide, the columns other than those the
// operator reads cut first.
std::string fittedRows(std::vector<std::vector<std::string>>& rows, std::size_t width) {
  for (const char* header : kLeftOutFirst) {
    if (width == 0 || widestLine(layOutColumns(rows)) <= width) break;
    dropColumn(rows, header);
  }
  std::vector<bool> readAtTheLine;
  for (const std::string& header : rows.front()) {
    bool read = false;
    for (const char* name : kReadAtTheLine) read = read || header == name;
    readAtTheLine.push_back(read);
  }
  return layOutColumns(rows, width, kNoColumn, readAtTheLine);
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
  const std::size_t refused = board.count(FlashResult::Refused);
  if (refused > 0) totals += ", " + std::to_string(refused) + " refused";
  if (cycles) {
    totals += ", " + std::to_string(board.count(FlashResult::Skipped)) + " skipped; " +
              std::to_string(board.count(Verification::Verified)) + " verified, " +
              std::to_string(board.count(Verification::Mismatch)) + " mismatch, " +
              std::to_string(board.count(Verification::Unverified)) + " unverified";
  }
  return paintedLines(fittedRows(rows, look.width) + cutLine(totals + "\n", look.width), tones,
                      look.colour);
}

}  // namespace tarnwick
