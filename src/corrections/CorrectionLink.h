#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corrections/CasterSettings.h"
#include "corrections/LinkSocket.h"
#include "corrections/NtripProtocol.h"
#include "corrections/SourceTable.h"
#include "decode/ByteSink.h"
#include "decode/GnssState.h"
#include "platform/Clock.h"
#include "platform/LogFunction.h"
#include "platform/MessageSink.h"
#include "platform/RegistryStore.h"

namespace sextara::corrections {

// The correction client: the NTRIP client (a receive thread watched by a
// check thread that restarts it), the plain TCP client (a receive thread
// alone) and the source table update. One runs at a time. Every received
// correction byte goes to the receiver port and into a bounded queue that
// the page drains to count bytes; the threads report through the status
// text and posted messages (MSG_SOURCETABLE_DONE .. MSG_LINK_STATUS).
//
// Threads are stopped, never killed: the flag is cleared, the socket is
// interrupted (a connect or receive in progress returns at once), pauses
// end early, and the thread is joined. No lock is held while a thread
// blocks or writes to the receiver port.
class CorrectionLink {
public:
    using StateSource = std::function<GnssState()>;

    // The NTRIP and TCP constants.
    static constexpr std::size_t kReceiveBufferBytes = 1024;
    static constexpr std::chrono::milliseconds kPauseAfterChunk{200};
    static constexpr std::chrono::milliseconds kPauseAfterGga{100};
    static constexpr std::chrono::milliseconds kPauseBeforeReconnect{800};
    static constexpr std::chrono::milliseconds kPauseBeforeGivingUp{1000};
    static constexpr std::size_t kNtripQueueLimit = 2048, kNtripQueueTrim = 1024;
    static constexpr std::size_t kTcpQueueLimit = 8192, kTcpQueueTrim = 4096;
    static constexpr int kEmptyReceivesTolerated = 11;
    static constexpr int kReconnectBudget = 3;
    static constexpr int kGgaEveryPasses = 25;
    static constexpr std::chrono::milliseconds kCheckInterval{20000};
    static constexpr std::chrono::milliseconds kPauseBeforeEndingStalled{300};
    static constexpr std::chrono::milliseconds kPauseBeforeRestart{1000};
    static constexpr int kMaxRestarts = 1000;
    static constexpr std::chrono::milliseconds kDefaultReceiveTimeout{1000};

    CorrectionLink(platform::RegistryStore& settingsStore, platform::LogFunction log,
                   platform::Clock& clock = platform::SystemClock(), StateSource currentState = {});
    // Stops whatever runs.
    ~CorrectionLink();
    CorrectionLink(const CorrectionLink&) = delete;
    CorrectionLink& operator=(const CorrectionLink&) = delete;

    // Wiring. The receiver port and the notify target may change at any time;
    // after SetNotifyTarget returns, the old target receives nothing more.
    // Every correction byte is written to the port as it arrives; a port that
    // should not take bytes while closed is given as a sink that drops them.
    void SetReceiverPort(ByteSink* port);
    void SetNotifyTarget(platform::MessageSink* target);
    // The wait of one receive pass (1000 ms); tests shorten it.
    void SetReceiveTimeout(std::chrono::milliseconds timeout);

    // Settings, kept under "software\\GPS\\GPS" of the settings store.
    CasterSettings Settings() const;
    void SetSettings(const CasterSettings& settings);
    bool LoadCasterSettings();
    bool SaveCasterSettings();
    // The start-up load: the settings, then "SourceTable.dat" from the data folder.
    bool LoadSourceTableFile();
    std::size_t ParseSourceTable();
    std::vector<SourceTableEntry> Entries() const;
    std::string RawSourceTable() const;

    // The GGA sentence sent to the caster: built once per Start from the state
    // source (or the typed position when chosen) and re-sent unchanged.
    void BuildGga();
    void SetGgaSentence(std::string sentence);
    std::string GgaSentence() const;
    // With resendCurrentPosition and a fix, rebuilds the sentence from the
    // receiver's position of the moment; otherwise leaves it as built at Start.
    void RefreshGgaPosition();
    // True when a GGA can be built: the typed position is chosen or the
    // receiver has a fix.
    bool HasPositionForGga() const;

    // Starts; false (and nothing started) while another connection is active.
    // StartNtrip builds the GGA sentence first.
    bool StartNtrip(platform::MessageSink* notify);
    bool StartTcp(platform::MessageSink* notify);
    bool StartSourceTableUpdate(platform::MessageSink* notify);
    void StopLink();
    // Moves up to maximum queued bytes, oldest first, into buffer.
    std::size_t DrainReceived(std::uint8_t* buffer, std::size_t maximum);

    // The wire operations, called on the worker threads (public for tests).
    bool NtripConnect();
    bool TcpConnect();
    bool FetchSourceTable();

    bool Running() const { return running_.load(); }
    bool Active() const { return active_.load(); }
    ConnectResult LastResult() const { return lastResult_.load(); }
    std::string StatusText() const;
    std::uint32_t BytesReceived() const { return bytesReceived_.load(); }

private:
    enum class Kind { Ntrip, Tcp };

    void NtripReceiveThread();
    void NtripCheckThread();
    void TcpReceiveThread();
    void SourceTableThread();

    // One small place where the threads reach the page, so that the message
    // form can change without touching the threads.
    void PostToPage(std::uint32_t message);
    void SetStatus(std::string text);
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Pauses through the clock in short steps; false when keepGoing turned
    // false meanwhile (the pause then ends early).
    bool Pause(std::chrono::milliseconds duration, const std::atomic<bool>& keepGoing);
    bool CheckWait(std::chrono::milliseconds duration);

    void SetFailureReason(std::string reason);
    // Records a failed connect with its reason and closes the socket; false.
    bool ConnectFailed(std::string reason);
    // Forgets the last attempt's result and reason before a new one.
    void ResetAttempt();
    bool ConnectTo(const CasterSettings& settings, bool forNtrip);
    void ReportNtripFailure();
    // The status that tells why the last attempt failed.
    std::string FailureStatus() const;
    bool NtripReconnect(int& budget, int& emptyCount);
    // Passes one piece of the stream on: queue (trimmed), receiver port, count.
    void Deliver(const std::uint8_t* bytes, std::size_t count, Kind kind);
    // Undoes the chunk coding of the current connection; false on a broken coding.
    bool DeliverStream(const std::uint8_t* bytes, std::size_t count);
    // Closes the ended link's socket and clears its stop marks for the next one.
    void ReleaseSocket();
    void JoinEnded();
    // Starts a job unless one runs; the check thread is optional.
    bool Launch(platform::MessageSink* notify, bool withGga, const char* status,
                void (CorrectionLink::*receive)(), void (CorrectionLink::*check)() = nullptr);
    void StopReceiveThread();

    platform::RegistryStore& store_;
    const platform::LogFunction log_;
    platform::Clock& clock_;
    const StateSource stateSource_;

    mutable std::mutex settingsLock_;
    CasterSettings settings_;
    std::string gga_;
    std::string raw_;
    std::vector<SourceTableEntry> entries_;
    std::string status_;
    std::string failureReason_;  // why the last NTRIP attempt failed, when the result alone does not say

    std::mutex notifyLock_;  // held only around a non-blocking post
    platform::MessageSink* notify_ = nullptr;
    std::atomic<ByteSink*> receiverPort_{nullptr};
    std::atomic<std::int64_t> receiveTimeoutMs_{kDefaultReceiveTimeout.count()};

    std::mutex queueLock_;  // guards only the queue, for one trim-and-append or one drain
    std::deque<std::uint8_t> queue_;

    LinkSocket socket_;
    std::atomic<bool> running_{false};
    std::atomic<bool> active_{false};
    std::atomic<bool> checkStop_{false};
    std::atomic<bool> giveUp_{false};
    std::atomic<ConnectResult> lastResult_{ConnectResult::None};
    std::atomic<std::uint32_t> bytesReceived_{0};

    // Used by the thread that holds the connection only.
    std::string pendingStream_;
    bool chunked_ = false;
    ChunkedDecoder decoder_;

    // The receive-thread slot belongs to the check thread while it runs, else
    // to the controlling thread.
    std::thread receiveThread_;
    std::thread checkThread_;
    std::mutex controlLock_;  // serialises Start and Stop
};

}  // namespace sextara::corrections
