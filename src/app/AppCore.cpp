#include "app/AppCore.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <utility>

#include "app/DataForward.h"
#include "app/EventLog.h"
#include "platform/Debug.h"
#include "platform/SerialDevice.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"
#include "platform/SystemTime.h"
#include "record/RecordFormat.h"

namespace sextara {
namespace {

// "GPS receiver back: COM3 (/dev/ttyUSB0)". The loss itself is the port's
// own line ("COM3 device lost, reader stopped (...)"), so each change is one.
void LogReceiver(const char* what, int portNumber) {
    char line[256];
    std::snprintf(line, sizeof line, "GPS receiver %s: COM%d (%s)", what, portNumber,
                  platform::ComDevicePath(portNumber).c_str());
    AppendLog(line);
}

// Whether the device behind the port number could be opened now. Tried on a
// device of its own first, so that a device that is there but busy costs no
// "Can't Open GPS Port!" in the log every few seconds.
bool DeviceOpens(int portNumber) {
    const std::string path = platform::ComDevicePath(portNumber);
    struct stat info {};
    if (path.empty() || ::stat(path.c_str(), &info) != 0) return false;
    platform::SerialDevice probe;
    return probe.Open(portNumber);
}

}  // namespace

// Hands the detector's messages on to the front end's sink, as posts: the
// worker never blocks on the front end, so the front end's thread can stop
// and join it without handling a message first. Cut ends the forwarding for
// good; a message under way when it is cut still arrives.
class AppCore::WorkerRelay final : public platform::MessageSink {
public:
    explicit WorkerRelay(platform::MessageSink& target) : target_(&target) {}

    void Send(platform::Message m) override { Forward(std::move(m)); }
    void Post(platform::Message m) override { Forward(std::move(m)); }

    void Cut() {
        std::lock_guard<std::mutex> hold(mutex_);
        target_ = nullptr;
    }

private:
    // A post does not block, so holding the lock across it is safe.
    void Forward(platform::Message m) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (target_ != nullptr) target_->Post(std::move(m));
    }

    std::mutex mutex_;
    platform::MessageSink* target_;
};

AppCore::AppCore(AppContext& app, AppHooks hooks)
    : app_(app), hooks_(std::move(hooks)), clock_(app.Clock()), gpsd_(app) {
    // Added first, so they run last of the steps, still before any port
    // closes: the correction threads end and the record file is closed while
    // the ports they use exist.
    AddShutdownStep([this] {
        app_.recorder.Stop("program exit");
        app_.recording = 0;
    });
    AddShutdownStep([this] {
        app_.correctionLink.SetNotifyTarget(nullptr);
        app_.correctionLink.StopLink();
        app_.portClient.Close();
    });
}

AppCore::~AppCore() {
    Shutdown();
}

int AppCore::Start() {
    // A detection still running (a dialog left while it probed) would hold
    // the port that the path is about to open.
    StopWorker();
    if (hooks_.startNetworking) hooks_.startNetworking();
    // Loaded whatever the port does: a Start after the port was fixed in the
    // console would otherwise save empty credentials over the stored ones.
    if (hooks_.loadCasterSettings) hooks_.loadCasterSettings();
    const int opened = app_.OpenGpsPort(app_.config.GPSPort, app_.config.GPSBaud);
    if (opened) {
        watched_ = true;
        lost_ = false;
        app_.SendStartupCommands();
        if (hooks_.armClockSync) hooks_.armClockSync();
    } else {
        AppendLog("Can't Open Port\n");
        if (hooks_.portOpenFailed) {
            hooks_.portOpenFailed(
                std::string(platform::StringTable::OwnString(platform::StringId::kSerialInitFailed)),
                app_.gpsPort.LastOpenError());
        }
    }
    gpsd_.Start();
    gpsd_.Refresh(Link() == ReceiverLink::Live);
    if (hooks_.startBatteryMonitor) hooks_.startBatteryMonitor();
    return opened;
}

void AppCore::Tick() {
    CollectWorker();
    platform::ResetIdleTimer();
    WatchReceiver();
    gpsd_.Refresh(Link() == ReceiverLink::Live);
    app_.recorder.Poll();
    app_.recording = app_.recorder.IsRecording() ? 1 : 0;
    if (hooks_.refreshView) hooks_.refreshView();
    // A restore owns the receiver until its worker is done; corrections
    // flowing into it must not be split by commands in between.
    const bool correctionsFlow = app_.correctionLink.DeliversToReceiver() || app_.portClient.IsOpen();
    if (app_.ResendRule().OnTick(app_.gnss.Snapshot().fixQuality) && !WorkerRunning() && !correctionsFlow) {
        app_.SendStartupCommands();
    }
    if (app_.registry.dataTransfer) {
        if (hooks_.forwardData) {
            hooks_.forwardData();
        } else {
            ForwardData();
        }
    }
}

void AppCore::ForwardData() { ForwardGgaStep(app_); }

bool AppCore::StartRecording(const std::string& folder, const std::string& name) {
    // A name the recorder refuses is not taken in: it would be offered again
    // and saved at exit. A stored one that is refused stays as it is.
    if (CheckRecordName(name) == RecordNameFault::None) {
        app_.recordFolder = folder;
        app_.registry.recordName = name;
    }
    RecordOptions options;
    options.mode = app_.registry.recordDataType;
    options.intervalCode = app_.registry.recordInterval;
    options.cutoffAngle = app_.registry.cutoffAngle;
    options.make = app_.config.receiverType;
    const bool started = app_.recorder.Start(folder, name, options);
    app_.recording = app_.recorder.IsRecording() ? 1 : 0;
    if (started) SaveRegistrySettings(app_.Registry(), app_.registry);
    return started;
}

void AppCore::StopRecording() {
    app_.recorder.Stop();
    app_.recording = 0;
}

void AppCore::ClosePathFor(const char* why) {
    app_.recorder.OnGpsPathClosing(why);
    app_.recording = app_.recorder.IsRecording() ? 1 : 0;
    app_.CloseGpsPort();
}

void AppCore::WatchReceiver() {
    if (WorkerRunning() || !watched_) return;
    if (!lost_) {
        if (app_.gpsPath.DeviceLost()) MarkLost();
        return;
    }
    if (clock_.Now() < nextReturnCheck_) return;
    nextReturnCheck_ = clock_.Now() + kReturnCheckPeriod;
    TryReturn();
}

void AppCore::MarkLost() {
    lostPort_ = app_.gpsPath.GpsPortNumber();
    lostBaud_ = app_.gpsPath.GpsBaud();
    // Releases the vanished device and ends the path's threads; with the
    // decoder thread gone nothing writes the record while the fix is cleared.
    ClosePathFor("GPS receiver lost");
    {
        std::lock_guard<std::mutex> hold(app_.gnss.Mutex());
        app_.gnss.Raw()->fixQuality = kFixNone;
    }
    lost_ = true;
    nextReturnCheck_ = clock_.Now() + kReturnCheckPeriod;
    SEXTARA_DEBUG("GPS receiver lost on COM%d\n", lostPort_);
}

void AppCore::TryReturn() {
    if (!DeviceOpens(lostPort_)) return;
    if (!app_.gpsPath.OpenGpsPort(lostPort_, lostBaud_)) return;
    lost_ = false;
    LogReceiver("back", lostPort_);
    // A receiver that was unplugged may have lost its settings with its power.
    app_.SendStartupCommands();
}

ReceiverLink AppCore::Link() const {
    if (lost_) return ReceiverLink::Lost;
    if (app_.gpsPath.GpsPortOpen()) return app_.gpsPath.DeviceLost() ? ReceiverLink::Lost : ReceiverLink::Live;
    return ReceiverLink::Closed;
}

bool AppCore::StartDetection(platform::MessageSink& sink, int portNumber, int baudRate, int make) {
    CollectWorker();
    if (WorkerRunning()) return false;
    // The detector opens the port exclusively; the path must not hold it.
    if (app_.gpsPath.GpsPortOpen()) ClosePathFor("GPS port taken by the detection");
    watched_ = false;
    lost_ = false;
    return StartWorker(Job::Detection, sink,
                       [this, portNumber, baudRate, make] { app_.detector.RunDetection(portNumber, baudRate, make); });
}

bool AppCore::StartRestore(platform::MessageSink& sink, int portNumber, int baudRate) {
    CollectWorker();
    if (WorkerRunning()) return false;
    ClosePathFor("GPS port taken by the receiver defaults restore");
    watched_ = false;
    lost_ = false;
    clock_.SleepFor(kRestoreHandOver);
    restorePort_ = portNumber;
    restoreOutcome_ = {};
    return StartWorker(Job::Restore, sink, [this, portNumber, baudRate] {
        // The settings are the front end thread's: the worker only opens the
        // path, and CollectWorker takes the port and rate into them.
        restoreOutcome_ = app_.detector.RunRestore(portNumber, baudRate, [this](int port, int baud) {
            return app_.gpsPath.OpenGpsPort(port % 256, baud);
        });
    });
}

bool AppCore::StartWorker(Job job, platform::MessageSink& sink, std::function<void()> body) {
    relay_ = std::make_unique<WorkerRelay>(sink);
    app_.detector.ClearStopRequest();
    app_.detector.SetOwner(relay_.get(), &app_.strings);
    workerDone_ = false;
    job_ = job;
    try {
        worker_ = std::thread([this, body = std::move(body)] {
            body();
            workerDone_ = true;
        });
    } catch (const std::system_error& error) {
        SEXTARA_DEBUG("worker not started: %s\n", error.what());
        AppendLog("Worker thread not started");
        app_.detector.SetOwner(nullptr, nullptr);
        relay_.reset();
        job_ = Job::None;
        return false;
    }
    return true;
}

bool AppCore::WorkerRunning() const {
    return worker_.joinable() && !workerDone_.load();
}

void AppCore::StopWorker() {
    if (!worker_.joinable()) return;
    if (!workerDone_.load()) {
        relay_->Cut();
        app_.detector.RequestStop();
    }
    FinishWorker();
}

void AppCore::CollectWorker() {
    if (worker_.joinable() && workerDone_.load()) FinishWorker();
}

void AppCore::FinishWorker() {
    worker_.join();
    relay_->Cut();
    app_.detector.SetOwner(nullptr, nullptr);
    app_.detector.ClosePort();
    if (job_ == Job::Restore && !restoreOutcome_.stopped) {
        app_.config.GPSPort = restorePort_;
        app_.config.GPSBaud = restoreOutcome_.gpsBaud;
        watched_ = app_.gpsPath.GpsPortOpen() != 0;
    }
    job_ = Job::None;
}

void AppCore::CloseGpsPortByUser() {
    ClosePathFor("GPS port closed by the user");
    watched_ = false;
    lost_ = false;
}

int AppCore::OpenGpsPortByUser(int portNumber, int baudRate) {
    CollectWorker();
    if (WorkerRunning()) return 0;
    const int opened = app_.OpenGpsPort(portNumber, baudRate);
    watched_ = opened != 0;
    lost_ = false;
    return opened;
}

void AppCore::AddShutdownStep(std::function<void()> step) {
    if (step) shutdownSteps_.push_back(std::move(step));
}

void AppCore::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    StopWorker();
    for (auto step = shutdownSteps_.rbegin(); step != shutdownSteps_.rend(); ++step) (*step)();
    shutdownSteps_.clear();
    gpsd_.Stop();
    app_.CloseGpsPort();
    watched_ = false;
    lost_ = false;
}

}  // namespace sextara
