#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

#include "corrections/CasterSettings.h"
#include "decode/GnssState.h"
#include "platform/Clock.h"

namespace sextara::corrections {

// The GGA sentence the caster gets and its cadence, kept in time rather
// than in receive passes (a pass may now last a millisecond or a second).
// On a new connection it is due at once, after the one the reply brought;
// then every kPeriod. The stream loop's wait for data ends when it is due,
// so the gaps stay between kMinGap and kMaxGap: some networks drop a client
// that has sent no position for 30 s.
class GgaReporter {
public:
    using TimePoint = platform::Clock::TimePoint;
    static constexpr std::chrono::seconds kPeriod{5};
    static constexpr std::chrono::seconds kMinGap{4};
    static constexpr std::chrono::seconds kMaxGap{30};

    // The sentence of a Start: from the state, or the typed position when chosen.
    void Build(const GnssState& state, const CasterSettings& settings);
    // With resendCurrentPosition and a fix, the receiver's position of the
    // moment; otherwise the sentence stays as built at Start.
    void Refresh(const GnssState& state, const CasterSettings& settings);
    void SetSentence(std::string sentence);
    std::string Sentence() const;

    // The cadence of one connection, used by its thread alone.
    void ConnectionStarted() { lastSent_.reset(); }
    bool Due(TimePoint now) const { return !lastSent_ || now - *lastSent_ >= kPeriod; }
    // How long until Due, rounded up to whole milliseconds; zero when it is.
    std::chrono::milliseconds DueIn(TimePoint now) const {
        if (Due(now)) return std::chrono::milliseconds(0);
        return std::chrono::ceil<std::chrono::milliseconds>(*lastSent_ + kPeriod - now);
    }
    void Sent(TimePoint now) { lastSent_ = now; }

private:
    mutable std::mutex lock_;
    std::string sentence_;
    std::optional<TimePoint> lastSent_;
};

}  // namespace sextara::corrections
