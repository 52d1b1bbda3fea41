#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/AppContext.h"
#include "app/GpsdLink.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"

namespace sextara {

// What a front end plugs into the application's sequence. Every hook may be
// left empty; the headless runner and the window fill different ones, and the
// corrections, recording and advanced setup add theirs as they arrive.
struct AppHooks {
    // Start-up, in this order around the opening of the receiver's port.
    std::function<void()> startNetworking;
    std::function<void()> loadCasterSettings;
    std::function<void()> armClockSync;  // only after a live receiver port opened
    std::function<void()> startBatteryMonitor;
    // The user's message when the receiver's port cannot be opened: the text
    // of string 55 and the reason the device gave.
    std::function<void(const std::string& message, const std::string& reason)> portOpenFailed;
    // The one-second tick: refresh of the view, then (with data output on)
    // the forwarding step.
    std::function<void()> refreshView;
    std::function<void()> forwardData;
};

// Where the receiver's port stands, for the status line and the pages.
enum class ReceiverLink {
    Closed,  // never opened, or closed by the user or a worker
    Live,
    Lost,    // the device went away; the core reopens it when it returns
};

// The application's sequence over an AppContext: the start-up steps after the
// configuration dialog, the one-second tick, detection and restore on a
// worker thread, and the orderly shutdown. The headless runner and the window
// are its two front ends; neither keeps any of this logic of its own.
//
// Every method is for the front end's own thread (the window thread), except
// where a comment says otherwise. Pauses and the receiver watch run on the
// context's clock.
class AppCore {
public:
    // How often a lost receiver's device path is looked at again.
    static constexpr std::chrono::milliseconds kReturnCheckPeriod{2000};
    // Between closing the GPS path and handing the port to a restore.
    static constexpr std::chrono::milliseconds kRestoreHandOver{50};

    explicit AppCore(AppContext& app, AppHooks hooks = {});
    // Shutdown() if it has not run.
    ~AppCore();
    AppCore(const AppCore&) = delete;
    AppCore& operator=(const AppCore&) = delete;

    // The steps after the configuration dialog: networking hook, the GPS path
    // at GPSPort/GPSBaud, then on success the caster hook, the start-up set
    // and the clock hook; on failure "Can't Open Port" in the log and the
    // portOpenFailed hook; then the gpsd server (also without a port: the
    // receiver may come later) and the battery hook. 1 when the port opened.
    // A worker still running is stopped first.
    int Start();
    // Once a second: idle reset, the watch over a lost receiver, refreshView,
    // the re-send rule, forwardData when data output is on. It also collects
    // a worker that has finished.
    //
    // The watch: when the device of a port the core opened goes away, the
    // GPS path is closed, the fix quality reads 0 (the rest of the record
    // stays), Link() says Lost and the log gets one line. Every
    // kReturnCheckPeriod the same device path is looked at; once it can be
    // opened the path runs again, the start-up set goes out again and the
    // log gets one line.
    void Tick();

    // Detection (start-up dialog) and restore (advanced setup) on a worker
    // thread. Progress reaches the sink as kMsgWorkerProgress messages with
    // their text carried by value. The worker never waits for the front end:
    // what the detector sends arrives as posted messages, in order, so the
    // sink's own thread may call StopWorker at any time. The sink must outlive
    // the worker (until StopWorker, Shutdown, or a Tick after its last
    // message). False when a worker already runs. While a worker runs the
    // core never reopens the receiver's port.
    //
    // Detection leaves the settings to the front end, which takes the rate
    // found from message 2029. A restore first closes the GPS path and waits
    // kRestoreHandOver; its results (GPSPort, GPSBaud 57600 on success, the
    // reopened path) are taken into the context when the worker is collected.
    bool StartDetection(platform::MessageSink& sink, int portNumber, int baudRate, int make);
    bool StartRestore(platform::MessageSink& sink, int portNumber, int baudRate);
    // Asks a running worker to stop and joins it; returns within 0.5 s. The
    // port is closed and the settings are left as they were; no message of
    // that worker reaches the sink afterwards. A worker that had already
    // finished is collected as usual.
    void StopWorker();
    bool WorkerRunning() const;

    // The port console's open and close: a port the user closed is never
    // reopened behind the user's back. OpenGpsPortByUser returns 1 on success
    // (0 at once while a worker holds the port).
    void CloseGpsPortByUser();
    int OpenGpsPortByUser(int portNumber, int baudRate);

    ReceiverLink Link() const;

    // Recording (the recording page, sextara-headless --record): stores the
    // folder and the name (unless the name is refused, see CheckRecordName),
    // starts the recorder with the stored settings and the make, and on
    // success saves the recording settings. True when it runs; the
    // recorder's LastError() says why not.
    bool StartRecording(const std::string& folder, const std::string& name);
    void StopRecording();
    // The tick's forwarding step when no forwardData hook is given.
    void ForwardData();

    // Stops what a later subsystem started (a correction thread, the PORT
    // client, the record thread and its file): called by Shutdown, last
    // added first, before any port is closed.
    void AddShutdownStep(std::function<void()> step);
    // Orderly end: the worker, the shutdown steps, then the GPS path. The
    // settings are saved when the AppContext goes. Safe to call twice.
    void Shutdown();

    AppContext& Context() { return app_; }
    // The gpsd-protocol server: started by Start after the GPS path when the
    // gpsd port setting is not 0, kept told of the receiver by Tick, stopped
    // by Shutdown before the path closes.
    const GpsdLink& Gpsd() const { return gpsd_; }

private:
    class WorkerRelay;
    enum class Job { None, Detection, Restore };

    bool StartWorker(Job job, platform::MessageSink& sink, std::function<void()> body);
    // Joins a finished worker and takes in what it leaves behind.
    void CollectWorker();
    void FinishWorker();
    // Ends a normal-mode recording, saying why, then closes the GPS path.
    void ClosePathFor(const char* why);
    void WatchReceiver();
    void MarkLost();
    void TryReturn();

    AppContext& app_;
    AppHooks hooks_;
    platform::Clock& clock_;

    std::thread worker_;
    std::atomic<bool> workerDone_{false};
    Job job_ = Job::None;
    std::unique_ptr<WorkerRelay> relay_;
    int restorePort_ = 0;
    PortDetector::RestoreOutcome restoreOutcome_;  // the worker's, read after the join

    // The core opened the port and looks after it (not closed by the user,
    // not handed to a worker).
    bool watched_ = false;
    bool lost_ = false;
    int lostPort_ = 0;
    int lostBaud_ = 0;
    platform::Clock::TimePoint nextReturnCheck_{};

    GpsdLink gpsd_;

    std::vector<std::function<void()>> shutdownSteps_;
    bool shutDown_ = false;
};

}  // namespace sextara
