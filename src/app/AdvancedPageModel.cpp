#include "app/AdvancedPageModel.h"

#include "app/AppCore.h"
#include "app/DataForward.h"
#include "platform/Messages.h"
#include "platform/StringIds.h"

namespace sextara {

using platform::StringId;

AdvancedPageModel::AdvancedPageModel(AppCore& core) : core_(core) {}

bool AdvancedPageModel::DiffModeApplies() const { return core_.Context().config.receiverType == enHemis; }

bool AdvancedPageModel::RestoreApplies() const { return core_.Context().config.receiverType != enOther; }

DiffMode AdvancedPageModel::AppliedDiffMode() const { return core_.Context().diffMode; }

bool AdvancedPageModel::EnglishInEffect() const { return core_.Context().config.effectiveLanguage == 1; }

bool AdvancedPageModel::Forwarding() const { return core_.Context().registry.dataTransfer == 1; }

std::optional<std::string> AdvancedPageModel::ApplyDiffMode(DiffMode mode) {
    AppContext& app = core_.Context();
    if (restoring_ || !DiffModeApplies()) return std::nullopt;
    app.SetReceiverDiffMode(mode);
    return app.strings.String(StringId::kDiffModeSet);
}

std::optional<std::string> AdvancedPageModel::ApplyLanguage(bool english) {
    AppContext& app = core_.Context();
    app.config.language = english ? 1 : 0;
    // Takes effect when config.ini is read at the next start.
    if (app.config.language == app.config.effectiveLanguage) return std::nullopt;
    return app.strings.String(StringId::kLanguageNextStart);
}

// The forwarding messages have an English caption of their own.
AdvancedPageModel::ForwardOutcome AdvancedPageModel::SetForwarding(bool on) {
    AppContext& app = core_.Context();
    switch (sextara::SetForwarding(app, on)) {
        case ForwardSwitch::RefusedRecording:
            return {false, Notice{Notice::Icon::Stop, "Please stop data record firstly!", "Hint"}};
        case ForwardSwitch::OpenFailed:
            return {Forwarding(), Notice{Notice::Icon::Warning, "Open Data Transf Port Failed!", "Hint"}};
        case ForwardSwitch::On:
        case ForwardSwitch::Off:
            break;
    }
    return {on, std::nullopt};
}

std::optional<AdvancedPageModel::Notice> AdvancedPageModel::SyncClock() {
    AppContext& app = core_.Context();
    if (restoring_) return std::nullopt;
    StringId text = StringId::kClockNoFix;
    switch (app.clockSync.ManualSync(app.gnss.Snapshot())) {
        case ClockSync::Manual::NoFix: text = StringId::kClockNoFix; break;
        case ClockSync::Manual::Set: text = StringId::kClockSet; break;
        case ClockSync::Manual::Failed: text = StringId::kClockFailed; break;
        case ClockSync::Manual::Ignored:
            return std::nullopt;
    }
    return Notice{Notice::Icon::Information, app.strings.String(text), app.strings.String(StringId::kNotice)};
}

std::optional<AdvancedPageModel::Notice> AdvancedPageModel::RestoreQuestion() const {
    if (restoring_ || !RestoreApplies()) return std::nullopt;
    const platform::StringTable& strings = core_.Context().strings;
    return Notice{Notice::Icon::Information, strings.String(StringId::kRestoreQuestion),
                  strings.String(StringId::kNotice)};
}

std::string AdvancedPageModel::HoldForRestore() {
    restoring_ = true;
    restoreDone_ = false;
    reopenDone_ = false;
    return core_.Context().strings.String(StringId::kResetting);
}

std::optional<std::string> AdvancedPageModel::StartRestore(platform::MessageSink& sink) {
    AppContext& app = core_.Context();
    if (core_.StartRestore(sink, app.config.GPSPort, app.config.GPSBaud)) return std::nullopt;
    restoring_ = false;
    return app.strings.String(StringId::kResetFailed);
}

std::optional<std::string> AdvancedPageModel::OnWorkerMessage(const platform::Message& message) {
    if (message.message != platform::kMsgWorkerProgress || !restoring_) return std::nullopt;
    const platform::StringTable& strings = core_.Context().strings;
    std::optional<std::string> status;
    switch (message.wParam) {
        case platform::kWorkerStatusText:
            status = message.text;
            break;
        case platform::kWorkerRestoreDone:
            restoreDone_ = true;
            status = strings.String(message.lParam != 0 ? StringId::kResetDone : StringId::kResetFailed);
            break;
        case platform::kWorkerGpsReopened:
            reopenDone_ = true;
            if (message.lParam == 0) status = strings.String(StringId::kGpsReopenFailed);
            break;
        default:
            break;
    }
    if (restoreDone_ && reopenDone_) restoring_ = false;
    return status;
}

void AdvancedPageModel::Abandon() {
    if (!restoring_) return;
    core_.StopWorker();
    restoring_ = false;
}

}  // namespace sextara
