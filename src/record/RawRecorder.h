#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/LogFunction.h"
#include "platform/SystemTime.h"
#include "receiver/GpsPath.h"
#include "receiver/SerialPort.h"

namespace sextara {

// What a recording is started with: the stored recording settings.
struct RecordOptions {
    int mode = 0;           // kRecordRaw or kRecordNormal
    int intervalCode = 3;   // INTERVAL, handed to the raw-log commands
    int cutoffAngle = 10;   // CUTOFF, degrees
    int make = 8;           // receiver make, for the file name and the commands
};

// The pauses around raw-mode start and the record thread's waits; tests
// shorten the thread's waits, the start pauses go through the clock.
struct RecorderTiming {
    std::chrono::milliseconds afterPortBaud{1000};
    std::chrono::milliseconds afterThreads{100};
    std::chrono::milliseconds afterRawLog{500};
    std::chrono::milliseconds waitIdle{500};   // after a pass that read nothing
    std::chrono::milliseconds waitBusy{200};   // after a pass of more than 512 bytes
    std::chrono::milliseconds waitOther{300};
};

// Writes what the receiver sends into one file from start to stop.
//
// Raw mode tells the receiver to send raw observations out of its second
// port, opens that port as `rawPort` and copies everything arriving there on
// a record thread of its own. Normal mode appends, through the GPS path's
// record hook, every block the pump takes from the receiver's port: the same
// bytes the decoder gets.
//
// The file is created exclusively (an existing file is never touched) and
// every block is followed by fdatasync, so a power cut loses at most the
// block being written. A write error ends the recording on the spot: the file
// keeps every byte written before it, the event log and LastEnd() tell why,
// and the GPS path is not disturbed. A file deleted under the recording (its
// folder removed, its card pulled) ends it too, as gone, not as kept.
//
// Start, Stop, Poll and OnGpsPathClosing are for one controlling thread (the
// window thread); the queries may come from any thread.
class RawRecorder {
public:
    using Timing = RecorderTiming;
    using TimeSource = std::function<platform::UtcTime()>;

    // Raw port numbers and rates.
    static constexpr int kRawPort = 4;
    static constexpr int kRawBaud = 57600;
    static constexpr int kRawPortTrimbleBoard = 2;  // enDA_Vo, enDorir_Iv
    static constexpr int kRawBaudTrimbleBoard = 38400;

    RawRecorder(SerialPort& gpsPort, SerialPort& rawPort, GpsPath& gpsPath, platform::Clock& clock,
                platform::LogFunction log = {}, Timing timing = {});
    // Stops a running recording.
    ~RawRecorder();
    RawRecorder(const RawRecorder&) = delete;
    RawRecorder& operator=(const RawRecorder&) = delete;

    // True when the recording runs. False, with LastError() telling why, when
    // one runs already, the name is refused (CheckRecordName), the path is too long, the file exists or cannot be
    // created, the GPS path is not running (normal mode) or the raw port
    // cannot be opened (raw mode; the empty file is removed again).
    bool Start(const std::string& folder, const std::string& name, const RecordOptions& options);
    // Ends the recording: the record thread or the hook first, then the file,
    // then the raw port. Does nothing when idle. `why` goes to LastEnd().
    void Stop(const std::string& why = "stopped");
    // The GPS path is about to close (port console, restore, detection, a
    // lost receiver): a normal-mode recording ends, saying why.
    void OnGpsPathClosing(const std::string& why);
    // Once a second from the controlling thread: takes down a recording that
    // a write error ended, and a normal-mode one whose GPS path has closed
    // without OnGpsPathClosing.
    void Poll();

    // 1 while the file is open and written.
    bool IsRecording() const { return recording_.load(); }
    // Bytes written to the file since the start (both modes).
    std::uint64_t ByteCount() const { return bytes_.load(); }
    // Seconds since the start of the running (or last) recording.
    std::int64_t Seconds() const;
    std::string FilePath() const;
    int Mode() const { return mode_; }
    // Why the last start failed.
    std::string LastError() const;
    // Why the last recording ended ("stopped" for Stop), empty while one runs.
    std::string LastEnd() const;
    // True when the last recording ended by a fault (write error, lost path,
    // the file gone).
    bool EndedByFault() const { return fault_.load(); }
    // True when the file of the last recording was deleted (or its card
    // pulled) while it ran: what was written is not on the card.
    bool FileGone() const { return gone_.load(); }

    // Start time for the file name; the system's UTC clock by default.
    void SetTimeSource(TimeSource source) { timeSource_ = std::move(source); }

private:
    bool StartRaw(const RecordOptions& options);
    void RecordLoop();
    // Appends under the file lock; a failure closes the file and ends the
    // recording. Any thread.
    void WriteBlock(const std::uint8_t* bytes, std::size_t count);
    // kept: the bytes written so far are in the file, and the log says so.
    void FailLocked(const std::string& why, bool kept = true);
    // Ends the recording when its file has no link left; true when it did.
    bool EndIfGoneLocked();
    // Takes down thread, hook, file and port; the controlling thread's.
    void TearDown();
    void SetEnd(const std::string& why, bool fault);
    void Log(const std::string& line) const;

    SerialPort& gpsPort_;
    SerialPort& rawPort_;
    GpsPath& gpsPath_;
    platform::Clock& clock_;
    const platform::LogFunction log_;
    const Timing timing_;
    TimeSource timeSource_;

    std::atomic<bool> recording_{false};
    std::atomic<bool> fault_{false};
    std::atomic<bool> gone_{false};
    std::atomic<std::uint64_t> bytes_{0};
    bool active_ = false;  // thread, hook or port to take down
    int mode_ = 0;

    mutable std::mutex fileMutex_;  // the descriptor, the texts, the times
    int fd_ = -1;
    std::string path_;
    std::string lastError_;
    std::string lastEnd_;
    platform::Clock::TimePoint startTime_{};
    platform::Clock::TimePoint endTime_{};
    bool timed_ = false;

    platform::Event stopEvent_;
    std::thread thread_;
    std::uint64_t droppedSeen_ = 0;  // the record thread's
};

}  // namespace sextara
