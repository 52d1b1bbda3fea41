#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/MessageSink.h"
#include "platform/WakeFd.h"

namespace sextara::platform {

// A MessageSink for a receiving thread that runs its own loop (the window
// thread, the headless runner, a test): workers Post and Send from any thread,
// the receiver calls WaitAndDispatch or Pump, and the handler runs on the
// receiver's thread, in arrival order.
//
// Send waits until the handler has returned. Messages are kept by value while
// they are queued, so a Post may carry a text the worker changes right after.
// A Send from the receiving thread itself calls the handler
// at once, as a window sending to itself would; it cannot wait on its own
// loop. Shutdown drops what is queued and releases every waiting Send, so a
// worker never hangs on a receiver that has stopped; from then on Send and
// Post do nothing.
class QueueMessageSink final : public MessageSink {
public:
    using Handler = std::function<void(const Message&)>;

    explicit QueueMessageSink(Handler handler);
    ~QueueMessageSink() override;
    QueueMessageSink(const QueueMessageSink&) = delete;
    QueueMessageSink& operator=(const QueueMessageSink&) = delete;

    void Send(Message m) override;
    void Post(Message m) override;

    // Handles every message queued now; returns how many.
    std::size_t Pump();
    // Waits up to timeout for a first message, then handles all that are
    // queued; returns how many (0 after a time-out or a shutdown).
    std::size_t WaitAndDispatch(std::chrono::milliseconds timeout);

    // Notifies `wake` (null: none) each time a message is queued, so that a
    // receiver that also waits for other things (a signal, its next tick)
    // sleeps in one poll on one descriptor: it waits on `wake`, resets it,
    // then calls Pump.
    void SetArrivalWake(const WakeFd* wake);

    void Shutdown();
    bool IsShutDown() const;
    // Messages waiting to be handled.
    std::size_t Pending() const;

private:
    struct Entry {
        Message message;
        // Set for a Send: the sender waits until this turns true.
        bool* handled = nullptr;
    };

    std::size_t DispatchQueued(std::unique_lock<std::mutex>& lock);

    Handler handler_;
    mutable std::mutex lock_;
    std::condition_variable arrived_;
    std::condition_variable handled_;
    std::deque<Entry> queue_;
    const WakeFd* arrivalWake_ = nullptr;
    bool shutDown_ = false;
    // The Send being handled right now, if any: a shutdown does not release
    // its sender before the handler is done with the sender's memory.
    bool* inProgress_ = nullptr;
    std::atomic<std::thread::id> receiver_{};
};

}  // namespace sextara::platform
