#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace sextara::platform {

namespace detail {
// One blocked wait, registered with every event it waits for so that a Set
// on any of them can wake it.
struct EventWaiter {
    std::mutex mutex;
    std::condition_variable wake;
    bool notified = false;
};
}  // namespace detail

class EventWaitAccess;

// Auto-reset event: Set leaves it signalled until exactly one wait takes the
// signal, which resets it. Setting it twice before a wait still wakes only
// one wait. Safe to use from any thread.
class Event {
public:
    Event() = default;
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // True when the signal was taken, false when the time-out passed first.
    // A zero time-out only tests (and takes) the signal.
    bool Wait(std::chrono::milliseconds timeout);
    void Wait();

private:
    friend class EventWaitAccess;

    // Takes the signal when set; otherwise registers the waiter (once).
    bool TakeOrRegister(detail::EventWaiter* waiter);
    void Unregister(detail::EventWaiter* waiter);

    std::mutex mutex_;
    bool signalled_ = false;
    std::vector<detail::EventWaiter*> waiters_;
};

constexpr int kWaitTimedOut = -1;

// Waits until either event is set and takes its signal: 0 for `first`, 1 for
// `second`, kWaitTimedOut when the time-out passed. When both are set,
// `first` wins and `second` stays set for the next wait. No time-out waits
// for ever.
int WaitAny(Event& first, Event& second, std::optional<std::chrono::milliseconds> timeout = std::nullopt);

}  // namespace sextara::platform
