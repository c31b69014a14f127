#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarnwick {

// Rows of cells laid out in columns as wide as their widest cell, two
// spaces apart; each line ends with '\n' and has no trailing spaces. Cells
// are shown as printableText gives them. With a `maxWidth`, columns are cut
// (never wrapped) until each line fits in it: first the free text column
// `cutFirst` (a reason, say) down to a readable part, then the widest; the
// columns `cutLast` names (true at their index) only once no other can be
// cut further.
constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);
std::string layOutColumns(const std::vector<std::vector<std::string>>& rows,
                          std::size_t maxWidth = 0, std::size_t cutFirst = kNoColumn,
                          const std::vector<bool>& cutLast = {});

// Takes out of every row the column whose header (first row's cell) is
// `header`; false when there is none.
bool dropColumn(std::vector<std::vector<std::string>>& rows, const std::string& header);

// The widest line of `text`, in columns.
std::size_t widestLine(const std::string& text);

// Drops the last column when no row but the first (the header) has a cell
// in it, so that a column shown only when needed takes no room otherwise.
void dropEmptyLastColumn(std::vector<std::vector<std::string>>& rows);

// One line of text, ending with '\n', cut to `maxWidth` columns (0: no
// limit) with its '\n' kept.
std::string cutLine(const std::string& line, std::size_t maxWidth);

// "1:05" style minutes and seconds; "-" when unknown (negative).
std::string minutesAndSeconds(double seconds);

// One decimal.
std::string oneDecimal(double value);

}  // namespace tarnwick
