#include "HeadlessCorrections.h"

#include "HeadlessOutput.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "app/ByteCount.h"
#include "app/CorrectionHooks.h"
#include "app/MountPointOrder.h"
#include "corrections/NetworkBringUp.h"
#include "platform/Messages.h"
#include "platform/SerialDevice.h"

namespace sextara::tools {
namespace {

void PrintLine(const std::string& text) {
    Say("%s", text.c_str());
}

}  // namespace

CorrectionRunner::CorrectionRunner(AppContext& app, const CorrectionJob& job, platform::WakeFd& wake)
    : app_(app),
      job_(job),
      wake_(wake),
      model_(NtripPageModel::Deps{
          .link = app.correctionLink,
          .ensureNetwork = [](std::string_view address) { return corrections::EnsureNetwork(address); },
          .sendDiffInput = [&app] { SendDiffInputCommands(app); },
          .state = [&app] { return app.gnss.Snapshot(); },
          .saveOnStart = !job.Overridden(),
      }),
      sink_([this](const platform::Message& m) { OnMessage(m.message); }) {
    sink_.SetArrivalWake(&wake_);
}

bool CorrectionRunner::Begin() {
    if (job_.portClient) return BeginPortClient();
    if (!job_.ntrip && !job_.tcp && !job_.sourceTable) return true;
    const corrections::CasterSettings s = SettingsForRun();
    if (const auto problem = corrections::ValidateCasterSettings(s)) {
        std::fprintf(stderr, "sextara-headless: %s\n", problem->c_str());
        return false;
    }
    app_.correctionLink.SetSettings(s);
    app_.correctionMode = job_.tcp ? CorrectionMode::Tcp : CorrectionMode::Ntrip;
    model_.Open(job_.tcp, app_.config.effectiveLanguage, &sink_);
    Say("%s: %s%s",
        job_.tcp           ? "TCP client"
        : job_.sourceTable ? "Source table of"
                           : "NTRIP client",
        model_.GetView().address.c_str(), s.useTls ? " (TLS)" : "");
    started_ = TryStart();
    return !finished_ || exitCode_ == 0;
}

bool CorrectionRunner::BeginPortClient() {
    if (!app_.portClient.Open(*job_.portClient, job_.portClientBaud)) {
        std::fprintf(stderr, "sextara-headless: %s (%s)\n", app_.strings.String(73).c_str(),
                     app_.clientPort.LastOpenError().c_str());
        return false;
    }
    Say("PORT client: COM%d (%s) at %d baud", *job_.portClient, platform::ComDevicePath(*job_.portClient).c_str(),
        job_.portClientBaud);
    return true;
}

// The stored caster settings with this run's overrides.
corrections::CasterSettings CorrectionRunner::SettingsForRun() const {
    corrections::CasterSettings s = app_.correctionLink.Settings();
    if (job_.caster) s.casterAddress = *job_.caster;
    if (job_.casterPort) s.port = static_cast<std::uint32_t>(*job_.casterPort);
    if (job_.mount) s.mountPoint = *job_.mount;
    if (job_.user) s.user = *job_.user;
    if (job_.password) s.password = *job_.password;
    if (job_.typedPosition) {
        s.useTypedPosition = true;
        s.typed.latitude = std::fabs(job_.typedPosition->first);
        s.typed.northSouth = job_.typedPosition->first < 0 ? "S" : "N";
        s.typed.longitude = std::fabs(job_.typedPosition->second);
        s.typed.eastWest = job_.typedPosition->second < 0 ? "W" : "E";
    }
    if (job_.tls) s.useTls = true;
    if (job_.caFile) s.caFile = *job_.caFile;
    return s;
}

void CorrectionRunner::Tick() {
    if (job_.portClient) {
        if (JsonOutput()) {
            corrections::LinkHealth health;
            health.state = app_.portClient.IsOpen() ? "port" : "idle";
            health.bytes = app_.portClient.BytesReceived();
            Emit(CorrectionsJson(health));
        } else {
            PrintLine("Received: " + FormatByteTotal(app_.portClient.BytesReceived()));
        }
        return;
    }
    if (!model_.IsOpen()) return;
    if (!started_) {
        started_ = TryStart();
        return;
    }
    model_.Tick();
    ShowStatus();
    if (JsonOutput() && !job_.sourceTable) {
        Emit(CorrectionsJson(app_.correctionLink.Health()));
    } else if (model_.GetView().timer) {
        PrintLine("Received: " + model_.GetView().counter);
    }
}

void CorrectionRunner::WaitForMessages(std::chrono::steady_clock::time_point until) {
    wake_.WaitUntil(until);
    // Reset before Pump: a message queued from now on notifies again. A
    // signal's notice may go here; its flag was set first and stays.
    wake_.Reset();
    if (model_.IsOpen()) sink_.Pump();
}

void CorrectionRunner::End() {
    model_.Close();
    sink_.Shutdown();
}

// Like the page's Start; without a fix (message 60) it is tried again on the
// next tick, the text printed once.
bool CorrectionRunner::TryStart() {
    const auto prompt = model_.Start(job_.sourceTable ? std::string(kUpdateSourceTable)
                                                      : app_.correctionLink.Settings().mountPoint);
    if (prompt && prompt->stringId == 60) {
        if (!waitingForFix_) PrintLine(app_.strings.String(60));
        waitingForFix_ = true;
        return false;
    }
    Show(prompt);
    return true;
}

void CorrectionRunner::OnMessage(std::uint32_t message) {
    Show(model_.OnMessage(message));
    if (message != platform::MSG_LINK_DOWN || job_.sourceTable || app_.correctionLink.Active()) return;
    // Nothing will retry it: the cause is in view, and the run ends.
    const corrections::LinkHealth health = app_.correctionLink.Health();
    if (JsonOutput()) Emit(CorrectionsJson(health));
    std::fprintf(stderr, "sextara-headless: %s\n",
                 (health.lastError.empty() ? health.status : health.lastError).c_str());
    Finish(1);
}

void CorrectionRunner::PrintTable() {
    const auto entries = app_.correctionLink.Entries();
    for (const auto& e : entries) {
        if (JsonOutput()) {
            Emit(MountPointJson(e));
        } else {
            std::printf("%s\t%s\t%s\t%s\t%.2f\t%.2f\t%d\n", e.mountPoint.c_str(), e.identifier.c_str(),
                        e.format.c_str(), e.navSystem.c_str(), e.latitude, e.longitude, e.nmea);
        }
    }
    std::fflush(stdout);
    const std::string cut = app_.correctionLink.SourceTableCutNote();
    if (!cut.empty()) Say("The source table was cut: %s", cut.c_str());
    Say("%zu mount points", entries.size());
}

void CorrectionRunner::Show(const std::optional<PagePrompt>& prompt) {
    ShowStatus();
    if (!prompt) return;
    PrintLine(prompt->stringId != 0 ? app_.strings.String(prompt->stringId) : prompt->text);
    if (prompt->stringId == 59 || prompt->stringId == 0) Finish(1);
    if (job_.sourceTable && prompt->stringId == 61) {
        PrintTable();
        Finish(0);
    }
    if (job_.sourceTable && prompt->stringId == 62) Finish(1);
}

void CorrectionRunner::ShowStatus() {
    const std::string& status = model_.GetView().status;
    if (status == lastStatus_) return;
    lastStatus_ = status;
    if (status.empty()) return;
    // The page's status box takes CR LF between its lines; a terminal, LF.
    std::string text = "Status: " + status;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
    PrintLine(text);
}

void CorrectionRunner::Finish(int code) {
    finished_ = true;
    exitCode_ = code;
}

}  // namespace sextara::tools
