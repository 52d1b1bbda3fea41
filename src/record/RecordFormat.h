#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/SystemTime.h"

namespace sextara {

// What the recording settings hold and how the pages show a recording: pure
// functions, shared by the recorder, the pages and the headless runner.

inline constexpr int kRecordRaw = 0;     // raw observations from the second port
inline constexpr int kRecordNormal = 1;  // the GPS stream itself

// Longest path a record file may have, in bytes.
inline constexpr std::size_t kMaxRecordPath = 259;

// The record file for a start at `start` (UTC; only the time of day is used):
// normal "<folder>/<name>_hhmmss.dat"; raw "<folder>/<name>hhmm.rt27" for the
// Trimble family (enTrimble, enTrimbleNMEA, enDA_Vo, enDorir_Iv) and
// "<folder>/<name>hhmm.dat" for any other make. An empty folder puts the file
// in the root. Empty when the path would pass kMaxRecordPath.
std::string RecordFilePath(int mode, int make, const std::string& folder, const std::string& name,
                           const platform::UtcTime& start);

// Why a record file name cannot be used. The name becomes part of a path in
// the chosen folder, so it must name one file there and nothing else: no
// folder separator, no way up, nothing a terminal or a file manager would
// take for something other than text.
enum class RecordNameFault {
    None,
    Empty,
    Slash,             // "/"
    Backslash,         // the separator of the systems record files often go to
    ParentReference,   // ".."
    ControlCharacter,  // below 0x20, or 0x7f
};
RecordNameFault CheckRecordName(std::string_view name);
// The reason in English (the log, sextara-headless, the English window) or
// Chinese.
std::string RecordNameFaultText(RecordNameFault fault, bool english);

// The options page's interval list ("1s" ... "300s", index 0..7) and the
// INTERVAL code kept for each; an unknown index gives code 3, an unknown code
// index 0.
inline constexpr int kIntervalChoices = 8;
int IntervalCodeOf(int index);
int IntervalIndexOf(int code);
const char* IntervalLabelOf(int index);
// Cut-off elevation as stored: 0..90 unchanged, anything else 10.
int ClampCutoff(int degrees);

// "  512 B", "  1.00 KB" (from 1025 bytes), "  1.000 MB" (from 1 MiB).
std::string RecordSizeText(std::uint64_t bytes);
// "hh:mm:ss" of whole seconds; hours go past 99 rather than wrap.
std::string RecordDurationText(std::int64_t seconds);
// The running status: `text` with no dot, then one to five dots, one step per
// call. `phase` (0..5) is the page's and advances here.
std::string RecordStatusText(const std::string& text, int& phase);

}  // namespace sextara
