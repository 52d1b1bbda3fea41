#include "platform/Clock.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace sextara::platform {
namespace {

class RealClock final : public Clock {
public:
    TimePoint Now() const override { return std::chrono::steady_clock::now(); }
    void SleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
    bool SleepUnless(Event& wake, std::chrono::milliseconds duration) override { return wake.Wait(duration); }
    bool SleepUnlessStopped(std::chrono::milliseconds duration, const std::stop_token& stop) override {
        // Nothing notifies this variable but the stop itself.
        std::mutex lock;
        std::condition_variable_any wake;
        std::unique_lock<std::mutex> hold(lock);
        wake.wait_for(hold, stop, duration, [] { return false; });
        return !stop.stop_requested();
    }
};

}  // namespace

Clock& SystemClock() {
    static RealClock clock;
    return clock;
}

}  // namespace sextara::platform
