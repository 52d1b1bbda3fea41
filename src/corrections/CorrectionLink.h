#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "corrections/CasterSettings.h"
#include "corrections/LinkState.h"
#include "corrections/NtripProtocol.h"
#include "corrections/SourceTable.h"
#include "decode/ByteSink.h"
#include "decode/GnssState.h"
#include "platform/Clock.h"
#include "platform/LogFunction.h"
#include "platform/MessageSink.h"
#include "platform/RegistryStore.h"

namespace sextara::corrections {

// How the corrections are doing, for the page's health box and the
// headless runner's JSON.
struct LinkHealth {
    // "idle", "connecting", "connected", "waiting" (for the next attempt),
    // "sourcetable" (an update runs)
    std::string state;
    std::string status;  // the status line
    std::uint64_t bytes = 0;  // correction bytes of the job, behind the caster's reply header
    HealthSnapshot stream;    // of the current connection
    std::optional<double> baselineKm;  // from the receiver's fix to the base, when both are known
    int connects = 0;         // connections the job made
    std::string lastError;    // the job's last failure or drop in words; empty when none
};

// The correction client as the pages and the application see it: the NTRIP
// client, the plain TCP client and the source table update, one at a time,
// each a job on one thread (LinkJobs.h). Every received correction byte goes
// to the receiver port as it arrives, is counted, and is kept in a bounded
// queue; the jobs report through the status text and posted messages
// (MSG_SOURCETABLE_DONE .. MSG_LINK_STATUS).
//
// A job is stopped, never killed: its stop token is set, which interrupts
// the socket (a connect, handshake or receive in progress returns at once)
// and ends its pauses, and the thread is joined. No lock is held while a
// thread blocks or writes to the receiver port.
class CorrectionLink {
public:
    using StateSource = LinkState::StateSource;
    static constexpr std::chrono::milliseconds kDefaultReceiveTimeout = LinkState::kDefaultReceiveTimeout;

    CorrectionLink(platform::RegistryStore& settingsStore, platform::LogFunction log,
                   platform::Clock& clock = platform::SystemClock(), StateSource currentState = {});
    // Stops whatever runs.
    ~CorrectionLink();
    CorrectionLink(const CorrectionLink&) = delete;
    CorrectionLink& operator=(const CorrectionLink&) = delete;

    // Wiring. The receiver port and the notify target may change at any time;
    // after SetNotifyTarget returns, the old target receives nothing more.
    // A port that should not take bytes while closed is given as a sink that
    // drops them.
    void SetReceiverPort(ByteSink* port) { state_.SetReceiverPort(port); }
    void SetNotifyTarget(platform::MessageSink* target) { state_.SetNotifyTarget(target); }
    // The longest wait for bytes before an empty pass (1000 ms); tests shorten it.
    void SetReceiveTimeout(std::chrono::milliseconds timeout) { state_.SetReceiveTimeout(timeout); }

    // Settings, kept under "software\\GPS\\GPS" of the settings store.
    CasterSettings Settings() const { return state_.Settings(); }
    void SetSettings(const CasterSettings& settings) { state_.SetSettings(settings); }
    bool LoadCasterSettings();
    bool SaveCasterSettings();
    // The start-up load: the settings, then "SourceTable.dat" from the data folder.
    bool LoadSourceTableFile();
    std::size_t ParseSourceTable() { return state_.Table().Parse(); }
    std::vector<SourceTableEntry> Entries() const;
    std::string RawSourceTable() const;
    // Why the table last fetched is not whole, or empty.
    std::string SourceTableCutNote() const;

    // The GGA sentence sent to the caster: built once per Start from the state
    // source (or the typed position when chosen).
    void BuildGga();
    void SetGgaSentence(std::string sentence) { state_.Gga().SetSentence(std::move(sentence)); }
    std::string GgaSentence() const;
    // With resendCurrentPosition and a fix, rebuilds the sentence from the
    // receiver's position of the moment; otherwise leaves it as built at Start.
    void RefreshGgaPosition();
    // True when a GGA can be built: the typed position is chosen or the
    // receiver has a fix.
    bool HasPositionForGga() const;

    // Starts; false (and nothing started) while another job is active.
    // StartNtrip builds the GGA sentence first.
    bool StartNtrip(platform::MessageSink* notify);
    bool StartTcp(platform::MessageSink* notify);
    bool StartSourceTableUpdate(platform::MessageSink* notify);
    void StopLink();
    // Moves up to maximum queued bytes, oldest first, into buffer.
    std::size_t DrainReceived(std::uint8_t* buffer, std::size_t maximum) {
        return state_.DrainReceived(buffer, maximum);
    }

    bool Running() const { return state_.running.load(); }
    bool Active() const { return state_.active.load(); }
    // An NTRIP or TCP job is active: its corrections own the receiver's port.
    bool DeliversToReceiver() const;
    ConnectResult LastResult() const { return state_.Result(); }
    std::string StatusText() const { return state_.Status(); }
    // Bytes of the running job (the Part's 32-bit count).
    std::uint32_t BytesReceived() const { return state_.BytesReceived(); }
    // Every byte passed to the receiver over the link's life, and the count
    // when the last connection came up: the page's counter is their difference.
    std::uint64_t DeliveredBytes() const { return state_.DeliveredBytes(); }
    std::uint64_t DeliveredAtConnect() const { return state_.DeliveredAtConnect(); }
    // The running job's last failure or drop in words; empty when none.
    std::string LastError() const { return state_.LastError(); }
    int Connects() const { return state_.Connects(); }
    LinkHealth Health() const;

private:
    bool Launch(platform::MessageSink* notify, bool withGga, const char* status, JobKind kind,
                std::function<void(std::stop_token)> body);

    platform::RegistryStore& store_;
    LinkState state_;
    std::mutex controlLock_;  // serialises Start and Stop
    std::jthread thread_;
};

}  // namespace sextara::corrections
