#include "record/RawRecorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/Debug.h"
#include "platform/ThreadName.h"
#include "receiver/ReceiverCommands.h"
#include "record/RecordFormat.h"

namespace sextara {
namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

bool UsesTrimbleBoardPort(int make) { return make == enDA_Vo || make == enDorir_Iv; }

// One pass of the record thread takes what is queued in pieces of this size.
constexpr std::size_t kReadPiece = 4096;

// Up to 300 ms for the pump to take the last bytes before the path closes.
constexpr int kDrainSteps = 30;
constexpr std::chrono::milliseconds kDrainStep{10};

}  // namespace

RawRecorder::RawRecorder(SerialPort& gpsPort, SerialPort& rawPort, GpsPath& gpsPath, platform::Clock& clock,
                         platform::LogFunction log, Timing timing)
    : gpsPort_(gpsPort),
      rawPort_(rawPort),
      gpsPath_(gpsPath),
      clock_(clock),
      log_(std::move(log)),
      timing_(timing),
      timeSource_(platform::CurrentUtcTime) {}

RawRecorder::~RawRecorder() { Stop("program exit"); }

void RawRecorder::Log(const std::string& line) const {
    if (log_) log_(line.c_str());
}

bool RawRecorder::Start(const std::string& folder, const std::string& name, const RecordOptions& options) {
    Poll();
    auto fail = [this](const std::string& why) {
        std::lock_guard<std::mutex> hold(fileMutex_);
        lastError_ = why;
        return false;
    };
    if (recording_.load() || active_) return fail("a recording runs already");
    // Before anything is stored or created: a name with a way out of the
    // folder would write where the user never chose.
    if (const RecordNameFault fault = CheckRecordName(name); fault != RecordNameFault::None) {
        return fail(RecordNameFaultText(fault, true));
    }
    const int mode = options.mode != 0 ? kRecordNormal : kRecordRaw;
    // Without the path nothing would reach the file; say so now rather than
    // leave an empty file that looks like a recording.
    if (mode == kRecordNormal && !gpsPath_.GpsPortOpen()) return fail("the GPS port is not open");
    const std::string path = RecordFilePath(mode, options.make, folder, name, timeSource_());
    if (path.empty()) return fail("path too long");
    // O_EXCL: no window between a look for the file and its creation, and an
    // existing file (the same name at the same minute on another day) is
    // never overwritten.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int error = errno;
        return fail(path + ": " + (error == EEXIST ? std::string("file exists") : ErrnoText(error)));
    }
    {
        std::lock_guard<std::mutex> hold(fileMutex_);
        fd_ = fd;
        path_ = path;
        lastError_.clear();
        lastEnd_.clear();
        startTime_ = clock_.Now();
        endTime_ = startTime_;
        timed_ = true;
    }
    mode_ = mode;
    bytes_ = 0;
    fault_ = false;
    gone_ = false;
    recording_ = true;
    active_ = true;
    if (mode == kRecordNormal) {
        gpsPath_.SetRecordHook([this](const std::uint8_t* bytes, std::size_t count) { WriteBlock(bytes, count); });
    } else if (!StartRaw(options)) {
        TearDown();
        std::lock_guard<std::mutex> hold(fileMutex_);
        ::close(fd_);
        fd_ = -1;
        recording_ = false;
        // Nothing was recorded: an empty file would only mislead on the card.
        ::unlink(path.c_str());
        lastEnd_ = lastError_;
        return false;
    }
    Log("Record started: " + path);
    return true;
}

bool RawRecorder::StartRaw(const RecordOptions& options) {
    int port = kRawPort;
    int baud = kRawBaud;
    if (UsesTrimbleBoardPort(options.make)) {
        port = kRawPortTrimbleBoard;
        baud = kRawBaudTrimbleBoard;
    } else {
        SendRawPortBaudCommand(options.make, gpsPort_, clock_);
        clock_.SleepFor(timing_.afterPortBaud);
    }
    if (!rawPort_.Open(port, baud)) {
        SEXTARA_DEBUG("Open Port Failed!\n");
        const std::string why = "cannot open raw data port COM" + std::to_string(port) + " (" +
                                rawPort_.LastOpenError() + ")";
        Log("Record not started: " + why);
        std::lock_guard<std::mutex> hold(fileMutex_);
        lastError_ = why;
        return false;
    }
    droppedSeen_ = rawPort_.DroppedRxBytes();
    rawPort_.StartThreads();
    clock_.SleepFor(timing_.afterThreads);
    SendRawLogCommands(options.make, rawPort_, options.intervalCode, options.cutoffAngle, clock_);
    clock_.SleepFor(timing_.afterRawLog);
    stopEvent_.Reset();
    try {
        thread_ = std::thread([this] {
            platform::NameThisThread("raw record");
            RecordLoop();
        });
    } catch (const std::system_error& error) {
        SEXTARA_DEBUG("record thread not started: %s\n", error.what());
        std::lock_guard<std::mutex> hold(fileMutex_);
        lastError_ = "record thread not started";
        return false;
    }
    return true;
}

// Each pass takes everything queued: at 57600 baud a second port delivers
// 5.7 kB/s, far more than one small read per pause would keep up with.
void RawRecorder::RecordLoop() {
    std::array<std::uint8_t, kReadPiece> buffer{};
    bool stopping = false;
    while (true) {
        std::size_t pass = 0;
        for (;;) {
            const std::size_t n = rawPort_.Read(buffer.data(), buffer.size());
            if (n == 0) break;
            pass += n;
            WriteBlock(buffer.data(), n);
        }
        SEXTARA_DEBUG("RawData ReadLen %zu\n", pass);
        const std::uint64_t dropped = rawPort_.DroppedRxBytes();
        if (dropped != droppedSeen_) {
            Log("Raw data lost: " + std::to_string(dropped - droppedSeen_) + " bytes overflowed the port queue");
            droppedSeen_ = dropped;
        }
        if (stopping) return;
        const auto wait = pass == 0 ? timing_.waitIdle : pass > 512 ? timing_.waitBusy : timing_.waitOther;
        // One last pass after the stop takes what arrived meanwhile.
        stopping = stopEvent_.Wait(wait);
    }
}

void RawRecorder::WriteBlock(const std::uint8_t* bytes, std::size_t count) {
    std::lock_guard<std::mutex> hold(fileMutex_);
    if (fd_ < 0 || count == 0) return;
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, bytes + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            bytes_ += done;
            FailLocked("write failed (" + ErrnoText(error) + ")");
            return;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes_ += done;
    // A flush only reaches the kernel; fdatasync reaches the card.
    if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        FailLocked("sync failed (" + ErrnoText(errno) + ")");
        return;
    }
    EndIfGoneLocked();
}

bool RawRecorder::EndIfGoneLocked() {
    // Writes into a file that was unlinked (the file or its folder deleted)
    // succeed and land nowhere: the link count is the only sign.
    struct stat info {};
    if (fd_ < 0 || !recording_.load() || ::fstat(fd_, &info) != 0 || info.st_nlink > 0) return false;
    gone_ = true;
    FailLocked("the file " + path_ + " is gone (deleted, or its card removed)", false);
    return true;
}

void RawRecorder::FailLocked(const std::string& why, bool kept) {
    ::close(fd_);
    fd_ = -1;
    recording_ = false;
    fault_ = true;
    endTime_ = clock_.Now();
    lastEnd_ = why;
    Log("Record stopped: " + why +
        (kept ? ", " + std::to_string(bytes_.load()) + " bytes kept in " + path_ : std::string()));
}

void RawRecorder::SetEnd(const std::string& why, bool fault) {
    std::lock_guard<std::mutex> hold(fileMutex_);
    if (EndIfGoneLocked()) return;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!recording_.load()) return;  // a write error has told its own story
    recording_ = false;
    fault_ = fault;
    endTime_ = clock_.Now();
    lastEnd_ = why;
    if (fault) {
        Log("Record stopped: " + why + ", " + std::to_string(bytes_.load()) + " bytes kept in " + path_);
    } else {
        Log("Record stopped: " + std::to_string(bytes_.load()) + " bytes in " + path_);
    }
}

void RawRecorder::TearDown() {
    if (thread_.joinable()) {
        stopEvent_.Set();
        thread_.join();
    }
    // Once this returns no hook call is under way: the file may be closed.
    if (mode_ == kRecordNormal) gpsPath_.SetRecordHook(nullptr);
    if (mode_ == kRecordRaw) rawPort_.Stop();
    active_ = false;
}

void RawRecorder::Stop(const std::string& why) {
    if (!active_) return;
    TearDown();
    SetEnd(why, false);
}

void RawRecorder::OnGpsPathClosing(const std::string& why) {
    if (!active_ || mode_ != kRecordNormal) return;
    // What the receiver sent before the path closes belongs in the file: the
    // pump still runs, so give it a few periods to take what is queued.
    for (int i = 0; i < kDrainSteps && gpsPath_.GpsPortOpen() && gpsPort_.QueuedRxBytes() > 0; ++i) {
        clock_.SleepFor(kDrainStep);
    }
    if (gpsPath_.GpsPortOpen()) clock_.SleepFor(kDrainStep);
    TearDown();
    SetEnd(why, true);
}

void RawRecorder::Poll() {
    if (!active_) return;
    {
        // Also when nothing arrives to be written.
        std::lock_guard<std::mutex> hold(fileMutex_);
        EndIfGoneLocked();
    }
    if (!recording_.load()) {
        TearDown();
        SetEnd({}, true);
    } else if (mode_ == kRecordNormal && !gpsPath_.GpsPortOpen()) {
        OnGpsPathClosing("GPS port closed");
    }
}

std::int64_t RawRecorder::Seconds() const {
    std::lock_guard<std::mutex> hold(fileMutex_);
    if (!timed_) return 0;
    const auto end = recording_.load() ? clock_.Now() : endTime_;
    return std::chrono::duration_cast<std::chrono::seconds>(end - startTime_).count();
}

std::string RawRecorder::FilePath() const {
    std::lock_guard<std::mutex> hold(fileMutex_);
    return path_;
}

std::string RawRecorder::LastError() const {
    std::lock_guard<std::mutex> hold(fileMutex_);
    return lastError_;
}

std::string RawRecorder::LastEnd() const {
    std::lock_guard<std::mutex> hold(fileMutex_);
    return lastEnd_;
}

}  // namespace sextara
