#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/MessageSink.h"
#include "platform/SerialDevice.h"
#include "platform/StringTable.h"

namespace sextara {

// Finds the rate at which a receiver answers the probe of its make, and puts
// a receiver back to its factory defaults and then to 57600 baud. It talks to
// the receiver on its own handle to the port, so the GPS path must be closed
// while it runs (both open the port exclusively).
//
// DetectBaud and RestoreDefaults block for seconds (a silent rate costs about
// 10 s of probing) and are meant for a worker thread; RunDetection and
// RunRestore are the whole worker bodies. Progress goes to the owner: status
// lines and the rate found are sent (the worker waits until they have been
// handled), the end of a job is posted. One thread at a time uses a detector.
class PortDetector {
public:
    // Trial order when the configured rate does not answer.
    static constexpr int kBaudRates[] = {9600, 19200, 38400, 57600, 115200};
    // The rate the receiver's command port is set to by a restore.
    static constexpr int kRestoredBaud = 57600;
    // Probe tries: about 10 s in all when nothing answers. The commands of a
    // restore get fewer.
    static constexpr int kProbeTries = 5;
    static constexpr int kCommandTries = 3;
    // One try waits this long for the answer before the command is repeated.
    static constexpr std::chrono::milliseconds kAnswerWindow{2000};
    // Between two looks at the line, and between the two first sends.
    static constexpr std::chrono::milliseconds kPollPause{50};
    // Idle time after which a read returns what it has.
    static constexpr int kReadIntervalMs = 10;
    // One Receive takes at most this much.
    static constexpr std::size_t kReceiveBytes = 2048;
    // One Send writes at most this much.
    static constexpr std::size_t kSendBytes = 512;

    explicit PortDetector(platform::Clock& clock = platform::SystemClock());
    PortDetector(const PortDetector&) = delete;
    PortDetector& operator=(const PortDetector&) = delete;

    // Where progress goes and which string table the status lines come
    // from. Without an owner nothing is reported; without a table the
    // program's own texts are used.
    void SetOwner(platform::MessageSink* owner, const platform::StringTable* strings);

    // Opens "COMn:" at baudRate and probes; then every other rate of
    // kBaudRates. On success sends the rate found (2029) and returns 1. The
    // port is closed again on every return.
    int DetectBaud(int portNumber, int baudRate, int make);
    // Resets a receiver of the make of the last detection (NovAtel when none
    // ran) and sets its command port to 57600 baud; 1 on success. A Trimble
    // is left alone and reported restored. The port may be left open: the
    // caller closes it with ClosePort.
    int RestoreDefaults(int portNumber, int baudRate);
    void ClosePort();

    // From any thread: the running job gives up. Every wait of it ends at
    // once, nothing more is written to the port or reported to the owner,
    // and the job returns 0 with the port closed (a restore does not reopen
    // the GPS path). The request holds until ClearStopRequest, which whoever
    // starts the next job calls first.
    void RequestStop();
    void ClearStopRequest();
    bool StopRequested() const { return stop_.load(); }

    // Worker body of the start-up dialog's detection: DetectBaud, then posts
    // 2026 with the result.
    int RunDetection(int portNumber, int baudRate, int make);

    struct RestoreOutcome {
        int restored = 0;
        int gpsBaud = 0;      // 57600 after a restore, else the rate given
        int gpsReopened = 0;  // openGpsPort's result
        bool stopped = false;  // a stop request ended it; nothing was reopened
    };
    // Worker body of the restore action. The caller closes the GPS path and
    // waits 50 ms before starting it. Posts 2027 with the result, closes the
    // detector's port, calls openGpsPort(portNumber, gpsBaud) (which also
    // stores the rate as the GPS rate) and posts 2030 with its result; after
    // a stop request only the port is closed.
    RestoreOutcome RunRestore(int portNumber, int baudRate, const std::function<int(int, int)>& openGpsPort);

    // Sends the command, waits 50 ms, sends it again, then looks for the
    // expected text in what arrives. A try that sees no answer within 2 s
    // repeats the first resendLength bytes of the command; after `tries`
    // such tries it gives up (0). An empty expected text takes any byte as
    // the answer. Null command or expected text: 0 at once.
    int WaitForAck(const std::uint8_t* command, std::size_t length, std::size_t resendLength,
                   const char* expected, int tries);
    int WaitForAck(std::string_view command, std::size_t resendLength, const char* expected, int tries);

    // 1 when the line took the rate (and was purged), else 0 and the port is
    // closed.
    int SetRate(int baudRate);
    // Writes at most kSendBytes; the count written, 0 when closed or failed.
    int Send(const std::uint8_t* bytes, std::size_t length);
    // Reads what has arrived, up to kReceiveBytes, without waiting for a
    // first byte. `text` gets the bytes up to the first zero byte; the
    // result is the count read.
    int Receive(std::string& text);

    bool IsOpen() const { return device_.IsOpen(); }
    bool Answered() const { return answered_; }
    int ProbeResult() const { return probeResult_; }
    int Make() const { return make_; }
    // The last status line and its string-table id (0 before the first).
    // Status lines reach the owner as 2025 with the text by value and the id
    // in lParam.
    const std::string& StatusText() const { return statusText_; }
    int StatusId() const { return statusId_; }
    // Every byte written to the port since construction.
    std::uint64_t BytesWritten() const { return bytesWritten_; }

private:
    bool OpenPort(int portNumber);
    int Probe();
    int ProbeAtRates(int firstBaud);
    void CloseHandle();
    void ShowStatus(int id, int first = 0, int second = 0);
    void SendToOwner(std::intptr_t code, std::intptr_t value, std::string text = {});
    void PostToOwner(std::intptr_t code, std::intptr_t value);
    // Every pause of a job: ends at once on a stop request.
    void Pause(std::chrono::milliseconds duration);
    void AppendReceived(const std::string& text);
    // The command that ends a restore at the new rate, and its answer.
    struct ClosingCommand {
        std::string command;
        std::string answer;
    };
    bool RestoreNovatel(ClosingCommand& closing);
    bool RestoreHemisphere(ClosingCommand& closing);
    int SendText(std::string_view text);

    platform::Clock& clock_;
    platform::SerialDevice device_;
    platform::MessageSink* owner_ = nullptr;
    const platform::StringTable* strings_ = nullptr;
    bool answered_ = false;
    int probeResult_ = 0;
    // The make of the last detection; restores before any detection treat
    // the receiver as a NovAtel.
    int make_ = 0;
    std::string statusText_;
    int statusId_ = 0;
    std::string received_;
    std::string expected_;
    // Bytes written since the line rate was last set: they must leave at
    // that rate before it changes.
    std::size_t writtenAtRate_ = 0;
    std::uint64_t bytesWritten_ = 0;
    std::atomic<bool> stop_{false};
    platform::Event wake_;  // cuts the pause that runs when a stop comes
};

// The status line of a string-table id with its numbers filled in, from the
// given table or, without one, from the program's own texts.
std::string FormatStatusLine(const platform::StringTable* strings, int id, int first = 0, int second = 0);

}  // namespace sextara
