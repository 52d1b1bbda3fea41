#include <cerrno>

#include "corrections/LinkJobs.h"
#include "platform/Messages.h"

namespace sextara::corrections {
namespace {

// A caster that has not told a stream from a refusal by then has failed the attempt.
constexpr std::chrono::seconds kReplyTimeout{20};

// Reply text for the event log: one line, control bytes shown as blanks.
std::string LogText(std::string_view text) {
    std::string line(text.substr(0, 255));
    for (char& c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) c = ' ';
    }
    return line;
}

bool NotRetried(ConnectResult result) {
    return result == ConnectResult::BadPassword || result == ConnectResult::Unauthorized ||
           result == ConnectResult::MountNotFound || result == ConnectResult::CertificateRefused;
}

}  // namespace

void NtripJob::Run(std::stop_token stop) {
    CasterSession session;
    const std::stop_callback wake(stop, [&session] { session.Interrupt(); });
    // The cause stays in view; nothing will change it but the user. Idle
    // before the page hears of it, so that it finds the link so.
    const auto endForGood = [this] {
        link_.active = false;
        link_.Post(platform::MSG_LINK_DOWN);
    };
    RetrySchedule schedule;
    int retry = 0;
    while (!stop.stop_requested()) {
        link_.running = true;
        const Outcome outcome = Attempt(session, stop);
        link_.running = false;
        session.Close();
        if (outcome.stopped || stop.stop_requested()) break;
        if (outcome.final) return endForGood();
        schedule.Record(outcome.deliveredFor);
        if (schedule.Worked(outcome.deliveredFor)) retry = 0;
        const std::string reason = link_.Status();
        if (retry >= kMaxRetriesInARow) {
            // Days of waits of up to 300 s: nothing is coming back by itself.
            link_.Log("Reach the max times, Ntrip Check Thread Stop!");
            link_.SetLastError(Printf("Gave up on mount point %s after %d attempts in a row (%s)",
                                      link_.Settings().mountPoint.c_str(), retry + 1, reason.c_str()));
            link_.SetStatus(link_.LastError());
            return endForGood();
        }
        const auto wait = schedule.Next();
        ++retry;
        link_.SetStatus(Printf("Reconnect the server, Times %d in %.1f s (%s)", retry,
                               std::chrono::duration<double>(wait).count(), reason.c_str()));
        link_.Log("Reconnect the server, Times %d\r\n", retry);
        link_.Post(platform::MSG_LINK_STATUS);
        if (!link_.Clock().SleepUnlessStopped(wait, stop)) break;
    }
}

NtripJob::Outcome NtripJob::Refused(bool final) {
    link_.Log("iKarst Connect unsuccessfully!");
    link_.SetStatus("Connect Server unsuccessfully!");
    std::string status;
    switch (link_.Result()) {
        case ConnectResult::BadPassword:
            link_.Log("ERROR - Bad Password:");
            status = "ERROR - Bad Password!";
            break;
        case ConnectResult::Unauthorized:
            link_.Log("Unauthorized.");
            status = "Unauthorized!";
            break;
        default:
            link_.Log("Don't Receive ICY 200 OK");
            status = link_.Reason().empty() ? std::string("Don't Receive ICY 200 OK") : link_.Reason();
            break;
    }
    final = final || NotRetried(link_.Result());
    // What ends the job for good names the mount point it was for.
    const std::string mount = link_.Settings().mountPoint;
    const bool named = status.find(mount) != std::string::npos;
    link_.SetLastError(final && !named ? status + " (mount point " + mount + ")" : status);
    link_.SetStatus(status);
    link_.Post(platform::MSG_LINK_STATUS);
    return {false, final, {}};
}

NtripJob::Outcome NtripJob::Attempt(CasterSession& session, const std::stop_token& stop) {
    link_.SetResult(ConnectResult::None);
    link_.SetStatus("Begin to Connect, init socket, pls wait ...");
    const CasterSettings settings = link_.Settings();
    const auto request = ComposeNtripRequest(settings.mountPoint, HostHeaderName(settings.casterAddress),
                                             settings.user, settings.password);
    if (!request) {
        link_.Log("Caster settings too long for the request!");
        link_.SetResult(ConnectResult::None, "Caster settings are too long for the request!");
        return Refused(true);
    }
    CasterSession::AddressNotes notes;
    notes.trying = [&](const CasterEndpoint& endpoint) {
        // The password never goes to the event log.
        const bool literal = IsAddressLiteral(settings.casterAddress);
        link_.Log(literal ? "IP:%s,Port:%d,User: %s, Psw: %s" : "Use domain IP:%s,Port:%d,User: %s, Psw: %s",
                  endpoint.text.c_str(), EffectivePort(settings), settings.user.c_str(), "***");
    };
    notes.failed = [&](const CasterEndpoint&, int error) {
        link_.Log("Socket Connect Error, ErrCode: %d (%s)", error, SocketErrorText(error).c_str());
    };
    const CasterSession::Opened opened = OpenCaster(link_, session, settings, notes);
    if (opened == CasterSession::Opened::Interrupted) return {true, false, {}};
    if (opened != CasterSession::Opened::Ok) {
        if (opened == CasterSession::Opened::TlsRefused) {
            link_.SetResult(ConnectResult::CertificateRefused,
                            session.FailureText() + " (" + CasterText(settings) + ", mount point " +
                                settings.mountPoint + ")");
        }
        return Refused(false);
    }
    // In one write: some casters refuse a request whose lines arrive apart.
    if (!session.Send(*request)) {
        link_.Log("Error code: %d", errno);
        link_.SetResult(ConnectResult::None, "Can't send the request: " + SocketErrorText(errno));
        return Refused(false);
    }
    return ReadReplyAndStream(session, settings, stop);
}

NtripJob::Outcome NtripJob::ReadReplyAndStream(CasterSession& session, const CasterSettings& settings,
                                               const std::stop_token& stop) {
    NtripReplyReader reader;
    std::uint8_t buffer[256];
    const auto deadline = link_.Clock().Now() + kReplyTimeout;
    while (reader.CurrentOutcome() == NtripReplyReader::Outcome::NeedMore) {
        std::size_t got = 0;
        switch (session.Receive(buffer, sizeof buffer, link_.ReceiveTimeout(), got)) {
            case CasterSession::Io::Data: reader.Feed(buffer, got); break;
            case CasterSession::Io::Closed: reader.Closed(); break;
            case CasterSession::Io::TimedOut:
                if (link_.Clock().Now() < deadline) break;
                link_.SetResult(ConnectResult::None, "No reply from the caster");
                return Refused(false);
            case CasterSession::Io::Error:
                link_.Log("Error code: %d (%s)", session.FailureCode(), session.FailureText().c_str());
                link_.SetResult(ConnectResult::None, "Receive Data Error: " + session.FailureText());
                return Refused(false);
            case CasterSession::Io::Interrupted: return {true, false, {}};
        }
    }
    if (reader.CurrentOutcome() != NtripReplyReader::Outcome::Accepted) {
        link_.Log("%s", LogText(reader.HeaderText()).c_str());
        link_.SetResult(reader.Result(), reader.Result() == ConnectResult::MountNotFound
                                             ? "Mount point " + settings.mountPoint + " is not on the caster!"
                                             : std::string());
        return Refused(false);
    }
    session.Send(link_.Gga().Sentence());
    link_.Log("iKarst Connect Successfully.");
    link_.SetStatus("Connect Server Successfully!");
    link_.ConnectionUp();
    link_.Post(platform::MSG_LINK_UP);
    ChunkedDecoder decoder;
    StreamPump pump(link_, session, stop);
    const StreamEnd end = pump.Run(reader.StreamBytes(), reader.Chunked() ? &decoder : nullptr, true);
    if (!end.stopped) ReportDrop(end);
    return {end.stopped, false, end.deliveredFor};
}

void NtripJob::ReportDrop(const StreamEnd& end) {
    std::string status;
    if (end.error != 0) {
        link_.Log("Receive Data Error, Code: %d (%s)", end.error, end.reason.c_str());
        status = "Receive Data Error: " + end.reason;
    } else if (end.reason.rfind("no data", 0) == 0) {
        link_.Log("Receive No Data !");
        status = "Receive No Data ! (" + end.reason + ")";
    } else {
        link_.Log("Receive ended: %s", end.reason.c_str());
        status = "Receive ended: " + end.reason;
    }
    link_.SetLastError(status);
    link_.SetStatus(status);
    link_.Post(platform::MSG_LINK_STATUS);
}

}  // namespace sextara::corrections
