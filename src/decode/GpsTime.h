#pragma once

#include <cstdint>

namespace sextara {

struct CalendarTime {
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
};

// GPS-UTC offset in whole seconds at the given GPS time (seconds since the
// GPS epoch, 1980-01-06 00:00:00), from the table of announced leap seconds.
std::int32_t GpsUtcLeapSeconds(std::int64_t gpsSeconds);

// GPS week and milliseconds of the week to the UTC calendar date and time,
// whole seconds (milliseconds dropped). The binary makes report GPS time; the
// NMEA makes report UTC, so everything in GnssState is UTC.
CalendarTime GpsWeekMsToUtc(std::uint32_t week, std::uint32_t millisecondsOfWeek);

}  // namespace sextara
