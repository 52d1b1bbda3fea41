#pragma once

// sextara-headless's correction jobs as the window's pages run them.

#include <chrono>
#include <optional>
#include <string>
#include <utility>

#include "app/AppContext.h"
#include "app/NtripPageModel.h"
#include "platform/QueueMessageSink.h"
#include "platform/WakeFd.h"

namespace sextara::tools {

// One correction job per run; the caster values override the stored ones
// for this run only.
struct CorrectionJob {
    bool ntrip = false;
    bool sourceTable = false;
    bool tcp = false;
    std::optional<int> portClient;
    int portClientBaud = 19200;
    std::optional<std::string> caster;
    std::optional<int> casterPort;
    std::optional<std::string> mount;
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::optional<std::pair<double, double>> typedPosition;  // degrees, south and west negative
    bool tls = false;
    std::optional<std::string> caFile;

    int JobCount() const { return int(ntrip) + int(tcp) + int(sourceTable) + int(portClient.has_value()); }
    bool Overridden() const {
        return caster || casterPort || mount || user || password || typedPosition || tls || caFile;
    }
};

// The job as the page runs it (NtripPageModel), printing the page's status
// texts as they change and the byte counter once a second (with --json the
// CORRECTIONS object instead). A job that ends by itself (refused, or a TCP
// server down at Start) ends the run with exit code 1.
class CorrectionRunner {
public:
    // `wake` ends the loop's sleep: the job's messages notify it too.
    CorrectionRunner(AppContext& app, const CorrectionJob& job, platform::WakeFd& wake);

    // Starts the job; false when it cannot run at all.
    bool Begin();
    void Tick();
    // Sleeps until `until`, a message of the job or whatever else notifies
    // the wake (a signal), then handles the messages that came.
    void WaitForMessages(std::chrono::steady_clock::time_point until);
    bool Finished() const { return finished_; }
    int ExitCode() const { return exitCode_; }
    void End();

private:
    bool BeginPortClient();
    corrections::CasterSettings SettingsForRun() const;
    bool TryStart();
    void OnMessage(std::uint32_t message);
    void Show(const std::optional<PagePrompt>& prompt);
    void PrintTable();
    void ShowStatus();
    void Finish(int code);

    AppContext& app_;
    const CorrectionJob& job_;
    platform::WakeFd& wake_;
    NtripPageModel model_;
    platform::QueueMessageSink sink_;
    bool started_ = false;
    bool waitingForFix_ = false;
    bool finished_ = false;
    int exitCode_ = 0;
    std::string lastStatus_;
};

}  // namespace sextara::tools
