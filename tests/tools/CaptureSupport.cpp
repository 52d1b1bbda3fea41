#include "tools/CaptureSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <cctype>
#include <charconv>
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

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    bool Document(Json& out) {
        if (!Value(out, 0)) return false;
        Space();
        return pos_ == text_.size();
    }

private:
    // The golden files and the peer's reports nest three levels; this only
    // keeps hostile input from exhausting the stack.
    static constexpr int kMaxDepth = 32;

    void Space() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    bool Eat(char c) {
        Space();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }
    bool String(std::string& out) {
        if (!Eat('"')) return false;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            char c = text_[pos_++];
            if (c == '\\') {
                if (pos_ >= text_.size()) return false;
                c = text_[pos_++];
                if (c == 'u') {  // not used by either producer; keep the escape as text
                    out += "\\u";
                    continue;
                }
                if (c == 'n') c = '\n';
                if (c == 't') c = '\t';
            }
            out += c;
        }
        return Eat('"');
    }
    bool Value(Json& out, int depth) {
        if (depth > kMaxDepth) return false;
        Space();
        if (pos_ >= text_.size()) return false;
        const char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            out.kind = Json::Kind::Object;
            if (Eat('}')) return true;
            do {
                std::string key;
                Json value;
                if (!String(key) || !Eat(':') || !Value(value, depth + 1)) return false;
                out.members.emplace_back(std::move(key), std::move(value));
            } while (Eat(','));
            return Eat('}');
        }
        if (c == '[') {
            ++pos_;
            out.kind = Json::Kind::Array;
            if (Eat(']')) return true;
            do {
                Json value;
                if (!Value(value, depth + 1)) return false;
                out.items.push_back(std::move(value));
            } while (Eat(','));
            return Eat(']');
        }
        if (c == '"') {
            out.kind = Json::Kind::String;
            return String(out.text);
        }
        if (Word("true")) {
            out.kind = Json::Kind::Bool;
            out.boolean = true;
            return true;
        }
        if (Word("false")) {
            out.kind = Json::Kind::Bool;
            return true;
        }
        if (Word("null")) return true;
        const char* first = text_.data() + pos_;
        const char* last = text_.data() + text_.size();
        const auto [end, error] = std::from_chars(first, last, out.number);
        if (error != std::errc() || end == first) return false;
        out.kind = Json::Kind::Number;
        pos_ += static_cast<std::size_t>(end - first);
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string Render(const Json& value) {
    switch (value.kind) {
        case Json::Kind::Null: return "null";
        case Json::Kind::Bool: return value.boolean ? "true" : "false";
        case Json::Kind::Number: {
            char text[64];
            std::snprintf(text, sizeof text, "%.17g", value.number);
            return text;
        }
        case Json::Kind::String: return '"' + value.text + '"';
        case Json::Kind::Array: return "[" + std::to_string(value.items.size()) + " items]";
        case Json::Kind::Object: return "{" + std::to_string(value.members.size()) + " members}";
    }
    return "?";
}

bool SameJson(const Json& a, const Json& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case Json::Kind::Null: return true;
        case Json::Kind::Bool: return a.boolean == b.boolean;
        case Json::Kind::Number: return a.number == b.number;
        case Json::Kind::String: return a.text == b.text;
        case Json::Kind::Array:
            if (a.items.size() != b.items.size()) return false;
            for (std::size_t i = 0; i < a.items.size(); ++i) {
                if (!SameJson(a.items[i], b.items[i])) return false;
            }
            return true;
        case Json::Kind::Object:
            if (a.members.size() != b.members.size()) return false;
            for (std::size_t i = 0; i < a.members.size(); ++i) {
                if (a.members[i].first != b.members[i].first ||
                    !SameJson(a.members[i].second, b.members[i].second)) {
                    return false;
                }
            }
            return true;
    }
    return false;
}

}  // namespace

const Json* Json::Find(std::string_view key) const {
    for (const auto& [name, value] : members) {
        if (name == key) return &value;
    }
    return nullptr;
}

double Json::NumberOr(std::string_view key, double fallback) const {
    const Json* value = Find(key);
    return value && value->kind == Kind::Number ? value->number : fallback;
}

std::string Json::TextOr(std::string_view key, std::string fallback) const {
    const Json* value = Find(key);
    return value && value->kind == Kind::String ? value->text : fallback;
}

std::optional<Json> ParseJson(std::string_view text) {
    Json out;
    JsonReader reader(text);
    if (!reader.Document(out)) return std::nullopt;
    return out;
}

std::string DescribeJsonDifference(std::string_view ours, std::string_view theirs) {
    const auto a = ParseJson(ours);
    const auto b = ParseJson(theirs);
    if (!a || !b) return ours == theirs ? "" : "(not both valid JSON)";
    std::string out;
    for (const auto& [key, value] : a->members) {
        const Json* other = b->Find(key);
        if (!other) {
            out += key + ": only in ours\n";
        } else if (!SameJson(value, *other)) {
            if (value.kind == Json::Kind::Array && other->kind == Json::Kind::Array) {
                out += key + ": " + std::to_string(value.items.size()) + " vs " +
                       std::to_string(other->items.size()) + " entries";
                for (std::size_t i = 0; i < std::min(value.items.size(), other->items.size()); ++i) {
                    if (!SameJson(value.items[i], other->items[i])) {
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
    for (const auto& [key, value] : b->members) {
        if (!a->Find(key)) out += key + ": only in theirs\n";
    }
    if (out.empty() && ours != theirs) out = "(same values, different text)";
    return out;
}

ToolRun RunTool(const std::vector<std::string>& args) { return test::RunProgram(SEXTARA_DECODE_BIN, args); }

}  // namespace sextara::testing
