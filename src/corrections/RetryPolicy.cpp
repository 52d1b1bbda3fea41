#include "corrections/RetryPolicy.h"

#include <algorithm>

namespace sextara::corrections {

void RetryHistory::Record(std::chrono::milliseconds deliveredFor) {
    if (deliveredFor >= RetryPolicy::kWorkedFor) {
        worked_ = true;
        failures_ = 0;
    } else {
        ++failures_;
    }
}

std::chrono::milliseconds RetryDelay(const RetryHistory& history, double jitter) {
    // After a connection that worked: the attempt that ended it, then the
    // quick retries, count before the doubling starts.
    int slowStep = history.FailuresSinceWorking();
    if (history.EverWorked()) {
        if (slowStep < RetryPolicy::kQuickRetries) return RetryPolicy::kQuickWait;
        slowStep -= RetryPolicy::kQuickRetries;
    } else {
        slowStep -= 1;  // the first attempt failed: the first wait
    }
    slowStep = std::clamp(slowStep, 0, 30);
    const double first = std::chrono::duration<double, std::milli>(RetryPolicy::kFirstWait).count();
    const double longest = std::chrono::duration<double, std::milli>(RetryPolicy::kLongestWait).count();
    const double wait = std::min(first * static_cast<double>(1LL << slowStep), longest);
    const double factor = 1.0 + RetryPolicy::kJitter * std::clamp(jitter, -1.0, 1.0);
    return std::chrono::milliseconds(static_cast<long long>(wait * factor));
}

}  // namespace sextara::corrections
