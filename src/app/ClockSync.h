#pragma once

#include <functional>
#include <string>

#include "decode/GnssState.h"
#include "platform/BuildDate.h"
#include "platform/LogFunction.h"
#include "platform/SystemTime.h"

namespace sextara {

// Sets the system clock from the receiver's time: automatically at the first
// fix after the receiver's port opened at start-up, or when the user asks.
// Three attempts in all, automatic and manual together. The setter is
// injectable so that no test (and no replayed capture) sets the machine's
// clock; the core's timers run on the monotonic clock and are not disturbed
// when it steps. For the controlling thread only.
//
// A receiver time before the build date is never set: it comes from a
// replayed capture or a receiver with a week-rollover fault. The automatic
// synchronisation also leaves alone a clock that the kernel reports
// synchronised (NTP keeps it better than a fix read up to a second late);
// the user's explicit request sets it anyway. A refusal costs no try and is
// one line in the log; at the paint it ends the arming.
class ClockSync {
public:
    // Sets the system clock to the UTC time; false with the reason on failure.
    using Setter = std::function<bool(const platform::UtcTime& utc, std::string& reason)>;
    // Whether the kernel reports the system clock synchronised.
    using SyncedQuery = std::function<bool()>;
    static constexpr int kTries = 3;

    // The window arms by itself at start; the advanced page's button and
    // sextara-headless --sync-clock are the user's explicit requests.
    enum class Request { Automatic, Explicit };

    enum class Manual {
        NoFix,    // no fix yet: nothing tried
        Set,      // the clock has been set (now or before)
        Failed,   // tried, refused, no tries left, or no whole date and time yet
        Ignored,  // a fix code beyond 4
    };

    // clock_settime(CLOCK_REALTIME), the kernel's adjtimex state and this
    // build's date by default.
    explicit ClockSync(Setter setter = SystemSetter(), platform::LogFunction log = {},
                       SyncedQuery kernelSynchronised = platform::KernelClockSynchronised,
                       platform::UtcTime notBefore = platform::BuildDate());

    // Pending again with three tries, automatic attempts on: after the
    // receiver's port opened at start-up on a live receiver, never for a
    // replay or a test.
    void Arm(Request request);
    bool Armed() const { return armed_; }

    // The view's paint, once a second: one attempt while armed, pending and
    // with a fix; a refused time ends the arming. Returns the pending flag.
    int OnPaint(const GnssState& state);
    // The user's button, by the fix code: an explicit request.
    Manual ManualSync(const GnssState& state);

    int Pending() const { return pending_; }
    int TriesLeft() const { return tries_; }
    // The log line of the last refusal; empty when the last attempt was not refused.
    const std::string& LastRefusal() const { return refusal_; }

    static Setter SystemSetter();

private:
    // One attempt: nothing without a fix or without a whole date and time in
    // the record (a GGA before the first RMC has a fix but no date), which
    // costs no try; nor for a refused time; otherwise one try, while tries are
    // left. Returns the pending flag (0 once the clock has been set).
    int Attempt(const GnssState& state, Request request);
    // Why the time must not be set; empty when it may. The kernel's state
    // counts only for the automatic request.
    std::string Refusal(const platform::UtcTime& utc, Request request) const;
    void Log(const char* line) const;

    Setter setter_;
    platform::LogFunction log_;
    SyncedQuery kernelSynchronised_;
    platform::UtcTime notBefore_;
    int pending_ = 1;
    int tries_ = kTries;
    bool armed_ = false;
    Request request_ = Request::Automatic;
    bool failureLogged_ = false;
    std::string refusal_;
};

}  // namespace sextara
