// sextara-decode: feeds receiver captures through the decoder of a make and
// prints the decoded state record as JSON lines.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "CaptureFile.h"
#include "CommandLine.h"
#include "decode/GnssDecoder.h"
#include "decode/StateJson.h"
#include "decode/ReceiverMakes.h"

namespace {

using namespace sextara;

constexpr std::uint32_t kMaxChunk = 2048;  // the decoder thread never hands over more at once

void Usage(std::FILE* to) {
    std::fputs(
        "usage: sextara-decode --make NAME [--chunk N|random] [--seed S]\n"
        "                      [--emit end|change|every:N] [--stats] FILE...\n"
        "  --make NAME   receiver make by configuration name: enNovtel enCompass enHemis\n"
        "                enBlox6T enBlox8T enTrimble enTrimbleNMEA enSkyTraq enOther\n"
        "                enDA_Vo enDorir_Iv enBlox9P\n"
        "  --chunk       bytes per Input call (1..2048), or random sizes 1..2048 (default)\n"
        "  --seed S      seed of the random chunk sizes (default 1)\n"
        "  --emit        end: one line after the last byte (default); change: after every\n"
        "                call that changed time, position or fix; every:N: after every N bytes\n"
        "  --stats       print the decoder's frame and error counters to stderr at the end\n"
        "Files are fed one after the other as one stream.\n",
        to);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "sextara-decode: %s\n", message.c_str());
    return 2;
}

bool ParseUnsigned(std::string_view text, std::uint64_t& out) { return tools::ParseDecimal(text, out, 18); }

bool SameFix(const GnssState& a, const GnssState& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.latitude == b.latitude &&
           a.longitude == b.longitude && a.altitude == b.altitude && a.fixQuality == b.fixQuality;
}

}  // namespace

int main(int argc, char** argv) {
    std::string makeName;
    std::uint64_t chunk = 0;  // 0: random sizes
    std::uint64_t seed = 1;
    enum class Emit { End, Change, Every } emit = Emit::End;
    std::uint64_t every = 0;
    bool stats = false;
    std::vector<std::string> files;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](const char* flag) -> const char* {
            if (i + 1 >= argc) return nullptr;
            (void)flag;
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--make") {
            const char* v = value("--make");
            if (!v) return Fail("--make needs a make name");
            makeName = v;
        } else if (arg == "--chunk") {
            const char* v = value("--chunk");
            if (!v) return Fail("--chunk needs a size or 'random'");
            if (std::string_view(v) == "random") {
                chunk = 0;
            } else if (!ParseUnsigned(v, chunk) || chunk < 1 || chunk > kMaxChunk) {
                return Fail(std::string("--chunk takes 1..2048 or 'random', not '") + v + "'");
            }
        } else if (arg == "--seed") {
            const char* v = value("--seed");
            if (!v || !ParseUnsigned(v, seed)) return Fail("--seed takes a whole number");
        } else if (arg == "--emit") {
            const char* v = value("--emit");
            const std::string_view e = v ? v : "";
            if (e == "end") {
                emit = Emit::End;
            } else if (e == "change") {
                emit = Emit::Change;
            } else if (e.substr(0, 6) == "every:" && ParseUnsigned(e.substr(6), every) && every > 0) {
                emit = Emit::Every;
            } else {
                return Fail("--emit takes end, change or every:N with N > 0");
            }
        } else if (arg == "--stats") {
            stats = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            Usage(stderr);
            return Fail("unknown option '" + std::string(arg) + "'");
        } else {
            files.emplace_back(arg);
        }
    }
    if (makeName.empty()) {
        Usage(stderr);
        return Fail("no make given (--make NAME)");
    }
    std::int32_t make = -1;
    for (const auto& row : kReceiverMakes) {
        if (row.configName == makeName) make = row.type;
    }
    if (make < 0) return Fail("unknown make '" + makeName + "'");
    if (files.empty()) return Fail("no input files");

    // Every file is looked at first so that an unreadable one fails before
    // any output; the bytes are then read as they are fed.
    for (const auto& path : files) {
        if (!tools::CaptureFile::Readable(path)) return Fail("cannot read '" + path + "': " + std::strerror(errno));
    }

    GnssStateStore store;
    DecoderHost host(store);
    host.CreateDecoder(make);

    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<std::uint32_t> sizes(1, kMaxChunk);
    std::uint64_t fed = 0;
    GnssState last = store.Snapshot();
    auto print = [](const GnssState& s) {
        const std::string line = GnssStateToJson(s);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    };

    tools::CaptureFile file;
    for (const auto& path : files) {
        if (!file.Open(path)) return Fail("cannot read '" + path + "': " + std::strerror(errno));
        while (file.More()) {
            std::uint64_t n = chunk ? chunk : sizes(rng);
            if (emit == Emit::Every) n = std::min<std::uint64_t>(n, every - fed % every);
            const std::span<const std::uint8_t> bytes = file.Take(static_cast<std::size_t>(n));
            host.Feed(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
            fed += bytes.size();
            if (emit == Emit::Change) {
                const GnssState now = store.Snapshot();
                if (!SameFix(now, last)) print(now);
                last = now;
            } else if (emit == Emit::Every && fed % every == 0) {
                print(store.Snapshot());
            }
        }
        if (file.Error() != 0) return Fail("cannot read '" + path + "': " + std::strerror(file.Error()));
    }
    if (emit == Emit::End) print(store.Snapshot());
    if (stats) {
        const DecoderCounters c = host.Counters();
        std::fprintf(stderr, "bytes %llu frames %llu checksumErrors %llu oversize %llu droppedBytes %llu\n",
                     static_cast<unsigned long long>(fed), static_cast<unsigned long long>(c.frames),
                     static_cast<unsigned long long>(c.checksumErrors), static_cast<unsigned long long>(c.oversize),
                     static_cast<unsigned long long>(c.droppedBytes));
    }
    if (std::fflush(stdout) != 0) return Fail("cannot write output");
    return 0;
}
