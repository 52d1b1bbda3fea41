#include "platform/SystemTime.h"

#include <sys/timex.h>
#include <time.h>

namespace sextara::platform {
namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

UtcTime CurrentUtcTime() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts{};
    ::gmtime_r(&now.tv_sec, &parts);
    UtcTime time;
    time.year = parts.tm_year + 1900;
    time.month = parts.tm_mon + 1;
    time.day = parts.tm_mday;
    time.hour = parts.tm_hour;
    time.minute = parts.tm_min;
    time.second = parts.tm_sec;
    time.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    time.dayOfWeek = parts.tm_wday;
    return time;
}

std::optional<std::time_t> UtcTimeToEpoch(const UtcTime& time) {
    // 1970..9999: the system clock cannot go before the epoch, and four
    // digits is what a receiver reports.
    if (time.year < 1970 || time.year > 9999 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > DaysInMonth(time.year, time.month) || time.hour < 0 || time.hour > 23 || time.minute < 0 ||
        time.minute > 59 || time.second < 0 || time.second > 59 || time.millisecond < 0 ||
        time.millisecond > 999) {
        return std::nullopt;
    }
    std::tm parts{};
    parts.tm_year = time.year - 1900;
    parts.tm_mon = time.month - 1;
    parts.tm_mday = time.day;
    parts.tm_hour = time.hour;
    parts.tm_min = time.minute;
    parts.tm_sec = time.second;
    return ::timegm(&parts);
}

bool SetSystemUtcTime(const UtcTime& time) {
    const std::optional<std::time_t> seconds = UtcTimeToEpoch(time);
    if (!seconds) {
        return false;
    }
    timespec value{};
    value.tv_sec = *seconds;
    value.tv_nsec = static_cast<long>(time.millisecond) * 1000000L;
    return ::clock_settime(CLOCK_REALTIME, &value) == 0;
}

bool KernelClockSynchronised() {
    timex state{};  // modes 0: read only
    const int result = ::adjtimex(&state);
    return result != -1 && result != TIME_ERROR && (state.status & STA_UNSYNC) == 0;
}

void ResetIdleTimer() {}

}  // namespace sextara::platform
