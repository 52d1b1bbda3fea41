#include "app/EventLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/Paths.h"
#include "platform/SystemTime.h"

namespace sextara {
namespace {

// "[hh:mm:ss] " (11) + message (498) + "\r\n" (2) + NUL = 512.
constexpr int kMaxMessageBytes = 498;
constexpr std::size_t kEntryBufferBytes = 512;

LogTime SystemLogTime() {
    const platform::UtcTime now = platform::CurrentUtcTime();
    return LogTime{now.hour, now.minute, now.second};
}

std::atomic<LogTimeSource>& TimeSource() {
    static std::atomic<LogTimeSource> source{&SystemLogTime};
    return source;
}

// The log cannot hold this line about itself; it goes to stderr, once per run.
void ReportNotRegular(const std::string& path) {
    static std::atomic<bool> reported{false};
    if (reported.exchange(true)) return;
    std::fprintf(stderr, "sextara: %s is not a regular file; the event log is not kept\n", path.c_str());
}

}  // namespace

void SetLogTimeSource(LogTimeSource source) {
    TimeSource().store(source != nullptr ? source : &SystemLogTime);
}

std::string FormatLogEntry(const char* message, const LogTime& time) {
    char entry[kEntryBufferBytes];
    const int length = std::snprintf(entry, sizeof entry, "[%02d:%02d:%02d] %.*s\r\n", time.hour, time.minute,
                                     time.second, kMaxMessageBytes, message != nullptr ? message : "");
    if (length < 0) {
        return {};
    }
    return std::string(entry, std::min(static_cast<std::size_t>(length), sizeof entry - 1));
}

void AppendLog(const char* message) {
    const std::string entry = FormatLogEntry(message, TimeSource().load()());
    const std::string path = platform::DataPath(kEventLogFileName);
    // O_APPEND puts every write at the end at the time of the write; O_DSYNC
    // gets the line to the disk before a crash or a pulled battery can lose it.
    // O_NONBLOCK: a FIFO in the log's place would otherwise hold the caller
    // until some reader came along.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_DSYNC | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat info {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        ReportNotRegular(path);
        return;
    }
    if (fd < 0) {
        if (errno == ENXIO) ReportNotRegular(path);  // a FIFO that nobody reads
        return;
    }
    ssize_t written;
    do {
        written = ::write(fd, entry.data(), entry.size());
    } while (written < 0 && errno == EINTR);
    ::close(fd);
}

}  // namespace sextara
