#include "text/iso_time.h"

#include <cstdint>
#include <cstdio>

namespace tarnwick {
namespace {

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's method).
CivilDate civilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
  const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
  const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2);
  return {year, month, day};
}

std::int64_t floorDiv(std::int64_t value, std::int64_t divisor) {
  std::int64_t quotient = value / divisor;
  return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

// A proleptic Gregorian date to days since 1970-01-01 (the inverse of
// civilFromDays).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

}  // namespace

bool parseIsoTimeUtc(const std::string& text, std::chrono::system_clock::time_point& instant) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
  char zone = 0;
  if (text.size() != 24 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c", &year, &month, &day, &hour,
                  &minute, &second, &ms, &zone) != 8 ||
      zone != 'Z' || month < 1 || month > 12 || day < 1 || day > 31) {
    return false;
  }
  const std::int64_t days =
      daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  const std::int64_t total = ((days * 24 + hour) * 60 + minute) * 60 + second;
  instant = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::milliseconds(total * 1000 + ms)));
  return isoTimeUtc(instant) == text;
}

std::string isoTimeUtc(std::chrono::system_clock::time_point instant) {
  using std::chrono::milliseconds;
  const std::int64_t ms =
      std::chrono::duration_cast<milliseconds>(instant.time_since_epoch()).count();
  const std::int64_t days = floorDiv(ms, 86400000);
  const std::int64_t inDay = ms - days * 86400000;
  const CivilDate date = civilFromDays(days);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ",
                static_cast<long long>(date.year), date.month, date.day,
                static_cast<int>(inDay / 3600000), static_cast<int>(inDay / 60000 % 60),
                static_cast<int>(inDay / 1000 % 60), static_cast<int>(inDay % 1000));
  return text;
}

}  // namespace tarnwick
