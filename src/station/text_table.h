#pragma once

#include <string>
#include <vector>

namespace tarnwick {

// Rows of cells laid out in columns as wide as their widest cell, two
// spaces apart; each line ends with '\n' and has no trailing spaces.
std::string layOutColumns(const std::vector<std::vector<std::string>>& rows);

// "1:05" style minutes and seconds; "-" when unknown (negative).
std::string minutesAndSeconds(double seconds);

// One decimal.
std::string oneDecimal(double value);

}  // namespace tarnwick
