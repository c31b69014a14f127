#include "station/summary.h"

#include <vector>

#include "station/text_table.h"

namespace tarnwick {

std::string summaryTable(const RunBoard& board) {
  std::vector<std::vector<std::string>> rows{
      {"LOCATION", "SERIAL", "PORT", "VERSION", "RESULT", "STAGE", "SECONDS", "KIB/S", "REASON"}};
  for (const BoardRow& row : board.rows()) {
    const ModemRecord& record = row.record;
    rows.push_back({row.location, record.serial.empty() ? "-" : record.serial,
                    "COM" + std::to_string(row.port),
                    record.versionBefore.empty() ? "-" : record.versionBefore,
                    row.ended ? resultName(record.result) : "unfinished", record.stage,
                    oneDecimal(record.seconds), oneDecimal(record.kibPerS),
                    record.reason.empty() ? "-" : record.reason});
  }
  return layOutColumns(rows) + std::to_string(board.count(FlashResult::Pass)) + " passed, " +
         std::to_string(board.count(FlashResult::Fail)) + " failed, " +
         std::to_string(board.count(FlashResult::Aborted)) + " aborted\n";
}

}  // namespace tarnwick
