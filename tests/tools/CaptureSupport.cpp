#include "tools/CaptureSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>

#include "decode/GnssDecoder.h"
#include "decode/ReceiverMakes.h"

namespace sextara::testing {
namespace {

[[noreturn]] void BadTable(const std::string& why) {
    std::fprintf(stderr, "tests/data/captures.tsv: %s\n", why.c_str());
    std::abort();
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(line);
    while (std::getline(in, part, separator)) parts.push_back(part);
    if (!line.empty() && line.back() == separator) parts.emplace_back();
    return parts;
}

std::int32_t MakeCode(const std::string& name) {
    for (const auto& row : kReceiverMakes) {
        if (row.configName == name) return row.type;
    }
    return -1;
}

std::vector<CaptureRow> LoadRows() {
    const std::string path = TestDataDir() + "/captures.tsv";
    const auto text = ReadText(path);
    if (!text) BadTable("cannot read " + path);
    static const std::set<std::string> kPeerFacts = {"time", "date",    "position", "fix",
                                                     "gps",  "glonass", "bestpos",  "trackstat"};
    std::vector<CaptureRow> rows;
    std::istringstream in(*text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        const auto cells = Split(line, '\t');
        if (cells.size() != 6)
            BadTable("line " + std::to_string(number) + ": expected 6 tab-separated cells");
        CaptureRow row;
        row.path = cells[0];
        row.makeName = cells[1];
        row.make = MakeCode(row.makeName);
        row.lineEnds = cells[2];
        row.notes = cells[5];
        if (row.make < 0) BadTable("line " + std::to_string(number) + ": unknown make " + row.makeName);
        if (row.lineEnds != "crlf" && row.lineEnds != "lf" && row.lineEnds != "mixed" &&
            row.lineEnds != "-") {
            BadTable("line " + std::to_string(number) + ": line ends must be crlf, lf, mixed or -");
        }
        if (cells[3] != "state" && cells[3] != "empty") {
            BadTable("line " + std::to_string(number) + ": expect must be state or empty");
        }
        row.expectEmpty = cells[3] == "empty";
        if (cells[4] != "-") {
            for (const auto& fact : Split(cells[4], ',')) {
                if (!kPeerFacts.count(fact))
                    BadTable("line " + std::to_string(number) + ": unknown peer fact " + fact);
                row.peer.insert(fact);
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace

std::string TestDataDir() {
    return SEXTARA_TEST_DATA;
}

void PrintTo(const CaptureRow& row, std::ostream* out) {
    *out << row.path << " (" << row.makeName << ")";
}

std::string CaptureRow::GoldenPath() const {
    return TestDataDir() + "/expected/" + path + ".json";
}
std::string CaptureRow::DataPath() const {
    return TestDataDir() + "/" + path;
}

const std::vector<CaptureRow>& CaptureRows() {
    static const std::vector<CaptureRow> rows = LoadRows();
    return rows;
}

std::string RowTestName(const CaptureRow& row) {
    std::string name;
    for (char c : row.path) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

std::optional<std::string> ReadText(const std::string& path) {
    auto bytes = ReadBytes(path);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::string ClassifyLineEnds(const std::vector<std::uint8_t>& bytes) {
    std::size_t start = 0;
    while (start < bytes.size() && bytes[start] != '$') ++start;
    std::size_t withCr = 0;
    std::size_t bare = 0;
    for (std::size_t i = start; i < bytes.size(); ++i) {
        if (bytes[i] != '\n') continue;
        if (i > 0 && bytes[i - 1] == '\r') {
            ++withCr;
        } else {
            ++bare;
        }
    }
    if (bare == 0) return "crlf";
    if (withCr == 0) return "lf";
    return "mixed";
}

ChunkSizer FixedChunks(std::uint32_t size) {
    return [size] { return size; };
}

ChunkSizer RandomChunks(std::uint64_t seed) {
    auto rng = std::make_shared<std::mt19937_64>(seed);
    return [rng] { return std::uniform_int_distribution<std::uint32_t>(1, kMaxChunk)(*rng); };
}

GnssState Decode(std::int32_t make, const std::vector<std::uint8_t>& bytes, const ChunkSizer& sizer) {
    GnssStateStore store;
    DecoderHost host(store);
    host.CreateDecoder(make);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t n = std::min<std::size_t>(sizer(), bytes.size() - pos);
        host.Feed(bytes.data() + pos, static_cast<std::uint32_t>(n));
        pos += n;
    }
    return store.Snapshot();
}

// JSON.

namespace {

// A value as a difference report shows it: scalars as written, containers by size.
std::string Render(const Json& value) {
    if (value.is_array()) return "[" + std::to_string(value.size()) + " items]";
    if (value.is_object()) return "{" + std::to_string(value.size()) + " members}";
    return value.dump();
}

}  // namespace

std::optional<Json> ParseJson(std::string_view text) {
    Json out = Json::parse(text, nullptr, false);
    if (out.is_discarded()) return std::nullopt;
    return out;
}

double NumberOr(const Json& object, std::string_view key, double fallback) {
    const auto value = object.find(key);
    return value != object.end() && value->is_number() ? value->get<double>() : fallback;
}

std::string TextOr(const Json& object, std::string_view key, std::string fallback) {
    const auto value = object.find(key);
    return value != object.end() && value->is_string() ? value->get<std::string>() : fallback;
}

std::string DescribeJsonDifference(std::string_view ours, std::string_view theirs) {
    const auto a = ParseJson(ours);
    const auto b = ParseJson(theirs);
    if (!a || !b) return ours == theirs ? "" : "(not both valid JSON)";
    if (!a->is_object() || !b->is_object()) return ours == theirs ? "" : "(not both JSON objects)";
    std::string out;
    for (const auto& [key, value] : a->items()) {
        const auto other = b->find(key);
        if (other == b->end()) {
            out += key + ": only in ours\n";
        } else if (value != *other) {
            if (value.is_array() && other->is_array()) {
                out += key + ": " + std::to_string(value.size()) + " vs " + std::to_string(other->size()) +
                       " entries";
                for (std::size_t i = 0; i < std::min(value.size(), other->size()); ++i) {
                    if (value[i] != (*other)[i]) {
                        out += ", first difference at entry " + std::to_string(i);
                        break;
                    }
                }
                out += "\n";
            } else {
                out += key + ": " + Render(value) + " vs " + Render(*other) + "\n";
            }
        }
    }
    for (const auto& [key, value] : b->items()) {
        if (!a->contains(key)) out += key + ": only in theirs\n";
    }
    if (out.empty() && ours != theirs) out = "(same values, different text)";
    return out;
}

ToolRun RunTool(const std::vector<std::string>& args) { return test::RunProgram(SEXTARA_DECODE_BIN, args); }

}  // namespace sextara::testing
