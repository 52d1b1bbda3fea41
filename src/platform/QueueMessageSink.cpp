#include "platform/QueueMessageSink.h"

#include <utility>

namespace sextara::platform {

QueueMessageSink::QueueMessageSink(Handler handler) : handler_(std::move(handler)) {}

QueueMessageSink::~QueueMessageSink() {
    Shutdown();
}

void QueueMessageSink::Send(Message m) {
    if (receiver_.load() == std::this_thread::get_id()) {
        if (!IsShutDown()) {
            handler_(m);
        }
        return;
    }
    bool handled = false;
    std::unique_lock<std::mutex> lock(lock_);
    if (shutDown_) {
        return;
    }
    queue_.push_back(Entry{std::move(m), &handled});
    arrived_.notify_one();
    if (arrivalWake_ != nullptr) arrivalWake_->Notify();
    handled_.wait(lock, [&] { return handled || (shutDown_ && inProgress_ != &handled); });
}

void QueueMessageSink::Post(Message m) {
    std::lock_guard<std::mutex> guard(lock_);
    if (shutDown_) {
        return;
    }
    queue_.push_back(Entry{std::move(m), nullptr});
    arrived_.notify_one();
    if (arrivalWake_ != nullptr) arrivalWake_->Notify();
}

std::size_t QueueMessageSink::DispatchQueued(std::unique_lock<std::mutex>& lock) {
    receiver_.store(std::this_thread::get_id());
    std::size_t count = 0;
    // Only what was queued on entry: a handler that posts to its own sink
    // does not keep this call running for ever.
    std::size_t budget = queue_.size();
    while (budget-- > 0 && !queue_.empty() && !shutDown_) {
        const Entry entry = std::move(queue_.front());
        queue_.pop_front();
        inProgress_ = entry.handled;
        lock.unlock();
        handler_(entry.message);
        lock.lock();
        inProgress_ = nullptr;
        if (entry.handled != nullptr) {
            *entry.handled = true;
        }
        handled_.notify_all();
        ++count;
    }
    return count;
}

std::size_t QueueMessageSink::Pump() {
    std::unique_lock<std::mutex> lock(lock_);
    return DispatchQueued(lock);
}

std::size_t QueueMessageSink::WaitAndDispatch(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(lock_);
    receiver_.store(std::this_thread::get_id());
    // On the monotonic clock: setting the system time from the receiver may
    // step the wall clock by hours.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    arrived_.wait_until(lock, deadline, [&] { return !queue_.empty() || shutDown_; });
    return DispatchQueued(lock);
}

void QueueMessageSink::SetArrivalWake(const WakeFd* wake) {
    std::lock_guard<std::mutex> guard(lock_);
    arrivalWake_ = wake;
}

void QueueMessageSink::Shutdown() {
    std::lock_guard<std::mutex> guard(lock_);
    shutDown_ = true;
    queue_.clear();
    arrived_.notify_all();
    handled_.notify_all();
}

bool QueueMessageSink::IsShutDown() const {
    std::lock_guard<std::mutex> guard(lock_);
    return shutDown_;
}

std::size_t QueueMessageSink::Pending() const {
    std::lock_guard<std::mutex> guard(lock_);
    return queue_.size();
}

}  // namespace sextara::platform
