#include "corrections/HealthMeter.h"

#include <algorithm>

namespace sextara::corrections {
namespace {

// A 1024-byte receive holds at most this many of the smallest frames.
constexpr std::size_t kFramesPerReceive = 1024 / (kRtcm3HeaderBytes + 2 + kRtcm3CrcBytes) + 1;

}  // namespace

HealthMeter::HealthMeter() : framer_([this](const Rtcm3Frame& frame) { OnFrame(frame); }) {
    foundTypes_.reserve(kFramesPerReceive);
}

void HealthMeter::Reset() {
    std::lock_guard<std::mutex> hold(lock_);
    // Under the lock, so that a Feed that started before publishes nothing.
    ++generation_;
    const std::uint64_t connections = published_.connections + 1;
    published_ = {};
    published_.connections = connections;
    lastFrameAt_.reset();
    firstByteAt_.reset();
    rate_ = {};
}

void HealthMeter::OnFrame(const Rtcm3Frame& frame) {
    foundTypes_.push_back(frame.messageNumber);
    if (auto base = DecodeBaseStation(frame)) foundBase_ = *base;
}

void HealthMeter::Feed(const std::uint8_t* bytes, std::size_t count, TimePoint now) {
    if (bytes == nullptr || count == 0) return;
    const std::uint64_t generation = generation_.load();
    if (generation != framerGeneration_) {
        framer_.Reset();
        framerGeneration_ = generation;
    }
    foundTypes_.clear();
    foundBase_.reset();
    framer_.Feed(bytes, count);
    const Rtcm3Counters& counters = framer_.Counters();

    std::lock_guard<std::mutex> hold(lock_);
    // A Reset meanwhile: these bytes came over the connection before it.
    if (generation_.load() != generation) return;
    published_.bytes = counters.bytes;
    published_.frames = counters.frames;
    published_.crcErrors = counters.crcErrors;
    published_.garbageBytes = counters.garbageBytes;
    for (const int type : foundTypes_) ++published_.types[type];
    if (!foundTypes_.empty()) lastFrameAt_ = now;
    if (foundBase_) published_.base = foundBase_;
    AddToRate(count, now);
}

HealthSnapshot HealthMeter::Snapshot(TimePoint now) const {
    std::lock_guard<std::mutex> hold(lock_);
    HealthSnapshot snapshot = published_;
    if (lastFrameAt_) {
        snapshot.ageSeconds = std::max(0.0, std::chrono::duration<double>(now - *lastFrameAt_).count());
    }
    snapshot.bytesPerSecond = RateAt(now);
    return snapshot;
}

namespace {

std::int64_t SlotIndex(HealthMeter::TimePoint at) {
    const std::int64_t ms = std::chrono::floor<std::chrono::milliseconds>(at.time_since_epoch()).count();
    const std::int64_t slot = HealthMeter::kRateSlot.count();
    return ms >= 0 ? ms / slot : -((slot - 1 - ms) / slot);
}

}  // namespace

void HealthMeter::AddToRate(std::size_t count, TimePoint now) {
    if (!firstByteAt_) firstByteAt_ = now;
    const std::int64_t index = SlotIndex(now);
    const auto slots = static_cast<std::int64_t>(kRateSlots);
    RateSlot& slot = rate_[static_cast<std::size_t>(((index % slots) + slots) % slots)];
    if (slot.index != index) slot = {index, 0};
    slot.bytes += count;
}

double HealthMeter::RateAt(TimePoint now) const {
    if (!firstByteAt_) return 0;
    const std::int64_t newest = SlotIndex(now);
    const auto slots = static_cast<std::int64_t>(kRateSlots);
    std::uint64_t bytes = 0;
    for (const RateSlot& slot : rate_) {
        if (slot.index <= newest && slot.index > newest - slots) bytes += slot.bytes;
    }
    if (bytes == 0) return 0;
    // The oldest slot counted starts one window before the slot filling now;
    // just after the first byte the time since then is used, at least 1 s,
    // so that the first receive does not read as a burst.
    const TimePoint windowStart{kRateSlot * (newest - slots + 1)};
    const TimePoint from = std::max(windowStart, *firstByteAt_);
    const double seconds = std::max(1.0, std::chrono::duration<double>(now - from).count());
    return static_cast<double>(bytes) / seconds;
}

}  // namespace sextara::corrections
