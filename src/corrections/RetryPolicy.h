#pragma once

#include <chrono>

namespace sextara::corrections {

// When a dropped or failed connection is tried again (NTRIP and TCP alike).
// Casters ban clients that retry too fast, so the quick retries of a link
// that was working (three, 800 ms apart) are only for a connection that
// delivered corrections for kWorkedFor; every other wait doubles from
// kFirstWait up to kLongestWait, with +-20 % jitter so that many clients
// dropped at once do not come back at once. A connection that works for
// kWorkedFor starts the schedule over. No two attempts come within
// kFirstWait less its jitter (8 s), except the quick retries.
struct RetryPolicy {
    static constexpr std::chrono::seconds kWorkedFor{30};
    static constexpr int kQuickRetries = 3;
    static constexpr std::chrono::milliseconds kQuickWait{800};
    static constexpr std::chrono::seconds kFirstWait{10};
    static constexpr std::chrono::seconds kLongestWait{300};
    static constexpr double kJitter = 0.2;
};

// What the schedule needs of the attempts made so far.
class RetryHistory {
public:
    // One attempt ended; deliveredFor is how long its connection delivered
    // corrections (zero for one that never connected or sent nothing).
    void Record(std::chrono::milliseconds deliveredFor);
    // Attempts since the last one that worked, and whether one ever did.
    int FailuresSinceWorking() const { return failures_; }
    bool EverWorked() const { return worked_; }

private:
    int failures_ = 0;
    bool worked_ = false;
};

// The wait before the next attempt, jitter in [-1, 1] (scaled to +-20 %; the
// quick retries keep their 800 ms). Pure: the same history and jitter give
// the same wait.
std::chrono::milliseconds RetryDelay(const RetryHistory& history, double jitter);

}  // namespace sextara::corrections
