// Civil dates of the proleptic Gregorian calendar, counted in days and seconds. No time
// zone is attached: callers know whether a moment is UTC or local time.
#pragma once

#include <cstdint>

#include "platform/system.h"

namespace kelto::calendar {

inline constexpr std::int64_t kSecondsPerDay = 86400;

// a / b rounded towards minus infinity (b > 0).
constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// Days from 1970-01-01 to the given civil date.
std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day);
// The civil date (time of day 00:00:00) of a day count from 1970-01-01.
platform::DateTime CivilFromDays(std::int64_t days);

bool IsLeapYear(std::int64_t year);
// 28 to 31; month 1 to 12.
int DaysInMonth(std::int64_t year, int month);

// Seconds from `from` to `to`, both read on the same clock (negative when `to` is earlier).
std::int64_t SecondsBetween(const platform::DateTime& from, const platform::DateTime& to);

}  // namespace kelto::calendar
