#include <cerrno>

#include "corrections/LinkJobs.h"
#include "corrections/SourceTable.h"
#include "platform/Debug.h"
#include "platform/Messages.h"

namespace sextara::corrections {

void SourceTableJob::Run(std::stop_token stop) {
    CasterSession session;
    const std::stop_callback wake(stop, [&session] { session.Interrupt(); });
    link_.Log("Start Update SourceTable.");
    std::string raw;
    std::string cutNote;
    const bool fetched = Fetch(session, stop, raw, cutNote);
    session.Close();
    if (stop.stop_requested()) return;
    if (fetched) {
        const std::size_t length = raw.size();
        link_.Table().Store(std::move(raw), cutNote);
        link_.Log("Finish Update. %d byte.", static_cast<int>(length));
        if (!cutNote.empty()) link_.Log("SourceTable cut: %s", cutNote.c_str());
        link_.running = false;
        link_.active = false;
        link_.SetStatus("Update SourceTable Successfully.");
        link_.Post(platform::MSG_SOURCETABLE_DONE);
        SEXTARA_DEBUG("Update SourceTable Finish.\n");
    } else {
        link_.SetLastError(link_.Reason());
        link_.running = false;
        link_.active = false;
        link_.SetStatus("Update SourceTable Failed.");
        link_.Post(platform::MSG_SOURCETABLE_FAILED);
    }
}

bool SourceTableJob::Fetch(CasterSession& session, const std::stop_token& stop, std::string& raw,
                           std::string& cutNote) {
    link_.SetResult(ConnectResult::None);
    const CasterSettings settings = link_.Settings();
    const std::uint16_t port = EffectivePort(settings);
    CasterSession::AddressNotes notes;
    notes.trying = [&](const CasterEndpoint& endpoint) {
        link_.Log(IsAddressLiteral(settings.casterAddress) ? "IP:%s,Port:%d" : "Use domain IP:%s,Port:%d",
                  endpoint.text.c_str(), port);
    };
    notes.failed = [&](const CasterEndpoint&, int error) {
        link_.Log("SOCKET Connect Err: %d\n Update SourceTable failed!", error);
    };
    if (OpenCaster(link_, session, settings, notes) != CasterSession::Opened::Ok) return false;
    if (!session.Send(ComposeSourceTableRequest(HostHeaderName(settings.casterAddress)))) {
        link_.SetResult(ConnectResult::None, "Can't send the source table request");
        return false;
    }
    SourceTableReceiver receiver;
    std::uint8_t buffer[StreamPump::kReadBytes];
    const auto deadline = link_.Clock().Now() + kOverallTimeout;
    int silentWaits = 0;
    bool done = false;
    while (!done && !stop.stop_requested()) {
        if (link_.Clock().Now() >= deadline) {
            cutNote = "no end of the table after 30 s";
            break;
        }
        std::size_t got = 0;
        switch (session.Receive(buffer, sizeof buffer, link_.ReceiveTimeout(), got)) {
            case CasterSession::Io::Data:
                silentWaits = 0;
                done = receiver.Feed(buffer, got);
                break;
            case CasterSession::Io::Closed:
                receiver.Closed();
                done = true;
                break;
            case CasterSession::Io::TimedOut:
                if (++silentWaits < kSilentWaits) break;
                link_.Log("Recv SourceTable Err: %d", ETIMEDOUT);
                link_.SetResult(ConnectResult::None, "No source table from the caster");
                return false;
            case CasterSession::Io::Error:
                link_.Log("Recv SourceTable Err: %d (%s)", session.FailureCode(), session.FailureText().c_str());
                link_.SetResult(ConnectResult::None, "Receive Data Error: " + session.FailureText());
                return false;
            case CasterSession::Io::Interrupted: return false;
        }
    }
    if (stop.stop_requested()) return false;
    if (!done) receiver.Closed();
    if (!receiver.IsSourceTable()) {
        // A refusal or an error page must not replace the table we have.
        const std::string_view first = reply::FirstLine(receiver.Stored());
        link_.Log("Not a SourceTable: %s", std::string(first.empty() ? "(no reply)" : first.substr(0, 255)).c_str());
        ConnectResult result = ClassifyRejection(receiver.Stored().substr(0, 256));
        if (result == ConnectResult::None) result = ConnectResult::UnexpectedReply;
        link_.SetResult(result, cutNote.empty() ? "Not a source table" : "No source table within 30 s");
        return false;
    }
    if (receiver.Cut()) cutNote = "it reached 8 MB before its end";
    if (receiver.SawEndMarker()) SEXTARA_DEBUG("Find SourceTable \n");
    raw = receiver.Stored();
    return true;
}

}  // namespace sextara::corrections
