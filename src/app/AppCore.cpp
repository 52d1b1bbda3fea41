// THROWAWAY stand-in so that the window links and its tests run on this
// branch; the real sequence replaces this file when the branches meet.
#include "app/AppCore.h"

#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "app/EventLog.h"

namespace sextara {
namespace {

struct CoreState {
    std::thread worker;
    std::vector<std::function<void()>> shutdownSteps;
    bool userClosed = false;
    bool shutDown = false;
};

std::mutex& StatesLock() {
    static std::mutex lock;
    return lock;
}
std::vector<std::pair<const AppCore*, std::unique_ptr<CoreState>>>& States() {
    static std::vector<std::pair<const AppCore*, std::unique_ptr<CoreState>>> states;
    return states;
}
CoreState& StateOf(const AppCore* core) {
    std::lock_guard<std::mutex> guard(StatesLock());
    for (auto& entry : States()) {
        if (entry.first == core) return *entry.second;
    }
    States().emplace_back(core, std::make_unique<CoreState>());
    return *States().back().second;
}
void DropState(const AppCore* core) {
    std::lock_guard<std::mutex> guard(StatesLock());
    auto& states = States();
    for (auto it = states.begin(); it != states.end(); ++it) {
        if (it->first == core) {
            states.erase(it);
            return;
        }
    }
}

}  // namespace

AppCore::AppCore(AppContext& app, AppHooks hooks) : app_(app), hooks_(std::move(hooks)) { StateOf(this); }

AppCore::~AppCore() {
    Shutdown();
    DropState(this);
}

int AppCore::Start() {
    if (hooks_.startNetworking) hooks_.startNetworking();
    const int opened = app_.OpenGpsPort(app_.config.GPSPort, app_.config.GPSBaud);
    if (opened) {
        if (hooks_.loadCasterSettings) hooks_.loadCasterSettings();
        app_.SendStartupCommands();
        if (hooks_.armClockSync) hooks_.armClockSync();
    } else {
        AppendLog("Can't Open Port\n");
        if (hooks_.portOpenFailed) hooks_.portOpenFailed(std::string(platform::StringTable::OwnString(55)), "");
    }
    if (hooks_.startBatteryMonitor) hooks_.startBatteryMonitor();
    return opened;
}

void AppCore::Tick() {
    app_.OnTick();
    if (hooks_.refreshView) hooks_.refreshView();
    if (app_.registry.dataTransfer && hooks_.forwardData) hooks_.forwardData();
}

bool AppCore::StartDetection(platform::MessageSink& sink, int portNumber, int baudRate, int make) {
    CoreState& state = StateOf(this);
    if (state.worker.joinable()) return false;
    app_.detector.SetOwner(&sink, &app_.strings);
    state.worker = std::thread([this, portNumber, baudRate, make] { app_.detector.RunDetection(portNumber, baudRate, make); });
    return true;
}

bool AppCore::StartRestore(platform::MessageSink& sink, int portNumber, int baudRate) {
    CoreState& state = StateOf(this);
    if (state.worker.joinable()) return false;
    app_.detector.SetOwner(&sink, &app_.strings);
    state.worker = std::thread([this, portNumber, baudRate] {
        app_.detector.RunRestore(portNumber, baudRate, [this](int port, int baud) { return app_.OpenGpsPort(port, baud); });
    });
    return true;
}

void AppCore::StopWorker() {
    CoreState& state = StateOf(this);
    if (state.worker.joinable()) state.worker.join();
    app_.detector.SetOwner(nullptr, nullptr);
}

bool AppCore::WorkerRunning() const { return StateOf(this).worker.joinable(); }

void AppCore::CloseGpsPortByUser() {
    StateOf(this).userClosed = true;
    app_.CloseGpsPort();
}

int AppCore::OpenGpsPortByUser(int portNumber, int baudRate) {
    StateOf(this).userClosed = false;
    return app_.OpenGpsPort(portNumber, baudRate);
}

ReceiverLink AppCore::Link() const {
    return app_.gpsPath.GpsPortOpen() ? ReceiverLink::Live : ReceiverLink::Closed;
}

void AppCore::AddShutdownStep(std::function<void()> step) { StateOf(this).shutdownSteps.push_back(std::move(step)); }

void AppCore::Shutdown() {
    CoreState& state = StateOf(this);
    if (state.shutDown) return;
    state.shutDown = true;
    StopWorker();
    for (auto it = state.shutdownSteps.rbegin(); it != state.shutdownSteps.rend(); ++it) (*it)();
    state.shutdownSteps.clear();
    app_.CloseGpsPort();
}

}  // namespace sextara
