#include "base/calendar.h"

namespace kelto::calendar {

std::int64_t DaysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    year -= month <= 2;
    const std::int64_t era = FloorDiv(year, 400);
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

platform::DateTime CivilFromDays(std::int64_t days) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    platform::DateTime t;
    t.year = static_cast<int>(yoe + era * 400 + (m <= 2));
    t.month = static_cast<int>(m);
    t.day = static_cast<int>(d);
    return t;
}

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(std::int64_t year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::int64_t SecondsBetween(const platform::DateTime& from, const platform::DateTime& to) {
    const std::int64_t days =
        DaysFromCivil(to.year, to.month, to.day) - DaysFromCivil(from.year, from.month, from.day);
    const std::int64_t fromSeconds =
        static_cast<std::int64_t>(from.hour) * 3600 + from.minute * 60 + from.second;
    const std::int64_t toSeconds = static_cast<std::int64_t>(to.hour) * 3600 + to.minute * 60 + to.second;
    return days * kSecondsPerDay + toSeconds - fromSeconds;
}

}  // namespace kelto::calendar
