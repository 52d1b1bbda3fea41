// sextara-decode: feeds receiver captures through the decoder of a make and
// prints the decoded state record as JSON lines.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <memory>
#include <random>
#include <span>
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
    app.add_option("FILE", opt.files,
                   "captures, '-' for standard input, fed one after the other as one stream "
                   "(read in blocks: pipes, FIFOs and devices of any length)")
        ->type_name("");
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

// One input read in blocks, so memory stays the same whatever its size: a
// capture of gigabytes, a pipe, a FIFO, standard input ("-") or a device
// that never ends.
class Input {
public:
    static constexpr std::size_t kBlock = 1 << 16;

    Input(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
    ~Input() {
        if (fd_ > STDIN_FILENO) ::close(fd_);
    }
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // True while a byte is left; false at the end and on a read error.
    bool More() { return Fill(1) > 0; }
    // The next want bytes (want <= kBlock), fewer only at the end.
    std::span<const std::uint8_t> Take(std::size_t want) {
        const std::size_t n = std::min(want, Fill(want));
        const std::span<const std::uint8_t> bytes(buffer_.data() + begin_, n);
        begin_ += n;
        return bytes;
    }
    // The read error, 0 for none.
    int Error() const { return error_; }
    const std::string& Path() const { return path_; }

private:
    // Reads until `want` bytes are buffered or the input ends; what is buffered.
    std::size_t Fill(std::size_t want) {
        if (end_ - begin_ >= want || done_) return end_ - begin_;
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
        while (end_ < want && !done_) {
            const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                done_ = true;
                error_ = got < 0 ? errno : 0;
                break;
            }
            end_ += static_cast<std::size_t>(got);
        }
        return end_ - begin_;
    }

    std::string path_;
    int fd_;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(kBlock);
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool done_ = false;
    int error_ = 0;
};

std::string CannotRead(const std::string& path, int error) {
    return "cannot read '" + path + "': " + std::strerror(error);
}

// Opens an input ("-" is standard input); nullptr with the reason when it
// cannot be read. A folder opens and only fails at the read: refused here.
std::unique_ptr<Input> OpenInput(const std::string& path, std::string& why) {
    if (path == "-") return std::make_unique<Input>(path, STDIN_FILENO);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        why = CannotRead(path, errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        why = CannotRead(path, EISDIR);
        return nullptr;
    }
    return std::make_unique<Input>(path, fd);
}

// Every input checked before anything is printed, without taking a byte of
// one that is not a plain file (a FIFO's writer, standard input): those are
// opened when their turn comes. Empty when all can be read.
std::string CheckInputs(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (path == "-") continue;
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) return CannotRead(path, errno);
        if (S_ISDIR(info.st_mode)) return CannotRead(path, EISDIR);
        if (!S_ISREG(info.st_mode)) continue;
        std::string why;
        if (!OpenInput(path, why)) return why;
    }
    return {};
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

// Feeds the inputs as one stream in the chunks the options ask for, printing
// the record when they say. A chunk never spans two inputs, and a size is
// drawn only while a byte is left, so the chunks are those of the whole
// files read at once. Returns the bytes fed; why on a failed input.
std::uint64_t FeedAll(DecoderHost& host, GnssStateStore& store, const Options& opt, std::string& why) {
    std::mt19937_64 rng(opt.seed);
    std::uniform_int_distribution<std::uint32_t> sizes(1, kMaxChunk);
    const std::uint64_t every = opt.emit.every;
    std::uint64_t fed = 0;
    GnssState last = store.Snapshot();
    for (const std::string& path : opt.files) {
        const std::unique_ptr<Input> input = OpenInput(path, why);
        if (!input) return fed;
        while (input->More()) {
            std::uint64_t n = opt.chunk ? opt.chunk : sizes(rng);
            if (opt.emit.kind == Emit::Kind::Every) n = std::min<std::uint64_t>(n, every - fed % every);
            const std::span<const std::uint8_t> chunk = input->Take(static_cast<std::size_t>(n));
            host.Feed(chunk.data(), static_cast<std::uint32_t>(chunk.size()));
            fed += chunk.size();
            if (opt.emit.kind == Emit::Kind::Change) {
                const GnssState now = store.Snapshot();
                if (!SameFix(now, last)) PrintRecord(now);
                last = now;
            } else if (opt.emit.kind == Emit::Kind::Every && fed % every == 0) {
                PrintRecord(store.Snapshot());
            }
        }
        if (input->Error() != 0) {
            why = CannotRead(path, input->Error());
            return fed;
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

    if (const std::string why = CheckInputs(opt.files); !why.empty()) return Fail(why);

    GnssStateStore store;
    DecoderHost host(store);
    host.CreateDecoder(ReceiverTypeFromConfigName(opt.make));
    std::string why;
    const std::uint64_t fed = FeedAll(host, store, opt, why);
    if (!why.empty()) {
        std::fflush(stdout);
        return Fail(why);
    }
    if (opt.emit.kind == Emit::Kind::End) PrintRecord(store.Snapshot());
    if (opt.stats) PrintStats(fed, host.Counters());
    if (std::fflush(stdout) != 0) return Fail("cannot write output");
    return 0;
}
