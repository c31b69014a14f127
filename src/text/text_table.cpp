#include "text/text_table.h"

#include <algorithm>
#include <cstdio>

#include "text/printable_text.h"

namespace tarnwick {
namespace {

// Narrows the widest column that `eligible` allows, one column at a time,
// until the line fits in `maxWidth` or none is wider than a few characters.
template <typename Eligible>
void narrowWidest(std::vector<std::size_t>& widths, std::size_t& total, std::size_t maxWidth,
                  Eligible eligible) {
  constexpr std::size_t kNarrowest = 4;
  while (total > maxWidth) {
    std::size_t widest = kNoColumn;
    for (std::size_t column = 0; column < widths.size(); ++column) {
      if (!eligible(column) || widths[column] <= kNarrowest) continue;
      if (widest == kNoColumn || widths[column] > widths[widest]) widest = column;
    }
    if (widest == kNoColumn) return;
    --widths[widest];
    --total;
  }
}

// Narrows the columns until the line fits in `maxWidth`: first the free
// text column `cutFirst` (down to a readable part of it), then the widest
// column not in `cutLast`, then the widest of all; no column is cut below
// a few characters.
void fitColumns(std::vector<std::size_t>& widths, std::size_t maxWidth, std::size_t cutFirst,
                const std::vector<bool>& cutLast) {
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
  narrowWidest(widths, total, maxWidth, [&cutLast](std::size_t column) {
    return column >= cutLast.size() || !cutLast[column];
  });
  narrowWidest(widths, total, maxWidth, [](std::size_t) { return true; });
}

}  // namespace

std::string layOutColumns(const std::vector<std::vector<std::string>>& rows, std::size_t maxWidth,
                          std::size_t cutFirst, const std::vector<bool>& cutLast) {
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
  fitColumns(widths, maxWidth, cutFirst, cutLast);
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

bool dropColumn(std::vector<std::vector<std::string>>& rows, const std::string& header) {
  if (rows.empty()) return false;
  const auto& headers = rows.front();
  const auto found = std::find(headers.begin(), headers.end(), header);
  if (found == headers.end()) return false;
  const auto column = static_cast<std::size_t>(found - headers.begin());
  for (auto& row : rows) {
    if (column < row.size()) row.erase(row.begin() + static_cast<std::ptrdiff_t>(column));
  }
  return true;
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
