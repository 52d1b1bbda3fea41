#pragma once

// Shared by the capture, chunk-invariance and decode-tool tests: the table of
// real captures (tests/data/captures.tsv), replay of a capture through the
// same DecoderHost path that the decoding thread uses, and a small JSON reader
// for the golden files and the peer decoder's reports.

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decode/GnssState.h"
#include "support/RunProgram.h"

namespace sextara::testing {

// The decoding thread never hands a decoder more than this at once.
constexpr std::uint32_t kMaxChunk = 2048;

// One row of tests/data/captures.tsv.
struct CaptureRow {
    std::string path;      // relative to tests/data
    std::string makeName;  // configuration name, "enBlox9P"
    std::int32_t make = -1;
    std::string lineEnds;        // crlf, lf or mixed for NMEA; "-" for binary captures
    bool expectEmpty = false;    // decodes to the all-zero record, asserted
    std::set<std::string> peer;  // facts cross-checked against the peer decoder's output
    std::string notes;

    bool IsNmea() const { return lineEnds != "-"; }
    std::string GoldenPath() const;  // absolute path of expected/<path>.json
    std::string DataPath() const;    // absolute path of the capture
};

// How gtest shows a row in test names and messages.
void PrintTo(const CaptureRow& row, std::ostream* out);

std::string TestDataDir();
// Rows of the table; a malformed row ends the test run with a message, since
// every test below depends on the table being right.
const std::vector<CaptureRow>& CaptureRows();
// A printable gtest parameter name for a row ("nmea_gpsd_ublox_8_log").
std::string RowTestName(const CaptureRow& row);

std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& path);
std::optional<std::string> ReadText(const std::string& path);

// Line-end class of an NMEA capture, counted from the first '$' on (the
// comment header of some sources is never framed): "crlf" when every LF
// follows a CR, "lf" when none does, otherwise "mixed".
std::string ClassifyLineEnds(const std::vector<std::uint8_t>& bytes);

// Next chunk size, 1..kMaxChunk; called until the bytes are used up.
using ChunkSizer = std::function<std::uint32_t()>;
ChunkSizer FixedChunks(std::uint32_t size);
ChunkSizer RandomChunks(std::uint64_t seed);

// Feeds the bytes through a DecoderHost of the make and returns the final record.
GnssState Decode(std::int32_t make, const std::vector<std::uint8_t>& bytes, const ChunkSizer& sizer);

// Minimal JSON: enough for the golden files and the peer's report lines.
// Object members keep their order so that key order can be asserted.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json* Find(std::string_view key) const;
    double NumberOr(std::string_view key, double fallback) const;
    std::string TextOr(std::string_view key, std::string fallback) const;
};
std::optional<Json> ParseJson(std::string_view text);

// "key: ours vs theirs" for every top-level member that differs; empty when equal.
std::string DescribeJsonDifference(std::string_view ours, std::string_view theirs);

// sextara-decode run as a separate process with these arguments.
using ToolRun = test::ProgramRun;
ToolRun RunTool(const std::vector<std::string>& args);

}  // namespace sextara::testing
