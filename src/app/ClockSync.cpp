#include "app/ClockSync.h"

#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/Debug.h"

namespace sextara {

ClockSync::ClockSync(Setter setter, platform::LogFunction log, SyncedQuery kernelSynchronised,
                     platform::UtcTime notBefore)
    : setter_(std::move(setter)),
      log_(std::move(log)),
      kernelSynchronised_(std::move(kernelSynchronised)),
      notBefore_(notBefore) {}

ClockSync::Setter ClockSync::SystemSetter() {
    return [](const platform::UtcTime& utc, std::string& reason) {
        const auto seconds = platform::UtcTimeToEpoch(utc);
        if (!seconds) {
            reason = "invalid date or time";
            return false;
        }
        timespec value{};
        value.tv_sec = *seconds;
        value.tv_nsec = static_cast<long>(utc.millisecond) * 1000000L;
        if (::clock_settime(CLOCK_REALTIME, &value) == 0) return true;
        const int error = errno;
        reason = std::strerror(error);
        if (error == EPERM) reason += ", the program lacks CAP_SYS_TIME";
        return false;
    };
}

void ClockSync::Arm(Request request) {
    pending_ = 1;
    tries_ = kTries;
    armed_ = true;
    request_ = request;
}

int ClockSync::OnPaint(const GnssState& state) {
    if (!armed_ || pending_ != 1 || state.fixQuality <= 0) return pending_;
    const int pending = Attempt(state, request_);
    // The paint would ask again every second: once per arming is enough.
    if (!refusal_.empty()) armed_ = false;
    return pending;
}

ClockSync::Manual ClockSync::ManualSync(const GnssState& state) {
    if (state.fixQuality <= 0) return Manual::NoFix;
    if (state.fixQuality > 4) return Manual::Ignored;
    return Attempt(state, Request::Explicit) == 0 ? Manual::Set : Manual::Failed;
}

void ClockSync::Log(const char* line) const {
    if (log_) log_(line);
}

std::string ClockSync::Refusal(const platform::UtcTime& utc, Request request) const {
    char line[200];
    if (*platform::UtcTimeToEpoch(utc) < platform::UtcTimeToEpoch(notBefore_).value_or(0)) {
        std::snprintf(line, sizeof line,
                      "Clock not set: GNSS time %04d-%02d-%02d %02d:%02d:%02d UTC is before this build "
                      "(%04d-%02d-%02d)",
                      utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second, notBefore_.year,
                      notBefore_.month, notBefore_.day);
        return line;
    }
    if (request == Request::Automatic && kernelSynchronised_ && kernelSynchronised_()) {
        return "Clock not set: the system clock is kept synchronised already (NTP or the like)";
    }
    return {};
}

int ClockSync::Attempt(const GnssState& state, Request request) {
    refusal_.clear();
    if (state.fixQuality <= 0) return pending_;
    platform::UtcTime utc;
    utc.year = state.year;
    utc.month = state.month;
    utc.day = state.day;
    utc.hour = state.hour;
    utc.minute = state.minute;
    utc.second = state.second;
    utc.millisecond = 0;
    utc.dayOfWeek = 0;
    // A fix before the first date: not a time to set, and no try spent.
    if (!platform::UtcTimeToEpoch(utc)) return pending_;
    if (tries_ <= 0) return pending_;
    refusal_ = Refusal(utc, request);
    if (!refusal_.empty()) {
        Log(refusal_.c_str());
        return pending_;
    }
    --tries_;
    std::string reason;
    const bool set = setter_ && setter_(utc, reason);
    pending_ = set ? 0 : 1;
    SEXTARA_DEBUG("+++++++SetSystemTime Return Value: %d\r\n", set ? 1 : 0);
    char line[200];
    if (set) {
        std::snprintf(line, sizeof line, "System clock set from GNSS: %04d-%02d-%02d %02d:%02d:%02d UTC", utc.year,
                      utc.month, utc.day, utc.hour, utc.minute, utc.second);
        Log(line);
    } else if (!failureLogged_) {
        failureLogged_ = true;
        std::snprintf(line, sizeof line, "System clock not set from GNSS: %s", reason.c_str());
        Log(line);
    }
    return pending_;
}

}  // namespace sextara
