#pragma once

#include <chrono>
#include <stop_token>

#include "platform/Event.h"

namespace sextara::platform {

// Every pause and time-out of the program goes through a Clock so that tests
// can run the receiver's real pauses (50 ms between commands, 2 s probes, ...)
// in no time.
class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint Now() const = 0;
    virtual void SleepFor(std::chrono::milliseconds duration) = 0;
    // A pause that a stop request can cut short: sleeps up to `duration`
    // and returns early, true, when `wake` is set meanwhile (taking its
    // signal). A clock that only pretends to sleep takes the whole pause and
    // then looks at the event.
    virtual bool SleepUnless(Event& wake, std::chrono::milliseconds duration) {
        SleepFor(duration);
        return wake.Wait(std::chrono::milliseconds(0));
    }
    // The same for a worker stopped by a stop token: sleeps up to `duration`
    // and ends at once when the stop is requested, before or meanwhile;
    // false when it was. Like SleepUnless, a clock that only pretends to
    // sleep takes the whole pause and then looks.
    virtual bool SleepUnlessStopped(std::chrono::milliseconds duration, const std::stop_token& stop) {
        if (stop.stop_requested()) return false;
        SleepFor(duration);
        return !stop.stop_requested();
    }
};

// The real clock; one process-wide instance.
Clock& SystemClock();

// A clock for tests: sleeping advances it at once and returns.
class ManualClock final : public Clock {
public:
    TimePoint Now() const override { return now_; }
    void SleepFor(std::chrono::milliseconds duration) override { now_ += duration; slept_ += duration; }
    void Advance(std::chrono::milliseconds duration) { now_ += duration; }
    std::chrono::milliseconds TotalSlept() const { return slept_; }

private:
    TimePoint now_{};
    std::chrono::milliseconds slept_{0};
};

}  // namespace sextara::platform
