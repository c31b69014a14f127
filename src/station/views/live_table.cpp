#include "station/views/live_table.h"

#include <cstdlib>
#include <vector>

#include "platform/terminal.h"
#include "station/views/state_colour.h"
#include "text/printable_text.h"
#include "text/text_table.h"

namespace tarnwick {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr std::size_t kReasonColumn = 7;

// A row's reason once it has ended without passing.
std::string reasonCell(const BoardRow& row) {
  if (!row.ended && !row.mesWait.empty()) return row.mesWait;
  if (!row.ended || row.record.result == FlashResult::Pass) return "";
  return row.record.reason;
}

std::vector<std::string> rowCells(const RunBoard& board, const BoardRow& row) {
  const bool moving = row.downloading && !row.ended;
  return {row.location,
          "COM" + std::to_string(row.port),
          row.version.empty() ? "-" : row.version,
          row.state,
          std::to_string(board.percent(row)) + "%",
          moving ? oneDecimal(row.kibPerS) : "-",
          moving ? minutesAndSeconds(row.etaSeconds) : "-",
          reasonCell(row)};
}

// "1 refused, " when the MES refused units.
std::string refusedCount(const RunBoard& board) {
  const std::size_t refused = board.count(FlashResult::Refused);
  return refused == 0 ? "" : std::to_string(refused) + " refused, ";
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
         std::to_string(board.count(FlashResult::Aborted)) + " aborted, " + refusedCount(board) +
         std::to_string(board.rows().size() - board.endedCount()) + " running; " +
         oneDecimal(kibPerS) + " KiB/s\n";
}

}  // namespace

std::string outboxLine(const RunBoard& board, std::chrono::system_clock::time_point now) {
  const std::size_t pending = board.outboxPending();
  const std::size_t unreadable = board.outboxUnreadable();
  std::string line;
  if (pending > 0) {
    line = std::to_string(pending) + (pending == 1 ? " result waits" : " results wait") +
           " for the broker" + (board.broker().empty() ? "" : " " + board.broker());
  }
  if (pending > 0 && board.outboxOldest().time_since_epoch().count() != 0) {
    const auto age = std::chrono::duration_cast<std::chrono::seconds>(now - board.outboxOldest());
    line += " (oldest " + std::to_string(age.count() < 0 ? 0 : age.count()) + " s)";
  }
  if (unreadable > 0) {
    line += (line.empty() ? "" : "; ") + std::to_string(unreadable) +
            (unreadable == 1 ? " file" : " files") + " in the outbox cannot be read";
  }
  return line.empty() ? "" : line + "\n";
}

namespace {

// Screen rows a line of `width` columns takes on a terminal `columns` wide.
std::size_t screenRows(std::size_t width, std::size_t columns) {
  if (columns == 0 || width <= columns) return 1;
  return (width + columns - 1) / columns;
}

}  // namespace

LiveTable::LiveTable(std::FILE* out, Renderer render, Columns columns)
    : out_(out), render_(std::move(render)), columns_(std::move(columns)) {
  if (!columns_) columns_ = [out] { return screenColumns(out); };
}

std::string LiveTable::render(const RunBoard& board, const TableLook& look) {
  std::vector<std::vector<std::string>> rows{
      {"LOCATION", "PORT", "VERSION", "STATE", "DONE", "KIB/S", "ETA", "REASON"}};
  std::vector<Tone> tones{Tone::Plain};
  for (const BoardRow& row : board.rows()) {
    rows.push_back(rowCells(board, row));
    tones.push_back(toneOfState(row.state));
  }
  dropEmptyLastColumn(rows);  // REASON, while no row has one
  const std::string table =
      layOutColumns(rows, look.width, kReasonColumn) + cutLine(totalsLine(board), look.width) +
      cutLine(outboxLine(board, std::chrono::system_clock::now()), look.width);
  return paintedLines(table, tones, look.colour);
}

void LiveTable::tick(const RunBoard& board, StationEvent::Clock::time_point now) {
  if (now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  draw(board);
}

std::size_t tableWidthFor(std::size_t terminalColumns) {
  return terminalColumns > 1 ? terminalColumns - 1 : 0;
}

std::size_t tableWidthFor(std::FILE* out) {
  return tableWidthFor(screenColumns(out));
}

std::size_t columnsToFit(std::size_t reported, bool terminal, const char* columnsVariable) {
  constexpr std::size_t kUsualColumns = 80;
  constexpr std::size_t kMostColumns = 9999;
  if (reported > 0 || !terminal) return reported;
  std::size_t columns = 0;
  const std::string text = columnsVariable == nullptr ? "" : columnsVariable;
  for (char c : text) {
    if (c < '0' || c > '9' || columns > kMostColumns) return kUsualColumns;
    columns = columns * 10 + static_cast<std::size_t>(c - '0');
  }
  return columns > 0 && columns <= kMostColumns ? columns : kUsualColumns;
}

std::size_t screenColumns(std::FILE* out) {
  return columnsToFit(terminalColumns(out), isTerminal(out), std::getenv("COLUMNS"));
}

// Back to the table's first row, then every line cleared and rewritten,
// the table fitted to the terminal's width; a line that still wraps is
// counted by the rows it takes. Then the rest of the screen is cleared:
// when this drawing is shorter than the last (a line that comes and goes,
// such as the waiting line), nothing of the last stays under it.
void LiveTable::draw(const RunBoard& board) {
  const std::size_t columns = columns_();
  const std::string table = render_(board, TableLook{tableWidthFor(columns), colour_});
  std::string text;
  if (drawnRows_ > 0) text += "\x1b[" + std::to_string(drawnRows_) + "F";
  std::size_t rows = 0;
  std::size_t start = 0;
  while (start < table.size()) {
    std::size_t end = table.find('\n', start);
    const std::string line = table.substr(start, end - start);
    text += "\x1b[2K" + line + "\n";
    rows += screenRows(displayWidth(line), columns);
    start = end + 1;
  }
  text += "\x1b[J";
  drawnRows_ = rows;
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fflush(out_);
}

}  // namespace tarnwick
