// sextara-decode: feeds receiver captures through the decoder of a make and
// prints the decoded state record as JSON lines.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "CommandLine.h"
#include "decode/GnssDecoder.h"
#include "decode/ReceiverMakes.h"
#include "decode/StateJson.h"

namespace {

using namespace sextara;

constexpr std::uint32_t kMaxChunk = 2048;  // the decoder thread never hands over more at once

constexpr std::string_view kProgram = "sextara-decode";

// When a line is printed: end, change, or every:N bytes.
struct Emit {
    enum class Kind { End, Change, Every } kind = Kind::End;
    std::uint64_t every = 0;
};

struct Options {
    std::string make;
    std::uint64_t chunk = 0;  // 0: random sizes
    std::uint64_t seed = 1;
    Emit emit;
    bool stats = false;
    std::vector<std::string> files;
};

std::optional<std::uint64_t> ReadChunk(std::string_view text) {
    std::uint64_t size = 0;
    if (text == "random") return 0;
    if (!tools::ReadWholeNumber(text, 1, kMaxChunk, size)) return std::nullopt;
    return size;
}

std::optional<Emit> ReadEmit(std::string_view text) {
    if (text == "end") return Emit{Emit::Kind::End, 0};
    if (text == "change") return Emit{Emit::Kind::Change, 0};
    std::uint64_t every = 0;
    if (text.substr(0, 6) != "every:" || !tools::ReadWholeNumber(text.substr(6), 1, UINT64_MAX, every)) {
        return std::nullopt;
    }
    return Emit{Emit::Kind::Every, every};
}

void AddOptions(CLI::App& app, Options& opt) {
    tools::AddMakeOption(app, opt.make, "receiver make by configuration name (required)");
    tools::AddReadOption(app, "--chunk", opt.chunk, ReadChunk, "takes 1..2048 or 'random'",
                         "bytes per Input call (1..2048), or random sizes 1..2048 (default)")
        ->type_name("N|random");
    tools::AddNumberOption(app, "--seed", opt.seed, 0, UINT64_MAX,
                           "seed of the random chunk sizes (default 1)");
    tools::AddReadOption(app, "--emit", opt.emit, ReadEmit, "takes end, change or every:N with N > 0",
                         "end: one line after the last byte (default); change: after every call that changed "
                         "time, position or fix; every:N: after every N bytes")
        ->type_name("end|change|every:N");
    app.add_flag("--stats", opt.stats, "print the decoder's frame and error counters to stderr at the end");
    app.add_option("FILE", opt.files, "captures, fed one after the other as one stream")->type_name("");
}

// Nullopt to go on, otherwise the exit code.
std::optional<int> ReadOptions(int argc, char** argv, Options& opt) {
    CLI::App app(
        "Feeds receiver captures through the decoder of a make and prints the decoded state record "
        "as JSON lines.",
        std::string(kProgram));
    tools::UseHouseRules(app);
    AddOptions(app, opt);
    if (const auto exit = tools::Parse(app, argc, argv)) return exit;
    if (opt.make.empty()) return tools::Fail(kProgram, "no make given (--make NAME)");
    if (opt.files.empty()) return tools::Fail(kProgram, "no input files");
    return std::nullopt;
}

int Fail(const std::string& message) {
    return tools::Fail(kProgram, message);
}

// stdio rather than a stream: a stream throws from inside the read when the
// path names a directory (it opens, then the read fails with EISDIR).
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::uint8_t buffer[1 << 16];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        out.insert(out.end(), buffer, buffer + got);
    const bool failed = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    errno = readErrno;
    return !failed;
}

bool SameFix(const GnssState& a, const GnssState& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.latitude == b.latitude &&
           a.longitude == b.longitude && a.altitude == b.altitude && a.fixQuality == b.fixQuality;
}

void PrintRecord(const GnssState& s) {
    const std::string line = GnssStateToJson(s);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

// Feeds the files as one stream in the chunks the options ask for, printing
// the record when they say; returns the bytes fed.
std::uint64_t FeedAll(DecoderHost& host, GnssStateStore& store,
                      const std::vector<std::vector<std::uint8_t>>& contents, const Options& opt) {
    std::mt19937_64 rng(opt.seed);
    std::uniform_int_distribution<std::uint32_t> sizes(1, kMaxChunk);
    const std::uint64_t every = opt.emit.every;
    std::uint64_t fed = 0;
    GnssState last = store.Snapshot();
    for (const auto& data : contents) {
        std::size_t pos = 0;
        while (pos < data.size()) {
            std::uint64_t n = opt.chunk ? opt.chunk : sizes(rng);
            if (opt.emit.kind == Emit::Kind::Every) n = std::min<std::uint64_t>(n, every - fed % every);
            n = std::min<std::uint64_t>(n, data.size() - pos);
            host.Feed(data.data() + pos, static_cast<std::uint32_t>(n));
            pos += n;
            fed += n;
            if (opt.emit.kind == Emit::Kind::Change) {
                const GnssState now = store.Snapshot();
                if (!SameFix(now, last)) PrintRecord(now);
                last = now;
            } else if (opt.emit.kind == Emit::Kind::Every && fed % every == 0) {
                PrintRecord(store.Snapshot());
            }
        }
    }
    return fed;
}

void PrintStats(std::uint64_t fed, const DecoderCounters& c) {
    std::fprintf(stderr, "bytes %llu frames %llu checksumErrors %llu oversize %llu droppedBytes %llu\n",
                 static_cast<unsigned long long>(fed), static_cast<unsigned long long>(c.frames),
                 static_cast<unsigned long long>(c.checksumErrors),
                 static_cast<unsigned long long>(c.oversize),
                 static_cast<unsigned long long>(c.droppedBytes));
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (const auto exit = ReadOptions(argc, argv, opt)) return *exit;

    // Read everything first so that an unreadable file fails before any output.
    std::vector<std::vector<std::uint8_t>> contents;
    for (const auto& path : opt.files) {
        std::vector<std::uint8_t> data;
        if (!ReadWholeFile(path, data)) return Fail("cannot read '" + path + "': " + std::strerror(errno));
        contents.push_back(std::move(data));
    }

    GnssStateStore store;
    DecoderHost host(store);
    host.CreateDecoder(ReceiverTypeFromConfigName(opt.make));
    const std::uint64_t fed = FeedAll(host, store, contents, opt);
    if (opt.emit.kind == Emit::Kind::End) PrintRecord(store.Snapshot());
    if (opt.stats) PrintStats(fed, host.Counters());
    if (std::fflush(stdout) != 0) return Fail("cannot write output");
    return 0;
}
