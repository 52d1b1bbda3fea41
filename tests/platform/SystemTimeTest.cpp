#include <gtest/gtest.h>

#include "platform/BuildDate.h"
#include "platform/SystemTime.h"

namespace sextara::platform {
namespace {

UtcTime Make(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    UtcTime time;
    time.year = year;
    time.month = month;
    time.day = day;
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    return time;
}

// The receiver's date and time go straight to the system clock, so a field
// that a receiver without a fix reports as zero must be refused, not wrapped.
TEST(SystemTime, CalendarTimesConvertOrAreRefused) {
    struct Row {
        UtcTime time;
        std::optional<std::time_t> epoch;
    };
    const Row rows[] = {
        {Make(1970, 1, 1), 0},
        {Make(2019, 9, 25, 13, 5, 9), 1569416709},
        {Make(2024, 2, 29, 23, 59, 59), 1709251199},
        {Make(2000, 2, 29), 951782400},
        {Make(2023, 2, 29), std::nullopt},
        {Make(1900, 2, 29), std::nullopt},
        {Make(2024, 4, 31), std::nullopt},
        {Make(2024, 13, 1), std::nullopt},
        {Make(0, 0, 0), std::nullopt},
        {Make(1969, 12, 31, 23, 59, 59), std::nullopt},
        {Make(2024, 1, 1, 24, 0, 0), std::nullopt},
        {Make(2024, 1, 1, 0, 0, 60), std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(UtcTimeToEpoch(row.time), row.epoch)
            << row.time.year << "-" << row.time.month << "-" << row.time.day << " " << row.time.hour;
    }
    EXPECT_FALSE(SetSystemUtcTime(Make(2024, 2, 30)));
    EXPECT_TRUE(UtcTimeToEpoch(CurrentUtcTime()).has_value());
    // The floor of the clock synchronisation is a whole day of this century.
    const UtcTime built = BuildDate();
    EXPECT_TRUE(UtcTimeToEpoch(built).has_value());
    EXPECT_GE(built.year, 2024);
}

}  // namespace
}  // namespace sextara::platform
