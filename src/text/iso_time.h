#pragma once

#include <chrono>
#include <string>

namespace tarnwick {

// "2026-12-07T16:05:09.123Z": ISO 8601 in UTC, to the millisecond. Computed
// from the calendar, so both builds give the same text for the same instant.
std::string isoTimeUtc(std::chrono::system_clock::time_point instant);

}  // namespace tarnwick
