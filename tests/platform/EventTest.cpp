#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "support/WaitUntil.h"

namespace sextara::platform {
namespace {

using std::chrono::milliseconds;
constexpr milliseconds kNow{0};
// Only bounds a failing test; a passing one never waits this long.
constexpr milliseconds kGenerous{20000};

TEST(EventTest, AutoResetSequences) {
    // S sets, R resets, + is a zero wait that must take the signal, - one
    // that must find none.
    for (const std::string steps : {"-", "S+-", "SSS+-", "SR-", "S+S+-"}) {
        SCOPED_TRACE(steps);
        Event event;
        for (char step : steps) {
            switch (step) {
                case 'S': event.Set(); break;
                case 'R': event.Reset(); break;
                case '+': EXPECT_TRUE(event.Wait(kNow)); break;
                default: EXPECT_FALSE(event.Wait(kNow)); break;
            }
        }
    }
}

TEST(EventTest, WaitAnyTakesTheFirstSetEventFirst) {
    const struct {
        bool setFirst;
        bool setSecond;
        std::vector<int> results;  // successive zero waits
    } cases[] = {
        {false, false, {kWaitTimedOut}},
        {true, false, {0, kWaitTimedOut}},
        {false, true, {1, kWaitTimedOut}},
        // Data before stop: the writer sends what was queued before it ends.
        {true, true, {0, 1, kWaitTimedOut}},
    };
    for (const auto& c : cases) {
        Event first;
        Event second;
        if (c.setFirst) first.Set();
        if (c.setSecond) second.Set();
        for (int expected : c.results) EXPECT_EQ(WaitAny(first, second, kNow), expected);
    }
}

TEST(EventTest, EachSetReleasesOneOfManyWaiters) {
    constexpr int kWaiters = 6;
    Event event;
    std::atomic<int> woke{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] {
            event.Wait();
            ++woke;
        });
    }
    // Sets do not add up, so each waits until the previous one was taken.
    for (int i = 1; i <= kWaiters; ++i) {
        event.Set();
        ASSERT_TRUE(test::WaitUntil([&] { return woke.load() >= i; }));
        EXPECT_EQ(woke.load(), i) << "one Set released more than one wait";
    }
    for (std::thread& t : waiters) t.join();
    EXPECT_FALSE(event.Wait(kNow));
}

// The writer-thread pattern under load: a producer signals data, a consumer
// waits for data or stop in that order. A lost wake-up stalls a round until
// the generous time-out and fails it.
TEST(EventTest, PingPongLosesNoWakeUp) {
    constexpr int kRounds = 5000;
    Event ping;
    Event pong;
    Event stop;
    std::atomic<int> handled{0};
    std::thread consumer([&] {
        while (WaitAny(ping, stop, kGenerous) == 0) {
            ++handled;
            pong.Set();
        }
    });
    int answered = 0;
    while (answered < kRounds) {
        ping.Set();
        if (!pong.Wait(kGenerous)) break;
        ++answered;
    }
    stop.Set();
    consumer.join();
    EXPECT_EQ(answered, kRounds);
    EXPECT_EQ(handled.load(), kRounds);
}

}  // namespace
}  // namespace sextara::platform
