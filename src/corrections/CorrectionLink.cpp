#include "corrections/CorrectionLink.h"

#include <pthread.h>
#include <signal.h>

#include "corrections/LinkJobs.h"

namespace sextara::corrections {

CorrectionLink::CorrectionLink(platform::RegistryStore& settingsStore, platform::LogFunction log,
                               platform::Clock& clock, StateSource currentState)
    : store_(settingsStore), state_(std::move(log), clock, std::move(currentState)) {}

CorrectionLink::~CorrectionLink() {
    std::lock_guard<std::mutex> control(controlLock_);
    thread_ = {};  // asks the job to stop and joins it
}

bool CorrectionLink::LoadCasterSettings() {
    CasterSettings loaded = Settings();
    const bool ok = corrections::LoadCasterSettings(store_, loaded, state_.LogFunction());
    SetSettings(loaded);
    return ok;
}

bool CorrectionLink::SaveCasterSettings() {
    return corrections::SaveCasterSettings(store_, Settings(), state_.LogFunction());
}

bool CorrectionLink::LoadSourceTableFile() {
    state_.Table().Clear();
    LoadCasterSettings();
    return state_.Table().LoadFile(state_.LogFunction());
}

std::vector<SourceTableEntry> CorrectionLink::Entries() const {
    return state_.Table().Entries();
}

std::string CorrectionLink::RawSourceTable() const {
    return state_.Table().Raw();
}

std::string CorrectionLink::SourceTableCutNote() const {
    return state_.Table().CutNote();
}

void CorrectionLink::BuildGga() {
    state_.Gga().Build(state_.CurrentState(), Settings());
}

std::string CorrectionLink::GgaSentence() const {
    return state_.Gga().Sentence();
}

void CorrectionLink::RefreshGgaPosition() {
    if (state_.HasStateSource()) state_.Gga().Refresh(state_.CurrentState(), Settings());
}

bool CorrectionLink::HasPositionForGga() const {
    if (Settings().useTypedPosition) return true;
    return state_.HasStateSource() && state_.CurrentState().fixQuality >= kFixSingle;
}

bool CorrectionLink::DeliversToReceiver() const {
    const JobKind kind = state_.kind.load();
    return Active() && (kind == JobKind::Ntrip || kind == JobKind::Tcp);
}

LinkHealth CorrectionLink::Health() const {
    LinkHealth health;
    const bool active = Active();
    if (!active) {
        health.state = "idle";
    } else if (state_.kind.load() == JobKind::SourceTable) {
        health.state = "sourcetable";
    } else if (state_.streaming.load()) {
        health.state = "connected";
    } else {
        health.state = Running() ? "connecting" : "waiting";
    }
    health.status = StatusText();
    health.bytes = state_.JobBytes();
    health.stream = state_.Health();
    health.connects = Connects();
    health.lastError = LastError();
    const GnssState fix = state_.CurrentState();
    if (health.stream.base && state_.HasStateSource() && fix.fixQuality >= kFixSingle) {
        health.baselineKm =
            BaselineKm(*health.stream.base, fix.latitude, fix.longitude, fix.altitude + fix.geoidSeparation);
    }
    return health;
}

bool CorrectionLink::Launch(platform::MessageSink* notify, bool withGga, const char* status, JobKind kind,
                            std::function<void(std::stop_token)> body) {
    std::lock_guard<std::mutex> control(controlLock_);
    if (Active()) return false;
    thread_ = {};  // the job that ended by itself
    SetNotifyTarget(notify);
    if (withGga) BuildGga();
    state_.SetStatus(status);
    state_.JobStarted(kind);
    state_.running = true;
    state_.active = true;
    thread_ = std::jthread([body = std::move(body)](std::stop_token stop) {
        // A write to a caster that has gone must not end the program; the
        // error comes back from the write.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        body(std::move(stop));
    });
    return true;
}

bool CorrectionLink::StartNtrip(platform::MessageSink* notify) {
    return Launch(notify, true, "Start Ntrip thread ...", JobKind::Ntrip,
                  [this](std::stop_token stop) { NtripJob(state_).Run(std::move(stop)); });
}

bool CorrectionLink::StartTcp(platform::MessageSink* notify) {
    return Launch(notify, false, "Begin to Get Data from TCP Server...", JobKind::Tcp,
                  [this](std::stop_token stop) { TcpJob(state_).Run(std::move(stop)); });
}

bool CorrectionLink::StartSourceTableUpdate(platform::MessageSink* notify) {
    return Launch(notify, false, "Begin to Get Sourcetable...", JobKind::SourceTable,
                  [this](std::stop_token stop) { SourceTableJob(state_).Run(std::move(stop)); });
}

void CorrectionLink::StopLink() {
    std::lock_guard<std::mutex> control(controlLock_);
    state_.running = false;
    state_.active = false;
    thread_ = {};
    state_.running = false;
    state_.active = false;
    state_.kind = JobKind::None;
    state_.Log("User Stop!");
    state_.SetStatus("User Stop");
}

}  // namespace sextara::corrections
