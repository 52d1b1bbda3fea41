#include "decode/GpsTime.h"

namespace sextara {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kSecondsPerWeek = 7 * kSecondsPerDay;

bool IsLeapYear(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// GPS epoch 1980-01-06 counted from the Unix epoch.
const std::int64_t kGpsEpochDays = DaysFromCivil(1980, 1, 6);

struct LeapStep {
    int year, month;      // the UTC day on which the new offset took effect (day 1)
    std::int32_t offset;  // GPS - UTC from then on
};

// Leap seconds inserted since the GPS epoch; GPS-UTC has been 18 s since 2017-01-01.
constexpr LeapStep kLeapSteps[] = {
    {1981, 7, 1},  {1982, 7, 2},  {1983, 7, 3},  {1985, 7, 4},  {1988, 1, 5},  {1990, 1, 6},
    {1991, 1, 7},  {1992, 7, 8},  {1993, 7, 9},  {1994, 7, 10}, {1996, 1, 11}, {1997, 7, 12},
    {1999, 1, 13}, {2006, 1, 14}, {2009, 1, 15}, {2012, 7, 16}, {2015, 7, 17}, {2017, 1, 18},
};

}  // namespace

std::int32_t GpsUtcLeapSeconds(std::int64_t gpsSeconds) {
    std::int32_t offset = 0;
    for (const auto& step : kLeapSteps) {
        // The step takes effect at UTC midnight of its day, when GPS time reads
        // that midnight plus the new offset.
        const std::int64_t stepGps =
            (DaysFromCivil(step.year, static_cast<unsigned>(step.month), 1) - kGpsEpochDays) * kSecondsPerDay +
            step.offset;
        if (gpsSeconds >= stepGps) offset = step.offset;
    }
    return offset;
}

CalendarTime GpsWeekMsToUtc(std::uint32_t week, std::uint32_t millisecondsOfWeek) {
    const std::int64_t gpsSeconds =
        static_cast<std::int64_t>(week) * kSecondsPerWeek + millisecondsOfWeek / 1000;
    const std::int64_t utc = gpsSeconds - GpsUtcLeapSeconds(gpsSeconds);

    std::int64_t days = utc / kSecondsPerDay;  // days since the GPS epoch; utc >= 0 always
    const std::int64_t secondOfDay = utc % kSecondsPerDay;
    // The GPS epoch is day 6 of 1980; walk whole years, then months.
    days += 5;  // days since 1980-01-01
    std::int64_t year = 1980;
    while (days >= (IsLeapYear(year) ? 366 : 365)) {
        days -= IsLeapYear(year) ? 366 : 365;
        ++year;
    }
    static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    for (; month < 11; ++month) {
        const int length = kMonthDays[month] + (month == 1 && IsLeapYear(year) ? 1 : 0);
        if (days < length) break;
        days -= length;
    }
    CalendarTime out;
    out.year = static_cast<std::int32_t>(year);
    out.month = month + 1;
    out.day = static_cast<std::int32_t>(days + 1);
    out.hour = static_cast<std::int32_t>(secondOfDay / 3600);
    out.minute = static_cast<std::int32_t>(secondOfDay % 3600 / 60);
    out.second = static_cast<std::int32_t>(secondOfDay % 60);
    return out;
}

}  // namespace sextara
