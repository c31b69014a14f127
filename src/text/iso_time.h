#pragma once

#include <chrono>
#include <string>

namespace tarnwick {

// "2026-12-07T16:05:09.123Z": ISO 8601 in UTC, to the millisecond. Computed
// from the calendar, so both builds give the same text for the same instant.
std::string isoTimeUtc(std::chrono::system_clock::time_point instant);

// The instant of a text isoTimeUtc gave; false when `text` is not of that form.
bool parseIsoTimeUtc(const std::string& text, std::chrono::system_clock::time_point& instant);

}  // namespace tarnwick
