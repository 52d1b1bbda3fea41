#pragma once

#include <chrono>

namespace sextara::platform {

// An eventfd that any thread, or a signal handler, makes readable: how a
// poll() on a line, or a loop that sleeps until its next tick, is ended at
// once without waking on a short timer to look at a flag. Once notified it
// stays readable until Reset.
class WakeFd {
public:
    WakeFd();
    ~WakeFd();
    WakeFd(const WakeFd&) = delete;
    WakeFd& operator=(const WakeFd&) = delete;

    // False when no descriptor could be made; Notify and the waits then do
    // nothing and Wait returns at once.
    bool Ok() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    // Async-signal-safe: one write(2).
    void Notify() const noexcept;
    bool Notified() const;
    // Sleeps until notified or the deadline passes; true when notified.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) const;
    void Reset();

private:
    int fd_ = -1;
};

}  // namespace sextara::platform
