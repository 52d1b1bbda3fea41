#pragma once

#include <functional>
#include <string>

#include "decode/GnssState.h"
#include "platform/LogFunction.h"
#include "platform/SystemTime.h"

namespace sextara {

// Sets the system clock from the receiver's time: automatically at the first
// fix after the receiver's port opened at start-up, or when the user asks.
// Three attempts in all, automatic and manual together. The setter is
// injectable so that no test (and no replayed capture) sets the machine's
// clock; the core's timers run on the monotonic clock and are not disturbed
// when it steps. For the controlling thread only.
class ClockSync {
public:
    // Sets the system clock to the UTC time; false with the reason on failure.
    using Setter = std::function<bool(const platform::UtcTime& utc, std::string& reason)>;
    static constexpr int kTries = 3;

    enum class Manual {
        NoFix,    // no fix yet: nothing tried
        Set,      // the clock has been set (now or before)
        Failed,   // tried, or no tries left, or no whole date and time yet
        Ignored,  // a fix code beyond 4
    };

    // clock_settime(CLOCK_REALTIME) by default.
    explicit ClockSync(Setter setter = SystemSetter(), platform::LogFunction log = {});

    // Pending again with three tries, automatic attempts on: after the
    // receiver's port opened at start-up on a live receiver, never for a
    // replay or a test.
    void Arm();
    bool Armed() const { return armed_; }

    // The view's paint, once a second: one attempt while armed, pending and
    // with a fix. Returns the pending flag.
    int OnPaint(const GnssState& state);
    // The user's button, by the fix code.
    Manual ManualSync(const GnssState& state);
    // One attempt: nothing without a fix or without a whole date and time in
    // the record (a GGA before the first RMC has a fix but no date), which
    // costs no try; otherwise one try, while tries are left. Returns the
    // pending flag (0 once the clock has been set).
    int Attempt(const GnssState& state);

    int Pending() const { return pending_; }
    int TriesLeft() const { return tries_; }

    static Setter SystemSetter();

private:
    Setter setter_;
    platform::LogFunction log_;
    int pending_ = 1;
    int tries_ = kTries;
    bool armed_ = false;
    bool failureLogged_ = false;
};

}  // namespace sextara
