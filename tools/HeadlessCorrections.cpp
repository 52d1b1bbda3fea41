#include "HeadlessCorrections.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "app/CorrectionHooks.h"
#include "corrections/NetworkBringUp.h"
#include "platform/SerialDevice.h"

namespace sextara::tools {
namespace {

void PrintLine(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
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
      sink_([this](const platform::Message& m) { Show(model_.OnMessage(m.message)); }) {
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
    app_.correctionMode = job_.tcp ? 2 : 1;
    model_.Open(job_.tcp, app_.config.effectiveLanguage, &sink_);
    std::printf("%s: %s\n",
                job_.tcp           ? "TCP client"
                : job_.sourceTable ? "Source table of"
                                   : "NTRIP client",
                model_.GetView().address.c_str());
    started_ = TryStart();
    return !finished_ || exitCode_ == 0;
}

bool CorrectionRunner::BeginPortClient() {
    if (!app_.portClient.Open(*job_.portClient, job_.portClientBaud)) {
        std::fprintf(stderr, "sextara-headless: %s (%s)\n", app_.strings.String(73).c_str(),
                     app_.clientPort.LastOpenError().c_str());
        return false;
    }
    std::printf("PORT client: COM%d (%s) at %d baud\n", *job_.portClient,
                platform::ComDevicePath(*job_.portClient).c_str(), job_.portClientBaud);
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
    return s;
}

void CorrectionRunner::Tick() {
    if (job_.portClient) {
        PrintLine("Received: " + FormatByteTotal(app_.portClient.BytesReceived()));
        return;
    }
    if (!model_.IsOpen()) return;
    if (!started_) {
        started_ = TryStart();
        return;
    }
    model_.Tick();
    ShowStatus();
    if (model_.GetView().timer) PrintLine("Received: " + model_.GetView().counter);
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

void CorrectionRunner::Show(const std::optional<PagePrompt>& prompt) {
    ShowStatus();
    if (!prompt) return;
    PrintLine(prompt->stringId != 0 ? app_.strings.String(prompt->stringId) : prompt->text);
    if (prompt->stringId == 59 || prompt->stringId == 0) Finish(1);
    if (job_.sourceTable && prompt->stringId == 61) {
        for (const auto& e : app_.correctionLink.Entries()) {
            std::printf("%s\t%s\t%s\t%s\t%.2f\t%.2f\t%d\n", e.mountPoint.c_str(), e.identifier.c_str(),
                        e.format.c_str(), e.navSystem.c_str(), e.latitude, e.longitude, e.nmea);
        }
        std::fflush(stdout);
        Finish(0);
    }
    if (job_.sourceTable && prompt->stringId == 62) Finish(1);
}

void CorrectionRunner::ShowStatus() {
    const std::string& status = model_.GetView().status;
    if (status == lastStatus_) return;
    lastStatus_ = status;
    if (!status.empty()) PrintLine("Status: " + status);
}

void CorrectionRunner::Finish(int code) {
    finished_ = true;
    exitCode_ = code;
}

}  // namespace sextara::tools
