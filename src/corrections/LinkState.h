#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "corrections/CasterSettings.h"
#include "corrections/GgaReporter.h"
#include "corrections/HealthMeter.h"
#include "corrections/NtripProtocol.h"
#include "corrections/SourceTableCache.h"
#include "decode/ByteSink.h"
#include "decode/GnssState.h"
#include "platform/Clock.h"
#include "platform/LogFunction.h"
#include "platform/MessageSink.h"

namespace sextara::corrections {

// Which job holds the link; the received-byte queue is bounded per kind.
enum class JobKind { None, Ntrip, Tcp, SourceTable };

// What the correction link's jobs and its face share: settings, status,
// the outcome of the last attempt, the flags the page reads, the GGA, the
// source table, and the way into the receiver. Every member is safe to use
// from the job's thread and the page's at once.
class LinkState {
public:
    using StateSource = std::function<GnssState()>;

    // The Part's queue bounds: more than limit queued drops the oldest trim.
    static constexpr std::size_t kNtripQueueLimit = 2048, kNtripQueueTrim = 1024;
    static constexpr std::size_t kTcpQueueLimit = 8192, kTcpQueueTrim = 4096;
    static constexpr std::chrono::milliseconds kDefaultReceiveTimeout{1000};

    LinkState(platform::LogFunction log, platform::Clock& clock, StateSource currentState);

    platform::Clock& Clock() { return clock_; }
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    const platform::LogFunction& LogFunction() const { return log_; }

    CasterSettings Settings() const;
    void SetSettings(const CasterSettings& settings);
    GnssState CurrentState() const { return stateSource_ ? stateSource_() : GnssState{}; }
    bool HasStateSource() const { return static_cast<bool>(stateSource_); }
    GgaReporter& Gga() { return gga_; }
    const GgaReporter& Gga() const { return gga_; }
    SourceTableCache& Table() { return table_; }
    const SourceTableCache& Table() const { return table_; }

    void SetStatus(std::string text);
    std::string Status() const;
    // The last attempt's outcome; reason in words when the result alone does not say.
    void SetResult(ConnectResult result, std::string reason = {});
    ConnectResult Result() const { return result_.load(); }
    std::string Reason() const;
    // The last failure or drop of the running job, in words; empty after a Start.
    void SetLastError(std::string text);
    std::string LastError() const;

    void SetNotifyTarget(platform::MessageSink* target);
    void Post(std::uint32_t message);

    std::atomic<bool> running{false};
    std::atomic<bool> active{false};
    std::atomic<bool> streaming{false};  // a connection's stream is being read
    std::atomic<JobKind> kind{JobKind::None};

    void SetReceiverPort(ByteSink* port) { receiverPort_ = port; }
    void SetReceiveTimeout(std::chrono::milliseconds timeout) { receiveTimeoutMs_ = timeout.count(); }
    std::chrono::milliseconds ReceiveTimeout() const { return std::chrono::milliseconds(receiveTimeoutMs_.load()); }

    // A job starts: counters of the job back to 0.
    void JobStarted(JobKind job);
    // A connection that will deliver corrections is up: the health counts
    // start over.
    void ConnectionUp();
    // One piece of the stream: the received-byte queue (trimmed), the
    // receiver port, the counters, then the health meter (which reads what
    // already went, and never holds a byte back).
    void Deliver(const std::uint8_t* bytes, std::size_t count);
    std::size_t DrainReceived(std::uint8_t* buffer, std::size_t maximum);
    std::uint32_t BytesReceived() const { return bytesReceived_.load(); }
    std::uint64_t JobBytes() const { return jobBytes_.load(); }
    std::uint64_t DeliveredBytes() const { return delivered_.load(); }
    std::uint64_t DeliveredAtConnect() const { return deliveredAtConnect_.load(); }
    int Connects() const { return connects_.load(); }
    HealthSnapshot Health() const { return health_.Snapshot(clock_.Now()); }

private:
    const platform::LogFunction log_;
    platform::Clock& clock_;
    const StateSource stateSource_;

    mutable std::mutex textLock_;  // settings and texts
    CasterSettings settings_;
    std::string status_;
    std::string reason_;
    std::string lastError_;
    std::atomic<ConnectResult> result_{ConnectResult::None};
    GgaReporter gga_;
    SourceTableCache table_;

    std::mutex notifyLock_;  // held only around a non-blocking post
    platform::MessageSink* notify_ = nullptr;
    std::atomic<ByteSink*> receiverPort_{nullptr};
    std::atomic<std::int64_t> receiveTimeoutMs_{kDefaultReceiveTimeout.count()};

    std::mutex queueLock_;  // guards only the queue, for one trim-and-append or one drain
    std::deque<std::uint8_t> queue_;
    std::atomic<std::uint32_t> bytesReceived_{0};  // of the job, as the Part's 32-bit count
    std::atomic<std::uint64_t> jobBytes_{0};
    std::atomic<std::uint64_t> delivered_{0};  // over the link's life
    std::atomic<std::uint64_t> deliveredAtConnect_{0};
    std::atomic<int> connects_{0};
    HealthMeter health_;
};

}  // namespace sextara::corrections
