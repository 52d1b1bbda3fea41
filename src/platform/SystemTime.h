#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

namespace sextara::platform {

// A calendar time in UTC with a four-digit year, as the receiver reports it
// and as the clock synchronisation hands it back to the system.
struct UtcTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int dayOfWeek = 4;  // 0 Sunday; 1 January 1970 was a Thursday
};

UtcTime CurrentUtcTime();

// Seconds since 1970 for a valid calendar time (second 60 is refused, no leap
// seconds); none for a field out of range, 31 February say.
std::optional<std::time_t> UtcTimeToEpoch(const UtcTime& time);

// Sets the system clock; false for an invalid time and when the process may
// not set the clock (it needs CAP_SYS_TIME), which is the usual case.
bool SetSystemUtcTime(const UtcTime& time);

// True when the kernel holds the system clock synchronised to a time source
// (an NTP, chrony or PTP daemon steers it): the adjtimex state is not
// TIME_ERROR and STA_UNSYNC is clear. Reading it needs no privilege.
bool KernelClockSynchronised();

// Keeps the device from suspending while the program runs. Linux has no idle
// timer that a program resets: a desktop or board does not suspend under a
// running field tool the way a handheld did, and where it would, inhibiting
// sleep is a matter for the system's power settings. So this does nothing.
void ResetIdleTimer();

}  // namespace sextara::platform
