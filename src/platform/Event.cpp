#include "platform/Event.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

namespace sextara::platform {
namespace {

using Deadline = std::optional<std::chrono::steady_clock::time_point>;

Deadline DeadlineAfter(std::optional<std::chrono::milliseconds> timeout) {
    if (!timeout) return std::nullopt;
    return std::chrono::steady_clock::now() + std::max(*timeout, std::chrono::milliseconds(0));
}

}  // namespace

// Lock order: an event's mutex, then a waiter's. A waiter never takes an
// event's mutex while it holds its own, so Set can notify under its lock and
// a waiter can never be woken after it has left (it unregisters first).
class EventWaitAccess {
public:
    static int WaitFor(std::span<Event* const> events, Deadline deadline) {
        detail::EventWaiter waiter;
        for (;;) {
            for (std::size_t i = 0; i < events.size(); ++i) {
                if (events[i]->TakeOrRegister(&waiter)) {
                    for (Event* event : events) event->Unregister(&waiter);
                    return static_cast<int>(i);
                }
            }
            std::unique_lock<std::mutex> hold(waiter.mutex);
            const auto woken = [&waiter] { return waiter.notified; };
            bool notified = true;
            if (deadline && std::chrono::steady_clock::now() >= *deadline) {
                // A passed deadline (a zero time-out) only tests the events;
                // a timed wait on the condition would still cost a sleep.
                notified = waiter.notified;
            } else if (deadline) {
                notified = waiter.wake.wait_until(hold, *deadline, woken);
            } else {
                waiter.wake.wait(hold, woken);
            }
            waiter.notified = false;
            hold.unlock();
            if (!notified) {
                for (Event* event : events) event->Unregister(&waiter);
                return kWaitTimedOut;
            }
            // Another wait may have taken the signal first; look again.
        }
    }
};

Event::~Event() = default;

void Event::Set() {
    std::lock_guard<std::mutex> hold(mutex_);
    signalled_ = true;
    for (detail::EventWaiter* waiter : waiters_) {
        std::lock_guard<std::mutex> wake(waiter->mutex);
        waiter->notified = true;
        waiter->wake.notify_one();
    }
}

void Event::Reset() {
    std::lock_guard<std::mutex> hold(mutex_);
    signalled_ = false;
}

bool Event::TakeOrRegister(detail::EventWaiter* waiter) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (signalled_) {
        signalled_ = false;
        return true;
    }
    if (std::find(waiters_.begin(), waiters_.end(), waiter) == waiters_.end()) waiters_.push_back(waiter);
    return false;
}

void Event::Unregister(detail::EventWaiter* waiter) {
    std::lock_guard<std::mutex> hold(mutex_);
    waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter), waiters_.end());
}

bool Event::Wait(std::chrono::milliseconds timeout) {
    const std::array<Event*, 1> events{this};
    return EventWaitAccess::WaitFor(events, DeadlineAfter(timeout)) == 0;
}

void Event::Wait() {
    const std::array<Event*, 1> events{this};
    EventWaitAccess::WaitFor(events, std::nullopt);
}

int WaitAny(Event& first, Event& second, std::optional<std::chrono::milliseconds> timeout) {
    const std::array<Event*, 2> events{&first, &second};
    return EventWaitAccess::WaitFor(events, DeadlineAfter(timeout));
}

}  // namespace sextara::platform
