#pragma once

#include <optional>
#include <string>

#include "app/AppContext.h"
#include "platform/MessageSink.h"

namespace sextara {

class AppCore;

// The advanced setup page without its widgets: what its controls may do for
// the make in use, what each button does, and the restore of the receiver's
// defaults. A restore holds the page from the confirmed press until the
// worker has reported both the reset (kWorkerRestoreDone) and the reopened
// port (kWorkerGpsReopened), in whichever order; only the window's own
// closing ends it early (Abandon). The status texts are the string table's.
class AdvancedPageModel {
public:
    // A message box for the page to show.
    struct Notice {
        enum class Icon { Information, Warning, Stop };
        Icon icon = Icon::Information;
        std::string text;
        std::string caption;
    };

    explicit AdvancedPageModel(AppCore& core);

    // Only a Hemisphere board takes a differential mode; a make of no known
    // kind has no defaults to restore.
    bool DiffModeApplies() const;
    bool RestoreApplies() const;
    DiffMode AppliedDiffMode() const;
    bool EnglishInEffect() const;
    // The "Data to External Serial Port" box.
    bool Forwarding() const;
    bool Restoring() const { return restoring_; }

    // Each returns the status line to show; nothing leaves it as it is.
    std::optional<std::string> ApplyDiffMode(DiffMode mode);
    // From the next start on.
    std::optional<std::string> ApplyLanguage(bool english);

    struct ForwardOutcome {
        bool checked = false;  // what the box shows afterwards
        std::optional<Notice> notice;
    };
    ForwardOutcome SetForwarding(bool on);
    // The clock button: the result as a notice, nothing when ignored.
    std::optional<Notice> SyncClock();

    // The question before a restore; nothing when no restore can start now.
    std::optional<Notice> RestoreQuestion() const;
    // After the user confirmed: the page is held, with this status line ...
    std::string HoldForRestore();
    // ... then the restore starts on the core's worker, reporting to sink.
    // When it cannot start the hold ends and the status line says so.
    std::optional<std::string> StartRestore(platform::MessageSink& sink);
    // A worker message while held: the status line when it changes. The hold
    // ends once both reports have arrived.
    std::optional<std::string> OnWorkerMessage(const platform::Message& message);
    // The window is closing under a restore: the worker is stopped and its
    // port left closed.
    void Abandon();

private:
    AppCore& core_;
    bool restoring_ = false;
    bool restoreDone_ = false;
    bool reopenDone_ = false;
};

}  // namespace sextara
