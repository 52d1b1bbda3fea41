#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <random>
#include <stop_token>
#include <string>
#include <string_view>

#include "corrections/CasterSession.h"
#include "corrections/LinkState.h"
#include "corrections/NtripProtocol.h"
#include "corrections/RetryPolicy.h"

namespace sextara::corrections {

// printf into a std::string (the texts of the log and the status line).
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

SessionTarget TargetOf(const CasterSettings& settings);
// "127.0.0.1:2101", "[::1]:2101": the caster as the texts name it.
std::string CasterText(const CasterSettings& settings);

// Opens the session to the settings' caster. On failure the link's result
// and reason say why, and the log has the reason in words.
CasterSession::Opened OpenCaster(LinkState& link, CasterSession& session, const CasterSettings& settings,
                                 const CasterSession::AddressNotes& notes);

// How a stream ended.
struct StreamEnd {
    bool stopped = false;
    int error = 0;       // the errno behind a receive error (EPROTO for a broken coding), else 0
    std::string reason;  // in words: "connection reset by the caster", "no data for 14 s"
    std::chrono::milliseconds deliveredFor{0};
};

// Moves one connection's stream into the receiver as fast as the caster
// sends it: after data it reads again at once, and only an empty socket is
// waited on (in poll(), so a byte is passed on the moment it arrives). The
// pause after a wait without data stays, as does the rule that twelve such
// waits in a row end the connection. With a GGA reporter the position goes
// to the caster on its cadence.
class StreamPump {
public:
    static constexpr std::size_t kReadBytes = 16384;
    static constexpr int kEmptyReceivesTolerated = 11;
    static constexpr std::chrono::milliseconds kPauseAfterEmpty{200};
    static constexpr std::chrono::milliseconds kPauseAfterFirstGga{100};

    StreamPump(LinkState& link, CasterSession& session, const std::stop_token& stop)
        : link_(link), session_(session), stop_(stop) {}

    // pending: stream bytes that came in with the reply; chunked: the coding
    // to undo, or null.
    StreamEnd Run(std::string_view pending, ChunkedDecoder* chunked, bool sendGga);

private:
    // False on a broken chunk coding: nothing behind the break is passed on.
    bool Pass(const std::uint8_t* bytes, std::size_t count, ChunkedDecoder* chunked);
    // False when the caster can no longer be written to.
    bool SendGga(bool first);

    LinkState& link_;
    CasterSession& session_;
    const std::stop_token& stop_;
    std::optional<platform::Clock::TimePoint> firstData_, lastData_;
};

// The waits between attempts, with their jitter drawn here.
class RetrySchedule {
public:
    RetrySchedule() : random_(std::random_device{}()) {}
    void Record(std::chrono::milliseconds deliveredFor) { history_.Record(deliveredFor); }
    std::chrono::milliseconds Next() { return RetryDelay(history_, jitter_(random_)); }
    bool Worked(std::chrono::milliseconds deliveredFor) const { return deliveredFor >= RetryPolicy::kWorkedFor; }

private:
    RetryHistory history_;
    std::mt19937 random_;
    std::uniform_real_distribution<double> jitter_{-1.0, 1.0};
};

// The NTRIP client: connect, request the mount point, stream; after a drop
// or a failure the next attempt on the retry schedule, until stopped or
// kMaxRetriesInARow attempts have failed. Wrong credentials, a mount point
// the caster does not have and a refused certificate are not retried: the
// job ends with the cause in view.
class NtripJob {
public:
    // After this many reconnections in a row without a connection that
    // worked, the job gives up.
    static constexpr int kMaxRetriesInARow = 1000;

    explicit NtripJob(LinkState& link) : link_(link) {}
    void Run(std::stop_token stop);

private:
    struct Outcome {
        bool stopped = false;
        bool final = false;
        std::chrono::milliseconds deliveredFor{0};
    };
    Outcome Attempt(CasterSession& session, const std::stop_token& stop);
    Outcome ReadReplyAndStream(CasterSession& session, const CasterSettings& settings, const std::stop_token& stop);
    Outcome Refused(bool final);
    void ReportDrop(const StreamEnd& end);

    LinkState& link_;
};

// The plain TCP client: no request, no reply; after a drop it connects
// again on the retry schedule until stopped. A server that is down at Start
// ends the job at once.
class TcpJob {
public:
    explicit TcpJob(LinkState& link) : link_(link) {}
    void Run(std::stop_token stop);

private:
    bool Connect(CasterSession& session);
    // Connects again after a drop; false when stopped first.
    bool Reconnect(CasterSession& session, RetrySchedule& schedule, int& attempt, const std::stop_token& stop);

    LinkState& link_;
};

// The source table update: the caster's whole table (up to 8 MB, within 30 s),
// stored in "SourceTable.dat" and parsed. A failed update keeps the table.
class SourceTableJob {
public:
    static constexpr std::chrono::seconds kOverallTimeout{30};
    // A caster silent this many receive waits in a row has failed the update.
    static constexpr int kSilentWaits = 15;

    explicit SourceTableJob(LinkState& link) : link_(link) {}
    void Run(std::stop_token stop);

private:
    // True with the reply and, when it is not whole, why.
    bool Fetch(CasterSession& session, const std::stop_token& stop, std::string& raw, std::string& cutNote);

    LinkState& link_;
};

}  // namespace sextara::corrections
