#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/Clock.h"
#include "receiver/PortDetector.h"
#include "sim/ReceiverSim.h"

namespace sextara::test {

// Virtual time this many times faster than real time, so a detection that
// probes four silent rates (40 s on a receiver) takes under a second, while
// the simulator's real answers still arrive between two looks at the line.
inline constexpr int kTimeScale = 50;

// The receiver's pauses (reset delays, probes) pass kTimeScale times faster.
// While a detector and a simulator are watched, a sleep also waits until the
// simulator has taken every byte the detector wrote since, as a line would
// have carried them by then: the simulator judges bytes by the rate the line
// has when it reads them, and the detector may change the rate right after.
class FastReceiverClock final : public platform::Clock {
public:
    TimePoint Now() const override { return TimePoint{} + std::chrono::nanoseconds(ns_.load()); }
    void SleepFor(std::chrono::milliseconds duration) override {
        using namespace std::chrono_literals;
        ns_ += std::chrono::nanoseconds(duration).count();
        if (sim_ != nullptr && detector_ != nullptr) {
            sim_->WaitForRecorded(detector_->BytesWritten() - writtenBefore_, 2s);
        } else if (sim_ != nullptr) {
            // No detector to count from (it lives inside the core): each
            // sleep lasts at least one whole turn of the simulator (the turn
            // under way may have started before the write), so an answer
            // window is as many turns as it has looks, however loaded the
            // machine is.
            const std::uint64_t slices = sim_->Stats().slices;
            sim_->WaitFor([slices](const sim::ReceiverSimStats& s) { return s.slices > slices + 1 || !s.running; }, 2s);
        }
        std::this_thread::sleep_for(std::max<std::chrono::microseconds>(duration / kTimeScale, 1ms));
    }
    void Watch(const PortDetector* detector, const sim::ReceiverSim* sim) {
        detector_ = detector;
        sim_ = sim;
        writtenBefore_ = detector != nullptr ? detector->BytesWritten() : 0;
    }
    std::chrono::milliseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Now() - TimePoint{});
    }

private:
    std::atomic<std::int64_t> ns_{0};
    const PortDetector* detector_ = nullptr;
    const sim::ReceiverSim* sim_ = nullptr;
    std::uint64_t writtenBefore_ = 0;  // went to an earlier simulator
};

// A simulated receiver whose line runs kTimeScale times faster, back at once
// from a reset.
inline sim::ReceiverSimOptions FastReceiver(ReceiverType make, int baud, std::chrono::milliseconds duration) {
    sim::ReceiverSimOptions options;
    options.make = make;
    options.baud = baud;
    options.duration = duration;
    options.bytesPerSecond = 115200 / 10 * kTimeScale;
    options.resetDelay = std::chrono::milliseconds(2);
    return options;
}

}  // namespace sextara::test
