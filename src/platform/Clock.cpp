#include "platform/Clock.h"

#include <thread>

namespace sextara::platform {
namespace {

class RealClock final : public Clock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    void SleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
    bool SleepUnless(Event& wake, std::chrono::milliseconds duration) override { return wake.Wait(duration); }
};

}  // namespace

Clock& SystemClock() {
    static RealClock clock;
    return clock;
}

}  // namespace sextara::platform
