#include "corrections/CorrectionLink.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "corrections/GgaSentence.h"
#include "platform/AtomicFile.h"
#include "platform/Debug.h"
#include "platform/Messages.h"
#include "platform/Paths.h"

namespace sextara::corrections {
namespace {

// A pause is taken in steps so that a stop ends it within one step.
constexpr std::chrono::milliseconds kPauseStep{50};
// The source table reply: 256-byte reads, and a caster that stays silent
// this many receive waits in a row has failed the update.
constexpr std::size_t kTableReadBytes = 256;
constexpr int kTableSilentWaits = 15;

// Reply text for the event log: one line, control bytes shown as blanks.
std::string LogText(std::string_view text) {
    std::string line(text.substr(0, 255));
    for (char& c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) c = ' ';
    }
    return line;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

}  // namespace

CorrectionLink::CorrectionLink(platform::RegistryStore& settingsStore, platform::LogFunction log,
                               platform::Clock& clock, StateSource currentState)
    : store_(settingsStore), log_(std::move(log)), clock_(clock), stateSource_(std::move(currentState)) {}

CorrectionLink::~CorrectionLink() {
    std::lock_guard<std::mutex> control(controlLock_);
    running_ = false;
    active_ = false;
    checkStop_ = true;
    socket_.Interrupt();
    if (checkThread_.joinable()) checkThread_.join();
    StopReceiveThread();
}

void CorrectionLink::Log(const char* format, ...) {
    if (!log_) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    log_(text);
}

void CorrectionLink::SetStatus(std::string text) {
    std::lock_guard<std::mutex> hold(settingsLock_);
    status_ = std::move(text);
}

std::string CorrectionLink::StatusText() const {
    std::lock_guard<std::mutex> hold(settingsLock_);
    return status_;
}

void CorrectionLink::PostToPage(std::uint32_t message) {
    std::lock_guard<std::mutex> hold(notifyLock_);
    if (notify_ != nullptr) {
        notify_->Post({message, 0, 0, {}});
    }
}

void CorrectionLink::SetNotifyTarget(platform::MessageSink* target) {
    std::lock_guard<std::mutex> hold(notifyLock_);
    notify_ = target;
}

void CorrectionLink::SetReceiverPort(ByteSink* port) {
    receiverPort_ = port;
}

void CorrectionLink::SetReceiveTimeout(std::chrono::milliseconds timeout) {
    receiveTimeoutMs_ = timeout.count();
}

bool CorrectionLink::Pause(std::chrono::milliseconds duration, const std::atomic<bool>& keepGoing) {
    while (duration.count() > 0) {
        if (!keepGoing) return false;
        const auto step = duration < kPauseStep ? duration : kPauseStep;
        clock_.SleepFor(step);
        duration -= step;
    }
    return keepGoing.load();
}

bool CorrectionLink::CheckWait(std::chrono::milliseconds duration) {
    while (duration.count() > 0) {
        if (checkStop_ || giveUp_) return true;
        const auto step = duration < kPauseStep ? duration : kPauseStep;
        clock_.SleepFor(step);
        duration -= step;
    }
    return checkStop_ || giveUp_;
}

CasterSettings CorrectionLink::Settings() const {
    std::lock_guard<std::mutex> hold(settingsLock_);
    return settings_;
}

void CorrectionLink::SetSettings(const CasterSettings& settings) {
    std::lock_guard<std::mutex> hold(settingsLock_);
    settings_ = settings;
}

bool CorrectionLink::LoadCasterSettings() {
    CasterSettings loaded = Settings();
    const bool ok = corrections::LoadCasterSettings(store_, loaded, log_);
    SetSettings(loaded);
    return ok;
}

bool CorrectionLink::SaveCasterSettings() {
    return corrections::SaveCasterSettings(store_, Settings(), log_);
}

bool CorrectionLink::LoadSourceTableFile() {
    {
        std::lock_guard<std::mutex> hold(settingsLock_);
        raw_.clear();
    }
    LoadCasterSettings();
    std::FILE* file = std::fopen(platform::DataPath(kSourceTableFileName).c_str(), "rb");
    if (file == nullptr) {
        Log("Not Find SourceTable File!");
        return false;
    }
    std::string raw(kSourceTableBytes, '\0');
    raw.resize(std::fread(raw.data(), 1, raw.size(), file));
    std::fclose(file);
    {
        std::lock_guard<std::mutex> hold(settingsLock_);
        raw_ = std::move(raw);
    }
    ParseSourceTable();
    return true;
}

std::size_t CorrectionLink::ParseSourceTable() {
    std::lock_guard<std::mutex> hold(settingsLock_);
    return corrections::ParseSourceTable(raw_, entries_);
}

std::vector<SourceTableEntry> CorrectionLink::Entries() const {
    std::lock_guard<std::mutex> hold(settingsLock_);
    return entries_;
}

std::string CorrectionLink::RawSourceTable() const {
    std::lock_guard<std::mutex> hold(settingsLock_);
    return raw_;
}

void CorrectionLink::BuildGga() {
    const GnssState state = stateSource_ ? stateSource_() : GnssState{};
    const CasterSettings settings = Settings();
    SetGgaSentence(BuildGgaSentence(state, &settings.typed, settings.useTypedPosition));
}

void CorrectionLink::RefreshGgaPosition() {
    if (!Settings().resendCurrentPosition || !stateSource_) return;
    const GnssState state = stateSource_();
    if (state.fixQuality < kFixSingle) return;
    SetGgaSentence(BuildGgaSentence(state, nullptr, false));
}

void CorrectionLink::SetGgaSentence(std::string sentence) {
    std::lock_guard<std::mutex> hold(settingsLock_);
    gga_ = std::move(sentence);
}

std::string CorrectionLink::GgaSentence() const {
    std::lock_guard<std::mutex> hold(settingsLock_);
    return gga_;
}

bool CorrectionLink::HasPositionForGga() const {
    if (Settings().useTypedPosition) return true;
    return stateSource_ && stateSource_().fixQuality >= kFixSingle;
}

std::size_t CorrectionLink::DrainReceived(std::uint8_t* buffer, std::size_t maximum) {
    std::lock_guard<std::mutex> hold(queueLock_);
    const std::size_t count = std::min(maximum, queue_.size());
    std::copy_n(queue_.begin(), count, buffer);
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(count));
    return count;
}

void CorrectionLink::Deliver(const std::uint8_t* bytes, std::size_t count, Kind kind) {
    if (count == 0) return;
    {
        std::lock_guard<std::mutex> hold(queueLock_);
        const std::size_t limit = kind == Kind::Ntrip ? kNtripQueueLimit : kTcpQueueLimit;
        const std::size_t trim = kind == Kind::Ntrip ? kNtripQueueTrim : kTcpQueueTrim;
        if (queue_.size() > limit) {
            queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(trim));
        }
        queue_.insert(queue_.end(), bytes, bytes + count);
    }
    // A port that is not open still takes the bytes into its own bounded queue.
    if (ByteSink* port = receiverPort_.load()) {
        port->Write(bytes, static_cast<std::uint32_t>(count));
    }
    bytesReceived_ += static_cast<std::uint32_t>(count);
}

bool CorrectionLink::DeliverStream(const std::uint8_t* bytes, std::size_t count) {
    if (!chunked_) {
        Deliver(bytes, count, Kind::Ntrip);
        return true;
    }
    std::string data;
    const auto status = decoder_.Feed(bytes, count, data);
    Deliver(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), Kind::Ntrip);
    return status != ChunkedDecoder::Status::Error;
}

void CorrectionLink::SetFailureReason(std::string reason) {
    std::lock_guard<std::mutex> hold(settingsLock_);
    failureReason_ = std::move(reason);
}

bool CorrectionLink::ConnectFailed(std::string reason) {
    lastResult_ = ConnectResult::ConnectFailed;
    SetFailureReason(std::move(reason));
    socket_.Close();
    return false;
}

void CorrectionLink::ResetAttempt() {
    lastResult_ = ConnectResult::None;
    socket_.Close();
    SetFailureReason({});
}

// Opens the socket and connects to the caster of the settings, logging in
// the words of the NTRIP client or of the TCP client.
bool CorrectionLink::ConnectTo(const CasterSettings& settings, bool forNtrip) {
    if (!socket_.Open()) {
        Log(forNtrip ? "SOCKET INVALID_SOCKET, ErrCode %d" : "SOCKET INVALID_SOCKET Err.", errno);
        return false;
    }
    const auto port = static_cast<std::uint16_t>(settings.port);
    sockaddr_in address{};
    if (!ResolveIpv4(settings.casterAddress, port, address)) {
        Log("Can't resolve caster address %s", settings.casterAddress.c_str());
        return ConnectFailed("Can't resolve caster address " + settings.casterAddress);
    }
    if (forNtrip) {
        // The password never goes to the event log.
        if (!IsHostName(settings.casterAddress)) {
            Log("IP:%s,Port:%d,User: %s, Psw: %s", settings.casterAddress.c_str(), port, settings.user.c_str(), "***");
        } else {
            Log("Use domain IP:%s,Port:%d,User: %s, Psw: %s", DottedAddress(address).c_str(), port,
                settings.user.c_str(), "***");
        }
    }
    int error = 0;
    const LinkSocket::Io io = socket_.Connect(address, error);
    if (io != LinkSocket::Io::Data) {
        Log(forNtrip ? "Socket Connect Error, ErrCode: %d" : "Error code: %d", error);
        return ConnectFailed(Format("Can't connect to %s:%d", settings.casterAddress.c_str(), port));
    }
    return true;
}

bool CorrectionLink::NtripConnect() {
    ResetAttempt();
    SetStatus("Begin to Connect, init socket, pls wait ...");
    const CasterSettings settings = Settings();
    const auto request =
        ComposeNtripRequest(settings.mountPoint, settings.casterAddress, settings.user, settings.password);
    if (!request) {
        Log("Caster settings too long for the request!");
        SetFailureReason("Caster settings are too long for the request!");
        return false;
    }
    if (!ConnectTo(settings, true)) {
        return false;
    }
    // In one write: some casters refuse a request whose lines arrive apart.
    if (!socket_.SendAll(*request)) {
        Log("Error code: %d", errno);
        return false;
    }
    NtripReplyReader reader;
    std::uint8_t buffer[256];
    while (reader.CurrentOutcome() == NtripReplyReader::Outcome::NeedMore) {
        std::size_t got = 0;
        int error = 0;
        switch (socket_.Receive(buffer, sizeof buffer, std::chrono::milliseconds(receiveTimeoutMs_.load()), got,
                                error)) {
            case LinkSocket::Io::Data: reader.Feed(buffer, got); break;
            case LinkSocket::Io::Closed: reader.Closed(); break;
            case LinkSocket::Io::TimedOut: break;  // a stalled reply is ended by the check thread
            case LinkSocket::Io::Error: Log("Error code: %d", error); return false;
            case LinkSocket::Io::Interrupted: return false;
        }
    }
    if (reader.CurrentOutcome() == NtripReplyReader::Outcome::Accepted) {
        socket_.SendAll(GgaSentence());
        pendingStream_ = reader.StreamBytes();
        chunked_ = reader.Chunked();
        decoder_ = ChunkedDecoder{};
        return true;
    }
    Log("%s", LogText(reader.HeaderText()).c_str());
    lastResult_ = reader.Result();
    if (reader.Result() == ConnectResult::MountNotFound) {
        SetFailureReason("Mount point " + settings.mountPoint + " is not on the caster!");
    }
    return false;
}

bool CorrectionLink::TcpConnect() {
    ResetAttempt();
    Log("Enter Socket Init\n");
    SetStatus("Begin to Connect...");
    return ConnectTo(Settings(), false);
}

std::string CorrectionLink::FailureStatus() const {
    switch (lastResult_.load()) {
        case ConnectResult::BadPassword: return "ERROR - Bad Password!";
        case ConnectResult::Unauthorized: return "Unauthorized!";
        default: break;
    }
    std::lock_guard<std::mutex> hold(settingsLock_);
    return failureReason_.empty() ? std::string("Don't Receive ICY 200 OK") : failureReason_;
}

void CorrectionLink::ReportNtripFailure() {
    socket_.Close();
    Log("iKarst Connect unsuccessfully!");
    SetStatus("Connect Server unsuccessfully!");
    switch (lastResult_.load()) {
        case ConnectResult::BadPassword:
            Log("ERROR - Bad Password:");
            giveUp_ = true;  // a wrong password stays wrong: not retried
            break;
        case ConnectResult::Unauthorized:
            Log("Unauthorized.");
            giveUp_ = true;
            break;
        default: Log("Don't Receive ICY 200 OK"); break;
    }
    SetStatus(FailureStatus());
    PostToPage(platform::MSG_LINK_STATUS);
    // Last: the check thread reads the status once it sees the thread has ended.
    running_ = false;
}

// After a failed pass: up to the budget of new connections, each after a
// pause; a success spends the rest of the budget.
bool CorrectionLink::NtripReconnect(int& budget, int& emptyCount) {
    emptyCount = 0;
    while (budget > 0 && running_) {
        --budget;
        if (!Pause(kPauseBeforeReconnect, running_)) return false;
        if (NtripConnect()) {
            budget = 0;
            return DeliverStream(reinterpret_cast<const std::uint8_t*>(pendingStream_.data()), pendingStream_.size());
        }
        const ConnectResult result = lastResult_.load();
        if (result == ConnectResult::BadPassword || result == ConnectResult::Unauthorized) {
            ReportNtripFailure();
            return false;
        }
        SetStatus(FailureStatus());
    }
    if (!running_) return false;
    Pause(kPauseBeforeGivingUp, running_);
    Log("Connect Server Failed!");
    running_ = false;
    return false;
}

void CorrectionLink::NtripReceiveThread() {
    bytesReceived_ = 0;
    int budget = kReconnectBudget;
    int emptyCount = 0;
    std::uint64_t pass = 0;
    if (!NtripConnect()) {
        ReportNtripFailure();
        return;
    }
    Log("iKarst Connect Successfully.");
    SetStatus("Connect Server Successfully!");
    PostToPage(platform::MSG_LINK_UP);
    bool streamOk =
        DeliverStream(reinterpret_cast<const std::uint8_t*>(pendingStream_.data()), pendingStream_.size());
    std::uint8_t buffer[kReceiveBufferBytes];
    while (running_) {
        if (pass % kGgaEveryPasses == 0) {
            RefreshGgaPosition();
            socket_.SendAll(GgaSentence());
            Pause(kPauseAfterGga, running_);
        }
        ++pass;
        std::size_t got = 0;
        int error = streamOk ? 0 : EPROTO;  // a broken chunk coding: the stream cannot be trusted
        LinkSocket::Io io = streamOk ? socket_.Receive(buffer, sizeof buffer,
                                                       std::chrono::milliseconds(receiveTimeoutMs_.load()), got, error)
                                     : LinkSocket::Io::Error;
        if (io == LinkSocket::Io::Data) {
            emptyCount = 0;
            streamOk = DeliverStream(buffer, got);
            if (streamOk) {
                Pause(kPauseAfterChunk, running_);
                continue;
            }
            io = LinkSocket::Io::Error;
            error = EPROTO;
        }
        if (io == LinkSocket::Io::Interrupted) break;
        if (io == LinkSocket::Io::Error) {
            Log("Receive Data Error, Code: %d", error);
            SetStatus(Format("Receive Data Error, ErrCode: %d", error));
        } else {
            // A close or a wait without data: no data this pass.
            if (emptyCount < kEmptyReceivesTolerated) {
                ++emptyCount;
                Pause(kPauseAfterChunk, running_);
                continue;
            }
            Log("Receive No Data !");
            SetStatus("Receive No Data !");
        }
        streamOk = NtripReconnect(budget, emptyCount);
        if (!streamOk && !running_) break;
    }
    socket_.Close();
}

void CorrectionLink::StopReceiveThread() {
    running_ = false;
    socket_.Interrupt();
    if (receiveThread_.joinable()) receiveThread_.join();
    socket_.Close();
}

void CorrectionLink::NtripCheckThread() {
    int restarts = 0;
    bool seen = false;
    std::uint32_t lastSeen = 0;
    bool reachedLimit = false;
    SEXTARA_DEBUG("NtripCheck Thread ++++++++\r\n");
    for (;;) {
        if (CheckWait(kCheckInterval)) break;
        if (running_) {
            restarts = 0;
            const std::uint32_t bytes = bytesReceived_.load();
            if (!seen || bytes != lastSeen) {
                seen = true;
                lastSeen = bytes;
                SEXTARA_DEBUG("Ntrip thread is still alive!\r\n");
            } else {
                // Nothing new in a whole pass: the receive thread is stalled.
                running_ = false;
                Pause(kPauseBeforeEndingStalled, active_);
                StopReceiveThread();
                SetStatus("Receive No Data !");
            }
        } else {
            const int count = restarts++;
            if (count >= kMaxRestarts) {
                PostToPage(platform::MSG_LINK_DOWN);
                Log("Reach the max times, Ntrip Check Thread Stop!");
                reachedLimit = true;
                break;
            }
            // The reason of the last failure stays in view beside the count.
            const std::string reason = StatusText();
            SetStatus(Format("Reconnect the server, Times %d (%s)", count + 1, reason.c_str()));
            Log("Reconnect the server, Times %d\r\n", count + 1);
            SEXTARA_DEBUG("Reconnect the server, Times %d\r\n", count + 1);
            PostToPage(platform::MSG_LINK_STATUS);
            if (CheckWait(kPauseBeforeRestart)) break;
            StopReceiveThread();
            socket_.ClearInterrupt();
            if (checkStop_ || giveUp_) break;
            running_ = true;
            receiveThread_ = std::thread(&CorrectionLink::NtripReceiveThread, this);
        }
        SEXTARA_DEBUG("NtripCheck Thread ++++++++\r\n");
    }
    Log("Ntrip Check thread Exit!");
    if (checkStop_) {
        // The user's stop: StopLink does the rest.
        running_ = false;
        active_ = false;
        return;
    }
    StopReceiveThread();
    if (reachedLimit) {
        Log("User Stop!");
        SetStatus("User Stop");
    } else {
        // Refused credentials: the connection ends with the caster's reason in view.
        PostToPage(platform::MSG_LINK_DOWN);
    }
    active_ = false;
}

void CorrectionLink::TcpReceiveThread() {
    bytesReceived_ = 0;
    int budget = kReconnectBudget;
    int attempt = 1;
    int emptyCount = 0;
    Log("Start TCPReceiver...");
    SetStatus("Start TCPReceiver...");
    if (!TcpConnect()) {
        Log("TCPRecSocketConn Failed!");
        std::string reason;
        {
            std::lock_guard<std::mutex> hold(settingsLock_);
            reason = failureReason_;
        }
        if (!reason.empty()) SetStatus(reason);
        running_ = false;
        active_ = false;
        PostToPage(platform::MSG_LINK_DOWN);
        socket_.Close();
        return;
    }
    Log("TCP Server Connect Successfully.");
    SetStatus("Connect TCP Server Successfully!");
    PostToPage(platform::MSG_LINK_UP);
    std::uint8_t buffer[kReceiveBufferBytes];
    while (running_) {
        std::size_t got = 0;
        int error = 0;
        const LinkSocket::Io io =
            socket_.Receive(buffer, sizeof buffer, std::chrono::milliseconds(receiveTimeoutMs_.load()), got, error);
        if (io == LinkSocket::Io::Interrupted) break;
        if (io == LinkSocket::Io::Data) {
            emptyCount = 0;
            Deliver(buffer, got, Kind::Tcp);
            Pause(kPauseAfterChunk, running_);
            continue;
        }
        // A wait without data is no failure by itself; a server that stays
        // silent as long as an NTRIP caster may is.
        if (io == LinkSocket::Io::TimedOut && emptyCount < kEmptyReceivesTolerated) {
            ++emptyCount;
            continue;
        }
        emptyCount = 0;
        Log("Error code: %d", error);
        bool reconnected = false;
        while (budget > 0 && running_) {
            Log("Reconnect: %d", attempt);
            SetStatus(Format("Begin to reconnect, %d Times", attempt));
            --budget;
            ++attempt;
            PostToPage(platform::MSG_LINK_STATUS);
            if (TcpConnect()) {
                budget = 0;
                reconnected = true;
            }
        }
        if (!reconnected) {
            running_ = false;
            active_ = false;
        }
    }
    active_ = false;
    PostToPage(platform::MSG_LINK_DOWN);
    socket_.Close();
}

bool CorrectionLink::FetchSourceTable() {
    lastResult_ = ConnectResult::None;
    socket_.Close();
    const CasterSettings settings = Settings();
    if (!socket_.Open()) {
        Log("SOCKET INVALID_SOCKET Err.\n Update SourceTable failed!");
        return false;
    }
    const auto port = static_cast<std::uint16_t>(settings.port);
    sockaddr_in address{};
    if (!ResolveIpv4(settings.casterAddress, port, address)) {
        Log("Can't resolve caster address %s", settings.casterAddress.c_str());
        lastResult_ = ConnectResult::ConnectFailed;
        socket_.Close();
        return false;
    }
    if (!IsHostName(settings.casterAddress)) {
        Log("IP:%s,Port:%d", settings.casterAddress.c_str(), port);
    } else {
        Log("Use domain IP:%s,Port:%d", DottedAddress(address).c_str(), port);
    }
    int error = 0;
    if (socket_.Connect(address, error) != LinkSocket::Io::Data) {
        Log("SOCKET Connect Err: %d\n Update SourceTable failed!", error);
        lastResult_ = ConnectResult::ConnectFailed;
        socket_.Close();
        return false;
    }
    if (!socket_.SendAll(ComposeSourceTableRequest(settings.casterAddress))) {
        socket_.Close();
        return false;
    }
    SourceTableReceiver receiver;
    std::uint8_t buffer[kTableReadBytes];
    int silentWaits = 0;
    bool done = false;
    while (!done) {
        std::size_t got = 0;
        switch (socket_.Receive(buffer, sizeof buffer, std::chrono::milliseconds(receiveTimeoutMs_.load()), got,
                                error)) {
            case LinkSocket::Io::Data:
                silentWaits = 0;
                done = receiver.Feed(buffer, got);
                break;
            case LinkSocket::Io::Closed:
                receiver.Closed();
                done = true;
                break;
            case LinkSocket::Io::TimedOut:
                if (++silentWaits < kTableSilentWaits) break;
                error = ETIMEDOUT;
                [[fallthrough]];
            case LinkSocket::Io::Error:
                Log("Recv SourceTable Err: %d", error);
                socket_.Close();
                return false;
            case LinkSocket::Io::Interrupted:
                socket_.Close();
                return false;
        }
    }
    socket_.Close();
    if (!receiver.IsSourceTable()) {
        // A refusal or an error page must not replace the table we have.
        const std::string_view first = reply::FirstLine(receiver.Stored());
        Log("Not a SourceTable: %s", LogText(first.empty() ? "(no reply)" : first).c_str());
        lastResult_ = ClassifyRejection(receiver.Stored().substr(0, 256));
        if (lastResult_ == ConnectResult::None) lastResult_ = ConnectResult::UnexpectedReply;
        return false;
    }
    if (receiver.SawEndMarker()) SEXTARA_DEBUG("Find SourceTable \n");
    std::lock_guard<std::mutex> hold(settingsLock_);
    raw_ = receiver.Stored();
    return true;
}

void CorrectionLink::SourceTableThread() {
    bytesReceived_ = 0;
    Log("Start Update SourceTable.");
    if (FetchSourceTable()) {
        const std::string raw = RawSourceTable();
        platform::WriteFileAtomically(platform::DataPath(kSourceTableFileName), raw);
        Log("Finish Update. %d byte.", static_cast<int>(raw.size()));
        ParseSourceTable();
        running_ = false;
        active_ = false;
        SetStatus("Update SourceTable Successfully.");
        PostToPage(platform::MSG_SOURCETABLE_DONE);
        SEXTARA_DEBUG("Update SourceTable Finish.\n");
    } else {
        running_ = false;
        active_ = false;
        SetStatus("Update SourceTable Failed.");
        PostToPage(platform::MSG_SOURCETABLE_FAILED);
    }
}

void CorrectionLink::ReleaseSocket() {
    socket_.Close();
    socket_.ClearInterrupt();
    checkStop_ = false;
    giveUp_ = false;
}

void CorrectionLink::JoinEnded() {
    // The check thread first: it owns the receive-thread slot while it runs.
    if (checkThread_.joinable()) checkThread_.join();
    if (receiveThread_.joinable()) receiveThread_.join();
    ReleaseSocket();
}

bool CorrectionLink::Launch(platform::MessageSink* notify, bool withGga, const char* status,
                            void (CorrectionLink::*receive)(), void (CorrectionLink::*check)()) {
    std::lock_guard<std::mutex> control(controlLock_);
    if (active_) return false;
    JoinEnded();
    SetNotifyTarget(notify);
    if (withGga) BuildGga();
    SetStatus(status);
    running_ = true;
    active_ = true;
    receiveThread_ = std::thread(receive, this);
    if (check != nullptr) checkThread_ = std::thread(check, this);
    return true;
}

bool CorrectionLink::StartNtrip(platform::MessageSink* notify) {
    return Launch(notify, true, "Start Ntrip thread ...", &CorrectionLink::NtripReceiveThread,
                  &CorrectionLink::NtripCheckThread);
}

bool CorrectionLink::StartTcp(platform::MessageSink* notify) {
    return Launch(notify, false, "Begin to Get Data from TCP Server...", &CorrectionLink::TcpReceiveThread);
}

bool CorrectionLink::StartSourceTableUpdate(platform::MessageSink* notify) {
    return Launch(notify, false, "Begin to Get Sourcetable...", &CorrectionLink::SourceTableThread);
}

void CorrectionLink::StopLink() {
    std::lock_guard<std::mutex> control(controlLock_);
    running_ = false;
    active_ = false;
    if (checkThread_.joinable()) {
        checkStop_ = true;
        socket_.Interrupt();
        checkThread_.join();
    }
    // Again: the check thread may have started a receive thread just before it saw the stop.
    running_ = false;
    active_ = false;
    socket_.Interrupt();
    if (receiveThread_.joinable()) receiveThread_.join();
    ReleaseSocket();
    Log("User Stop!");
    SetStatus("User Stop");
}

}  // namespace sextara::corrections
