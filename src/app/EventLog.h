#pragma once

#include <string>

namespace sextara {

// Field problems go to "Mylog.txt" in the data folder, one line each:
// "[hh:mm:ss] message\r\n" in UTC. Any thread may write; each entry opens the
// file for appending, writes in one call and closes it, so entries from
// several threads (or processes) never interleave within a line. The file is
// created when missing and never truncated. Nothing is reported when it
// cannot be written: the entry is lost and the caller carries on. Something
// in its place that is not a regular file (a FIFO, a device) is never written
// to nor waited on; one line on stderr says so.
void AppendLog(const char* message);

// Time of day, UTC, of an entry.
struct LogTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
};
using LogTimeSource = LogTime (*)();

// Replaces the clock that stamps entries (tests); null restores the system
// clock.
void SetLogTimeSource(LogTimeSource source);

// The entry as written: the message cut to 498 bytes, so that the whole entry
// fits the 512 bytes the format was made for.
std::string FormatLogEntry(const char* message, const LogTime& time);

inline constexpr const char* kEventLogFileName = "Mylog.txt";

}  // namespace sextara
