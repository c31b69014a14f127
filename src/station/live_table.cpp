#include "station/live_table.h"

#include <vector>

#include "station/text_table.h"

namespace tarnwick {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

std::vector<std::string> rowCells(const RunBoard& board, const BoardRow& row) {
  const bool moving = row.downloading && !row.ended;
  return {row.location,
          "COM" + std::to_string(row.port),
          row.version.empty() ? "-" : row.version,
          row.state,
          std::to_string(board.percent(row)) + "%",
          moving ? oneDecimal(row.kibPerS) : "-",
          moving ? minutesAndSeconds(row.etaSeconds) : "-"};
}

std::string totalsLine(const RunBoard& board) {
  double kibPerS = 0;
  for (const BoardRow& row : board.rows()) {
    if (row.downloading && !row.ended) kibPerS += row.kibPerS;
  }
  const std::size_t modems = board.rows().size();
  return std::to_string(modems) + (modems == 1 ? " modem: " : " modems: ") +
         std::to_string(board.count(FlashResult::Pass)) + " passed, " +
         std::to_string(board.count(FlashResult::Fail)) + " failed, " +
         std::to_string(board.count(FlashResult::Aborted)) + " aborted, " +
         std::to_string(board.rows().size() - board.endedCount()) + " running; " +
         oneDecimal(kibPerS) + " KiB/s\n";
}

}  // namespace

std::string LiveTable::render(const RunBoard& board) {
  std::vector<std::vector<std::string>> rows{
      {"LOCATION", "PORT", "VERSION", "STATE", "DONE", "KIB/S", "ETA"}};
  for (const BoardRow& row : board.rows()) rows.push_back(rowCells(board, row));
  return layOutColumns(rows) + totalsLine(board);
}

void LiveTable::tick(const RunBoard& board, StationEvent::Clock::time_point now) {
  if (now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  draw(board);
}

// Back to the table's first line, then every line cleared and rewritten.
void LiveTable::draw(const RunBoard& board) {
  const std::string table = render_(board);
  std::string text;
  if (drawnLines_ > 0) text += "\x1b[" + std::to_string(drawnLines_) + "F";
  std::size_t lines = 0;
  std::size_t start = 0;
  while (start < table.size()) {
    std::size_t end = table.find('\n', start);
    text += "\x1b[2K" + table.substr(start, end - start) + "\n";
    start = end + 1;
    ++lines;
  }
  drawnLines_ = lines;
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
}

}  // namespace tarnwick
