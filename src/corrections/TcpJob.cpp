#include "corrections/LinkJobs.h"
#include "platform/Messages.h"

namespace sextara::corrections {

bool TcpJob::Connect(CasterSession& session) {
    link_.SetResult(ConnectResult::None);
    link_.Log("Enter Socket Init\n");
    link_.SetStatus("Begin to Connect...");
    CasterSession::AddressNotes notes;
    notes.failed = [&](const CasterEndpoint&, int error) {
        link_.Log("Error code: %d (%s)", error, SocketErrorText(error).c_str());
    };
    return OpenCaster(link_, session, link_.Settings(), notes) == CasterSession::Opened::Ok;
}

bool TcpJob::Reconnect(CasterSession& session, RetrySchedule& schedule, int& attempt, const std::stop_token& stop) {
    for (;;) {
        const auto wait = schedule.Next();
        const std::string reason = link_.LastError();
        link_.Log("Reconnect: %d", attempt);
        link_.SetStatus(Printf("Begin to reconnect, %d Times in %.1f s (%s)", attempt,
                               std::chrono::duration<double>(wait).count(), reason.c_str()));
        ++attempt;
        link_.Post(platform::MSG_LINK_STATUS);
        if (!link_.Clock().SleepUnlessStopped(wait, stop)) return false;
        link_.running = true;
        if (Connect(session)) return true;
        link_.running = false;
        if (stop.stop_requested()) return false;
        const std::string why = link_.Reason();
        link_.SetLastError(why);
        schedule.Record(std::chrono::milliseconds(0));
    }
}

void TcpJob::Run(std::stop_token stop) {
    CasterSession session;
    const std::stop_callback wake(stop, [&session] { session.Interrupt(); });
    link_.Log("Start TCPReceiver...");
    link_.SetStatus("Start TCPReceiver...");
    link_.running = true;
    if (!Connect(session)) {
        link_.Log("TCPRecSocketConn Failed!");
        if (!link_.Reason().empty()) link_.SetStatus(link_.Reason());
        link_.SetLastError(link_.Reason());
        link_.running = false;
        link_.active = false;
        link_.Post(platform::MSG_LINK_DOWN);
        return;
    }
    link_.Log("TCP Server Connect Successfully.");
    link_.SetStatus("Connect TCP Server Successfully!");
    link_.ConnectionUp();
    link_.Post(platform::MSG_LINK_UP);
    RetrySchedule schedule;
    int attempt = 1;
    while (!stop.stop_requested()) {
        StreamPump pump(link_, session, stop);
        const StreamEnd end = pump.Run({}, nullptr, false);
        link_.running = false;
        session.Close();
        if (end.stopped) break;
        link_.Log("Error code: %d (%s)", end.error, end.reason.c_str());
        link_.SetLastError("Receive ended: " + end.reason);
        schedule.Record(end.deliveredFor);
        if (schedule.Worked(end.deliveredFor)) attempt = 1;
        if (!Reconnect(session, schedule, attempt, stop)) break;
        link_.SetStatus("Connect TCP Server Successfully!");
        link_.ConnectionUp();
        link_.Post(platform::MSG_LINK_STATUS);  // the page no longer shows the wait
    }
    link_.running = false;
    link_.active = false;
    link_.Post(platform::MSG_LINK_DOWN);
    session.Close();
}

}  // namespace sextara::corrections
