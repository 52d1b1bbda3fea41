#include "receiver/PortDetector.h"

#include <termios.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>

#include "platform/Debug.h"
#include "platform/Messages.h"
#include "platform/StringIds.h"
#include "receiver/ReceiverMakes.h"

namespace sextara {
namespace {

using platform::StringId;
using std::chrono::milliseconds;

// After a factory reset the receiver needs a moment before it listens at its
// default rate.
constexpr milliseconds kResetPause{10};
// A USB adapter reports its output drained while the last bytes are still in
// its own FIFO; changing the rate then would garble them.
constexpr milliseconds kRateSettle{20};

// Makes without a probe send nothing and take any byte as the answer. Not a
// zero-length array: its data() would be null, which reads as no command.
constexpr std::uint8_t kNoProbe[1] = {};

std::string NovatelCommand(const char* text) {
    return std::string(text) + "\r\n";
}
std::string HemisphereCommand(const char* text) {
    return "$" + std::string(text) + "\r\n";
}
std::string HemisphereAnswer(const char* text) {
    return "$>" + std::string(text);
}

}  // namespace

std::string FormatStatusLine(const platform::StringTable* strings, int id, int first, int second) {
    if (strings != nullptr) return strings->Format(id, first, second);
    // The status texts take at most two %d; printf ignores unused arguments.
    const std::string format(platform::StringTable::OwnString(id));
    const int length = std::snprintf(nullptr, 0, format.c_str(), first, second);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format.c_str(), first, second);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

PortDetector::PortDetector(platform::Clock& clock) : clock_(clock) {}

void PortDetector::SetOwner(platform::MessageSink* owner, const platform::StringTable* strings) {
    owner_ = owner;
    strings_ = strings;
}

void PortDetector::ShowStatus(int id, int first, int second) {
    statusId_ = id;
    statusText_ = FormatStatusLine(strings_, id, first, second);
    SendToOwner(platform::kWorkerStatusText, id, statusText_);
}

// Whoever asked for the stop is no longer listening for this job.
void PortDetector::SendToOwner(std::intptr_t code, std::intptr_t value, std::string text) {
    if (owner_ != nullptr && !StopRequested()) {
        owner_->Send({platform::kMsgWorkerProgress, code, value, std::move(text)});
    }
}

void PortDetector::PostToOwner(std::intptr_t code, std::intptr_t value) {
    if (owner_ != nullptr && !StopRequested()) owner_->Post({platform::kMsgWorkerProgress, code, value, {}});
}

void PortDetector::RequestStop() {
    stop_ = true;
    wake_.Set();
}

void PortDetector::ClearStopRequest() {
    stop_ = false;
    wake_.Reset();
}

void PortDetector::Pause(std::chrono::milliseconds duration) {
    if (!StopRequested()) clock_.SleepUnless(wake_, duration);
}

bool PortDetector::OpenPort(int portNumber) {
    CloseHandle();
    if (!device_.Open(portNumber)) return false;
    device_.SetReadIntervalMs(kReadIntervalMs);
    return true;
}

void PortDetector::CloseHandle() {
    device_.Close();
    writtenAtRate_ = 0;
}

void PortDetector::ClosePort() {
    if (!device_.IsOpen()) return;
    answered_ = false;
    CloseHandle();
}

int PortDetector::SetRate(int baudRate) {
    if (!device_.IsOpen()) return 0;
    if (writtenAtRate_ > 0) {
        // What was written at the old rate has to be on the wire before the
        // rate changes under it.
        device_.Drain();
        Pause(kRateSettle);
    }
    // No 128-byte driver buffers to ask for: a Linux tty sizes its own.
    if (!device_.SetBaud(baudRate)) {
        CloseHandle();
        return 0;
    }
    // Only what came in at the old rate is stale. The output was drained, and
    // where a driver's drain returns before the reader took the bytes (a pty,
    // some USB adapters) flushing it would drop the last command unsent.
    device_.PurgeReceive();
    writtenAtRate_ = 0;
    return 1;
}

int PortDetector::Send(const std::uint8_t* bytes, std::size_t length) {
    if (!device_.IsOpen() || bytes == nullptr || StopRequested()) return 0;
    const long written = device_.Write(bytes, std::min(length, kSendBytes));
    if (written <= 0) return 0;
    writtenAtRate_ += static_cast<std::size_t>(written);
    bytesWritten_ += static_cast<std::uint64_t>(written);
    return static_cast<int>(written);
}

int PortDetector::SendText(std::string_view text) {
    return Send(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

int PortDetector::Receive(std::string& text) {
    std::array<std::uint8_t, kReceiveBytes> buffer;
    text.clear();
    if (!device_.IsOpen()) return 0;
    const long count = device_.Read(buffer.data(), buffer.size(), 0);
    if (count <= 0) return 0;
    // Copied as text: a zero byte ends the copy (binary answers are not
    // searched past it), though every byte counts as received.
    const auto* end = std::find(buffer.data(), buffer.data() + count, std::uint8_t{0});
    text.assign(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(end - buffer.data()));
    return static_cast<int>(count);
}

void PortDetector::AppendReceived(const std::string& text) {
    received_ += text;
    // A receiver streaming at 115200 fills about 23 kB per answer window.
    // Whatever could still hold the start of the expected text is kept;
    // every earlier match has been looked for already.
    constexpr std::size_t kKeepBytes = kReceiveBytes;
    if (received_.size() > 4 * kKeepBytes) received_.erase(0, received_.size() - kKeepBytes);
}

int PortDetector::WaitForAck(const std::uint8_t* command, std::size_t length, std::size_t resendLength,
                             const char* expected, int tries) {
    if (command == nullptr || expected == nullptr) {
        SEXTARA_DEBUG("Para InValid\n");
        return 0;
    }
    int triesLeft = std::max(tries, 1);
    resendLength = std::min(resendLength, length);
    Send(command, length);
    Pause(kPollPause);
    Send(command, length);

    received_.clear();
    expected_ = expected;
    // Each look at the line counts for at least one poll pause of the answer
    // window, so a clock that stands still cannot hold the loop for ever.
    constexpr int kPollsPerWindow = static_cast<int>(kAnswerWindow / kPollPause);
    auto windowStart = clock_.Now();
    int polls = 0;
    std::string chunk;
    for (;;) {
        if (triesLeft < 1 || StopRequested()) return 0;
        if (Receive(chunk) > 0) {
            AppendReceived(chunk);
            if (received_.find(expected_) != std::string::npos) break;
        }
        if (clock_.Now() - windowStart >= kAnswerWindow || polls >= kPollsPerWindow) {
            received_.clear();
            --triesLeft;
            Send(command, resendLength);
            windowStart = clock_.Now();
            polls = 0;
        }
        Pause(kPollPause);
        ++polls;
    }
    SEXTARA_DEBUG("Find ACK\n");
    received_.clear();
    return 1;
}

int PortDetector::WaitForAck(std::string_view command, std::size_t resendLength, const char* expected,
                             int tries) {
    return WaitForAck(reinterpret_cast<const std::uint8_t*>(command.data()), command.size(), resendLength,
                      expected, tries);
}

int PortDetector::Probe() {
    const DetectionProbe& probe = ReceiverMakeOf(make_).probe;
    const std::uint8_t* bytes = probe.command.empty() ? kNoProbe : probe.command.data();
    const std::string answer(probe.answer);
    probeResult_ = WaitForAck(bytes, probe.command.size(), probe.resendLength, answer.c_str(), kProbeTries);
    return probeResult_;
}

// Sets and probes firstBaud, then every other rate of the list in order;
// the rate that answered, or 0.
int PortDetector::ProbeAtRates(int firstBaud) {
    if (SetRate(firstBaud) && Probe()) return firstBaud;
    for (int baud : kBaudRates) {
        if (StopRequested()) break;
        if (baud == firstBaud) continue;
        if (SetRate(baud) && Probe()) return baud;
    }
    return 0;
}

int PortDetector::DetectBaud(int portNumber, int baudRate, int make) {
    if (!OpenPort(portNumber)) {
        ShowStatus(StringId::kPortOpenFailed);
        return 0;
    }
    if (!SetRate(baudRate)) {
        CloseHandle();
        return 0;
    }
    ShowStatus(StringId::kDetectPortOpened, portNumber, baudRate);
    make_ = make;
    probeResult_ = 0;

    int found = Probe() ? baudRate : 0;
    if (found == 0) {
        answered_ = false;
        ShowStatus(StringId::kDetectRateFailed, baudRate);
        for (int baud : kBaudRates) {
            if (StopRequested()) break;
            if (baud == baudRate || !SetRate(baud)) continue;
            ShowStatus(StringId::kDetectScanning, baud);
            SEXTARA_DEBUG("%s\n", statusText_.c_str());
            if (Probe()) {
                found = baud;
                break;
            }
        }
    }
    if (found == 0) {
        answered_ = false;
        CloseHandle();
        ShowStatus(StringId::kDetectNoRate);
        return 0;
    }

    SendToOwner(platform::kWorkerBaudFound, found);
    answered_ = true;
    const auto afterFound = ReceiverMakeOf(make_).probe.afterFound;
    if (!afterFound.empty()) Send(afterFound.data(), afterFound.size());
    ShowStatus(StringId::kDetectRateFound, found);
    // Closed without ClosePort: `answered` keeps telling that this detection
    // succeeded.
    CloseHandle();
    return 1;
}

int PortDetector::RestoreDefaults(int portNumber, int baudRate) {
    const ReceiverMake& make = ReceiverMakeOf(make_);
    // The Trimble's defaults are not ours to restore through this port.
    if (make.restore == RestoreFlow::kLeaveAlone) return 1;

    if (!OpenPort(portNumber)) {
        ShowStatus(StringId::kPortOpenFailed);
        return 0;
    }
    if (!SetRate(baudRate)) return 0;
    ShowStatus(StringId::kResetting);

    int expectedBaud = baudRate;
    if (!make.reset.command.empty()) {
        SendText(make.reset.command);
        SendText(make.reset.command);
        Pause(kResetPause);
        expectedBaud = make.reset.baudAfter;
    }
    if (ProbeAtRates(expectedBaud) == 0) {
        ShowStatus(StringId::kResetFailed);
        CloseHandle();
        return 0;
    }

    // Makes without a closing command take any byte as its answer.
    ClosingCommand closing;
    if (make.restore == RestoreFlow::kNovatel || make.restore == RestoreFlow::kCompass) {
        if (!RestoreNovatel(closing)) return 0;
    } else if (make.restore == RestoreFlow::kHemisphere) {
        if (!RestoreHemisphere(closing)) return 0;
    }

    if (!SetRate(kRestoredBaud) || !Probe()) return 0;
    return WaitForAck(closing.command, closing.command.size(), closing.answer.c_str(), kCommandTries);
}

// Stops the logs, sets the second port, then this one, to 57600.
bool PortDetector::RestoreNovatel(ClosingCommand& closing) {
    const bool compass = ReceiverMakeOf(make_).restore == RestoreFlow::kCompass;
    const std::string unlogall = NovatelCommand("unlogall");
    if (!WaitForAck(unlogall, unlogall.size(), "", kCommandTries)) return false;
    ShowStatus(StringId::kDataPortRate);
    const char* answer = compass ? "OK!" : "<OK";
    if (!compass) {
        const std::string talker = NovatelCommand("nmeatalker auto");
        if (!WaitForAck(talker, talker.size(), "<OK", kCommandTries)) return false;
    }
    const std::string com2 = NovatelCommand("com com2 57600");
    if (!WaitForAck(com2, com2.size(), answer, kCommandTries)) return false;
    ShowStatus(StringId::kDataPortRateDone);
    ShowStatus(StringId::kCommandPortRate);
    // The receiver answers this one at the new rate, so there is nothing to
    // wait for here.
    const std::string com1 = NovatelCommand("com com1 57600");
    SendText(com1);
    SendText(com1);
    closing = {NovatelCommand("saveconfig"), answer};
    return true;
}

bool PortDetector::RestoreHemisphere(ClosingCommand& closing) {
    const std::string off = HemisphereCommand("JOFF");
    if (!WaitForAck(off, off.size(), "$>", kCommandTries)) return false;
    ShowStatus(StringId::kDataPortRate);
    const std::string other = HemisphereCommand("JBAUD,57600,OTHER");
    if (!WaitForAck(other, other.size(), HemisphereAnswer("JBAUD,57600,OTHER").c_str(), kCommandTries)) {
        return false;
    }
    ShowStatus(StringId::kCommandPortRate);
    const std::string self = HemisphereCommand("JBAUD,57600");
    SendText(self);
    SendText(self);
    closing = {HemisphereCommand("JSAVE"), "$> Save Complete"};
    return true;
}

int PortDetector::RunDetection(int portNumber, int baudRate, int make) {
    const int found = DetectBaud(portNumber, baudRate, make);
    PostToOwner(platform::kWorkerDetectDone, found);
    return found;
}

PortDetector::RestoreOutcome PortDetector::RunRestore(int portNumber, int baudRate,
                                                      const std::function<int(int, int)>& openGpsPort) {
    RestoreOutcome outcome;
    outcome.restored = RestoreDefaults(portNumber, baudRate);
    if (StopRequested()) {
        outcome.stopped = true;
        outcome.restored = 0;
        outcome.gpsBaud = baudRate;
        ClosePort();
        return outcome;
    }
    outcome.gpsBaud = outcome.restored ? kRestoredBaud : baudRate;
    PostToOwner(platform::kWorkerRestoreDone, outcome.restored);
    ClosePort();
    outcome.gpsReopened = openGpsPort ? openGpsPort(portNumber, outcome.gpsBaud) : 0;
    PostToOwner(platform::kWorkerGpsReopened, outcome.gpsReopened);
    return outcome;
}

}  // namespace sextara
