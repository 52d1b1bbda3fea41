#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "corrections/BaseStation.h"
#include "corrections/Rtcm3Framer.h"

namespace sextara::corrections {

struct HealthSnapshot {
    std::uint64_t bytes = 0;  // every byte fed since Reset
    std::uint64_t frames = 0, crcErrors = 0;
    std::map<int, std::uint64_t> types;  // message number -> whole frames since Reset
    std::optional<double> ageSeconds;    // since the last whole frame; nullopt before the first
    double bytesPerSecond = 0;           // over the last 5 s (less just after Reset), 0 when idle
    std::optional<BaseStation> base;     // from the last 1005 or 1006
    std::uint64_t garbageBytes = 0;      // bytes that are not RTCM 3 (a CMR stream, text) since Reset
    std::uint64_t connections = 0;       // Reset calls since the meter was made
};

// The health of a correction stream, read as it passes: the feeder hands
// every byte it has already passed on (the meter never holds back or changes
// a byte), readers on other threads take snapshots.
//
// Framing runs on the feeder's thread outside the lock; the lock is held only
// to publish one Feed's results or to copy a snapshot, never while anything
// blocks.
class HealthMeter {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // The rate window and its resolution.
    static constexpr std::chrono::milliseconds kRateWindow{5000};
    static constexpr std::chrono::milliseconds kRateSlot{250};

    HealthMeter();
    HealthMeter(const HealthMeter&) = delete;
    HealthMeter& operator=(const HealthMeter&) = delete;

    // A new connection: counts start over (a frame cut by the old connection
    // is forgotten too).
    void Reset();
    // From one thread at a time.
    void Feed(const std::uint8_t* bytes, std::size_t count, TimePoint now);
    HealthSnapshot Snapshot(TimePoint now) const;

private:
    static constexpr std::size_t kRateSlots =
        kRateWindow / kRateSlot + 1;  // the window and the slot filling now
    struct RateSlot {
        std::int64_t index = -1;  // time since the clock's epoch in kRateSlot units
        std::uint64_t bytes = 0;
    };

    void OnFrame(const Rtcm3Frame& frame);
    void AddToRate(std::size_t count, TimePoint now);
    double RateAt(TimePoint now) const;

    // The feeder's own: the framer and what one Feed found.
    Rtcm3Framer framer_;
    std::vector<int> foundTypes_;
    std::optional<BaseStation> foundBase_;
    std::atomic<std::uint64_t> generation_{0};  // moves at every Reset
    std::uint64_t framerGeneration_ = 0;        // the Reset the framer's bytes belong to

    mutable std::mutex lock_;  // guards everything below
    HealthSnapshot published_;
    std::optional<TimePoint> lastFrameAt_;
    std::optional<TimePoint> firstByteAt_;
    std::array<RateSlot, kRateSlots> rate_{};
};

}  // namespace sextara::corrections
