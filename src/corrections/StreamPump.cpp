#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "corrections/LinkJobs.h"

namespace sextara::corrections {

std::string Printf(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

SessionTarget TargetOf(const CasterSettings& settings) {
    return {settings.casterAddress, EffectivePort(settings), settings.useTls, settings.caFile};
}

std::string CasterText(const CasterSettings& settings) {
    return HostHeaderName(settings.casterAddress) + ":" + std::to_string(EffectivePort(settings));
}

CasterSession::Opened OpenCaster(LinkState& link, CasterSession& session, const CasterSettings& settings,
                                 const CasterSession::AddressNotes& notes) {
    const CasterSession::Opened opened = session.Open(TargetOf(settings), notes);
    switch (opened) {
        case CasterSession::Opened::Ok:
        case CasterSession::Opened::Interrupted:
            break;
        case CasterSession::Opened::NotResolved:
            link.Log("Can't resolve caster address %s: %s", settings.casterAddress.c_str(),
                     session.FailureText().c_str());
            link.SetResult(ConnectResult::ConnectFailed, "Can't resolve caster address " + settings.casterAddress);
            break;
        case CasterSession::Opened::ConnectFailed:
            link.SetResult(ConnectResult::ConnectFailed, "Can't connect to " + CasterText(settings));
            break;
        case CasterSession::Opened::TlsFailed:
            link.Log("%s (%s)", session.FailureText().c_str(), CasterText(settings).c_str());
            link.SetResult(ConnectResult::ConnectFailed, session.FailureText());
            break;
        case CasterSession::Opened::TlsRefused:
            link.Log("%s (%s)", session.FailureText().c_str(), CasterText(settings).c_str());
            link.SetResult(ConnectResult::CertificateRefused, session.FailureText());
            break;
    }
    return opened;
}

bool StreamPump::Pass(const std::uint8_t* bytes, std::size_t count, ChunkedDecoder* chunked) {
    if (count == 0) return true;
    bool whole = true;
    if (chunked == nullptr) {
        link_.Deliver(bytes, count);
    } else {
        std::string data;
        whole = chunked->Feed(bytes, count, data) != ChunkedDecoder::Status::Error;
        link_.Deliver(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    }
    const auto now = link_.Clock().Now();
    if (!firstData_) firstData_ = now;
    lastData_ = now;
    return whole;
}

bool StreamPump::SendGga(bool first) {
    GgaReporter& gga = link_.Gga();
    gga.Refresh(link_.CurrentState(), link_.Settings());
    const bool sent = session_.Send(gga.Sentence());
    gga.Sent(link_.Clock().Now());
    if (first) link_.Clock().SleepUnlessStopped(kPauseAfterFirstGga, stop_);
    return sent;
}

StreamEnd StreamPump::Run(std::string_view pending, ChunkedDecoder* chunked, bool sendGga) {
    StreamEnd end;
    link_.streaming = true;
    auto finish = [&](int error, std::string reason) {
        link_.streaming = false;
        end.error = error;
        end.reason = std::move(reason);
        end.stopped = stop_.stop_requested();
        if (firstData_) {
            end.deliveredFor = std::chrono::duration_cast<std::chrono::milliseconds>(*lastData_ - *firstData_);
        }
        return end;
    };
    if (!Pass(reinterpret_cast<const std::uint8_t*>(pending.data()), pending.size(), chunked)) {
        return finish(EPROTO, "broken chunk coding");
    }
    const auto started = link_.Clock().Now();
    if (sendGga) link_.Gga().ConnectionStarted();
    bool firstGga = true;
    int emptyCount = 0;
    std::uint8_t buffer[kReadBytes];
    while (!stop_.stop_requested()) {
        if (sendGga && link_.Gga().Due(link_.Clock().Now())) {
            // A caster that reset the connection says so to the send first.
            if (!SendGga(firstGga)) return finish(session_.FailureCode(), session_.FailureText());
            firstGga = false;
        }
        // The wait for data ends when the next GGA is due, so that it goes
        // out on its time and not at the end of a silent wait.
        auto wait = link_.ReceiveTimeout();
        const auto ggaIn = sendGga ? link_.Gga().DueIn(link_.Clock().Now()) : wait;
        const bool untilGga = ggaIn < wait;
        if (untilGga) wait = ggaIn;
        std::size_t got = 0;
        switch (session_.Receive(buffer, sizeof buffer, wait, got)) {
            case CasterSession::Io::Data:
                emptyCount = 0;
                if (!Pass(buffer, got, chunked)) return finish(EPROTO, "broken chunk coding");
                break;
            case CasterSession::Io::Interrupted: return finish(0, "stopped");
            case CasterSession::Io::Error: return finish(session_.FailureCode(), session_.FailureText());
            case CasterSession::Io::Closed: return finish(0, "connection closed by the caster");
            case CasterSession::Io::TimedOut: {
                if (untilGga) break;  // the GGA's time, not a silence
                if (emptyCount < kEmptyReceivesTolerated) {
                    ++emptyCount;
                    link_.Clock().SleepUnlessStopped(kPauseAfterEmpty, stop_);
                    break;
                }
                const auto since = link_.Clock().Now() - (lastData_ ? *lastData_ : started);
                const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
                return finish(0, Printf("no data for %lld s", static_cast<long long>(seconds)));
            }
        }
    }
    return finish(0, "stopped");
}

}  // namespace sextara::corrections
