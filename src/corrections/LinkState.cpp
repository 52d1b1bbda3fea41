#include "corrections/LinkState.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace sextara::corrections {

LinkState::LinkState(platform::LogFunction log, platform::Clock& clock, StateSource currentState)
    : log_(std::move(log)), clock_(clock), stateSource_(std::move(currentState)) {}

void LinkState::Log(const char* format, ...) {
    if (!log_) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    log_(text);
}

CasterSettings LinkState::Settings() const {
    std::lock_guard<std::mutex> hold(textLock_);
    return settings_;
}

void LinkState::SetSettings(const CasterSettings& settings) {
    std::lock_guard<std::mutex> hold(textLock_);
    settings_ = settings;
}

void LinkState::SetStatus(std::string text) {
    std::lock_guard<std::mutex> hold(textLock_);
    status_ = std::move(text);
}

std::string LinkState::Status() const {
    std::lock_guard<std::mutex> hold(textLock_);
    return status_;
}

void LinkState::SetResult(ConnectResult result, std::string reason) {
    result_ = result;
    std::lock_guard<std::mutex> hold(textLock_);
    reason_ = std::move(reason);
}

std::string LinkState::Reason() const {
    std::lock_guard<std::mutex> hold(textLock_);
    return reason_;
}

void LinkState::SetLastError(std::string text) {
    std::lock_guard<std::mutex> hold(textLock_);
    lastError_ = std::move(text);
}

std::string LinkState::LastError() const {
    std::lock_guard<std::mutex> hold(textLock_);
    return lastError_;
}

void LinkState::SetNotifyTarget(platform::MessageSink* target) {
    std::lock_guard<std::mutex> hold(notifyLock_);
    notify_ = target;
}

void LinkState::Post(std::uint32_t message) {
    std::lock_guard<std::mutex> hold(notifyLock_);
    if (notify_ != nullptr) notify_->Post({message, 0, 0, {}});
}

void LinkState::JobStarted(JobKind job) {
    kind = job;
    bytesReceived_ = 0;
    jobBytes_ = 0;
    connects_ = 0;
    health_.Reset();
    SetLastError({});
}

void LinkState::ConnectionUp() {
    ++connects_;
    deliveredAtConnect_ = delivered_.load();
    health_.Reset();
}

void LinkState::Deliver(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0) return;
    const bool tcp = kind.load() == JobKind::Tcp;
    {
        std::lock_guard<std::mutex> hold(queueLock_);
        const std::size_t limit = tcp ? kTcpQueueLimit : kNtripQueueLimit;
        const std::size_t trim = tcp ? kTcpQueueTrim : kNtripQueueTrim;
        // The queue only feeds a counter: past its bound the oldest bytes go,
        // and a piece larger than one receive of 1024 keeps it at that bound.
        if (queue_.size() > limit) queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(trim));
        queue_.insert(queue_.end(), bytes, bytes + count);
        if (queue_.size() > limit + trim) {
            queue_.erase(queue_.begin(), queue_.end() - static_cast<long>(limit + trim));
        }
    }
    if (ByteSink* port = receiverPort_.load()) {
        port->Write(bytes, static_cast<std::uint32_t>(count));
    }
    bytesReceived_ += static_cast<std::uint32_t>(count);
    jobBytes_ += count;
    delivered_ += count;
    health_.Feed(bytes, count, clock_.Now());
}

std::size_t LinkState::DrainReceived(std::uint8_t* buffer, std::size_t maximum) {
    std::lock_guard<std::mutex> hold(queueLock_);
    const std::size_t count = std::min(maximum, queue_.size());
    std::copy_n(queue_.begin(), count, buffer);
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(count));
    return count;
}

}  // namespace sextara::corrections
