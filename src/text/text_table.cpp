#include "text/text_table.h"

#include <algorithm>
#include <cstdio>

#include "text/printable_text.h"

namespace tarnwick {
namespace {

// Narrows the columns until the line fits in `maxWidth`: first the free
// text column `cutFirst` (down to a readable part of it), then the widest
// column, one at a time; no column is cut below a few characters.
void fitColumns(std::vector<std::size_t>& widths, std::size_t maxWidth, std::size_t cutFirst) {
  constexpr std::size_t kNarrowest = 4;
  constexpr std::size_t kReadableText = 12;
  if (maxWidth == 0 || widths.empty()) return;
  std::size_t total = 2 * (widths.size() - 1);
  for (std::size_t width : widths) total += width;
  if (cutFirst < widths.size()) {
    while (total > maxWidth && widths[cutFirst] > kReadableText) {
      --widths[cutFirst];
      --total;
    }
  }
  while (total > maxWidth) {
    auto widest = std::max_element(widths.begin(), widths.end());
    if (*widest <= kNarrowest) return;
    --*widest;
    --total;
  }
}

}  // namespace

std::string layOutColumns(const std::vector<std::vector<std::string>>& rows, std::size_t maxWidth,
                          std::size_t cutFirst) {
  std::vector<std::vector<std::string>> cells;
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    cells.emplace_back();
    for (std::size_t column = 0; column < row.size(); ++column) {
      cells.back().push_back(printableText(row[column]));
      widths[column] = std::max(widths[column], displayWidth(cells.back().back()));
    }
  }
  fitColumns(widths, maxWidth, cutFirst);
  std::string text;
  for (const auto& row : cells) {
    std::string line;
    for (std::size_t column = 0; column < row.size(); ++column) {
      if (column > 0) line += "  ";
      const std::string cell = cutToWidth(row[column], widths[column]);
      line += cell;
      if (column + 1 < row.size()) line.append(widths[column] - displayWidth(cell), ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += cutToWidth(line, maxWidth) + "\n";
  }
  return text;
}

std::size_t widestLine(const std::string& text) {
  std::size_t widest = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    widest = std::max(widest, displayWidth(text.substr(start, end - start)));
    start = end + 1;
  }
  return widest;
}

void dropEmptyLastColumn(std::vector<std::vector<std::string>>& rows) {
  for (std::size_t row = 1; row < rows.size(); ++row) {
    if (!rows[row].empty() && !rows[row].back().empty()) return;
  }
  for (auto& row : rows) {
    if (!row.empty()) row.pop_back();
  }
}

std::string cutLine(const std::string& line, std::size_t maxWidth) {
  if (line.empty() || line.back() != '\n') return cutToWidth(line, maxWidth);
  return cutToWidth(line.substr(0, line.size() - 1), maxWidth) + "\n";
}

std::string minutesAndSeconds(double seconds) {
  if (seconds < 0) return "-";
  const long whole = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

std::string oneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace tarnwick
