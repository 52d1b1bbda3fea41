#include "app/EventLog.h"

#include <fcntl.h>
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
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_DSYNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    ssize_t written;
    do {
        written = ::write(fd, entry.data(), entry.size());
    } while (written < 0 && errno == EINTR);
    ::close(fd);
}

}  // namespace sextara
