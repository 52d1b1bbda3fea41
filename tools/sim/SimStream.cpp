// What the simulated receiver sends: the rates it knows, the pacers that
// hand out a slice's bytes, and the slice that writes them with the answers
// fitted in between frames.

#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "sim/ReceiverSim.h"
#include "sim/SimLink.h"

namespace sextara::sim {
namespace {

struct RateCode {
    int baud;
    speed_t code;
};
constexpr RateCode kRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

}  // namespace

int BaudOfCode(speed_t code) {
    for (const auto& row : kRates) {
        if (row.code == code) return row.baud;
    }
    return 0;
}

unsigned SpeedCodeOf(int baud) {
    for (const auto& row : kRates) {
        if (row.baud == baud) return static_cast<unsigned>(row.code);
    }
    return 0;
}

BytePacer::BytePacer(std::uint32_t bytesPerSecond, std::chrono::milliseconds maxBurst)
    : bytesPerSecond_(bytesPerSecond), maxBurst_(maxBurst) {}

void BytePacer::Restart(TimePoint now) {
    last_ = now;
    owedByteNanos_ = 0;
}

std::size_t BytePacer::Take(TimePoint now) {
    if (now <= last_) return 0;
    const auto elapsed = std::min<std::chrono::nanoseconds>(now - last_, maxBurst_);
    last_ = now;
    constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;
    // rate x elapsed stays far below 2^64: the burst is capped, rates are
    // 32-bit.
    owedByteNanos_ += bytesPerSecond_ * static_cast<std::uint64_t>(elapsed.count());
    const std::uint64_t due = owedByteNanos_ / kNanosPerSecond;
    owedByteNanos_ %= kNanosPerSecond;
    return static_cast<std::size_t>(due);
}

namespace {

// The UTC field of a sentence that carries one, else empty.
std::string_view TimeFieldOf(std::string_view line) {
    if (line.size() < 7 || line[0] != '$' || line[1] == 'P') return {};
    const std::string_view type = line.substr(3, 3);
    int field = 0;
    if (type == "GGA" || type == "RMC" || type == "ZDA" || type == "GST" || type == "GNS" || type == "GBS") {
        field = 1;
    } else if (type == "GLL") {
        field = 5;
    } else {
        return {};
    }
    std::size_t begin = 0;
    for (int i = 0; i < field; ++i) {
        begin = line.find(',', begin);
        if (begin == std::string_view::npos) return {};
        ++begin;
    }
    const std::size_t end = line.find_first_of(",*\r\n", begin);
    return line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
}

}  // namespace

std::vector<std::size_t> EpochStarts(const std::vector<std::uint8_t>& capture) {
    std::vector<std::size_t> starts{0};
    const std::string_view text(reinterpret_cast<const char*>(capture.data()), capture.size());
    std::string_view current;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = text.size();
        const std::string_view time = TimeFieldOf(text.substr(lineStart, lineEnd - lineStart));
        if (!time.empty() && time != current) {
            if (!current.empty()) starts.push_back(lineStart);
            current = time;
        }
        lineStart = lineEnd + 1;
    }
    if (starts.size() < 2) starts.clear();
    return starts;
}

EpochPacer::EpochPacer(std::vector<std::size_t> starts, std::size_t captureSize, std::chrono::milliseconds period)
    : starts_(std::move(starts)), captureSize_(captureSize), period_(period) {}

void EpochPacer::Restart(TimePoint now) { due_ = now; }

std::size_t EpochPacer::Take(TimePoint now, std::size_t position) {
    if (starts_.empty() || now < due_ || position >= captureSize_) return 0;
    due_ += period_;
    // After a long stall the rhythm restarts instead of bursting to catch up.
    if (due_ < now) due_ = now + period_;
    const auto next = std::upper_bound(starts_.begin(), starts_.end(), position);
    return (next == starts_.end() ? captureSize_ : *next) - position;
}

namespace {

// Where an answer can go into the stream without cutting a frame in two:
// after a line end (NMEA, NovAtel ASCII), before a NovAtel binary sync, or
// between a packet's ETX and the next STX (GSOF).
bool AtFrameStart(const std::vector<std::uint8_t>& capture, std::size_t pos) {
    if (pos == 0) return true;
    if (capture[pos - 1] == '\n') return true;
    if (pos + 2 < capture.size() && capture[pos] == 0xAA && capture[pos + 1] == 0x44 &&
        capture[pos + 2] == 0x12) {
        return true;
    }
    return capture[pos - 1] == 0x03 && capture[pos] == 0x02;
}

}  // namespace

void ReceiverSim::Slice(Link& link, Clock::time_point now) {
    if (link.resetting && now >= link.resetEnds) {
        link.resetting = false;
        SwitchBaud(link, link.baudAfterReset);
    }
    termios tio{};
    const int lineBaud = ::tcgetattr(link.master, &tio) == 0 ? BaudOfCode(::cfgetospeed(&tio)) : 0;
    link.lastLineBaud = lineBaud;
    if (link.resetting || lineBaud != link.baud) {
        link.staged.clear();
        link.replies.clear();
        link.pacer.Restart(now);
        link.epochPacer.Restart(now);
        Bump([lineBaud](ReceiverSimStats& s) {
            ++s.slices;
            ++s.idleSlices;
            s.lineBaud = lineBaud;
        });
        return;
    }

    std::size_t budget = link.pacer.Take(now);
    if (link.epochPacer.Active()) budget = link.staged.empty() ? link.epochPacer.Take(now, link.capturePos) : 0;
    std::uint64_t loops = 0;
    if (link.staged.empty()) {
        auto& capture = link.capture;
        if (capture.empty()) {
            link.staged.assign(link.replies.begin(), link.replies.end());
            link.replies.clear();
        } else {
            // An answer waits at most a quarter second of stream for a frame
            // boundary, well inside the detector's 2 s acknowledgement wait.
            const std::size_t maxDefer = std::max<std::size_t>(256, link.bytesPerSecond / 4);
            std::size_t left = budget;
            for (;;) {
                if (!link.replies.empty() &&
                    (AtFrameStart(capture, link.capturePos) || link.repliesDeferredBytes >= maxDefer)) {
                    link.staged.insert(link.staged.end(), link.replies.begin(), link.replies.end());
                    link.replies.clear();
                    link.repliesDeferredBytes = 0;
                }
                if (left == 0) break;
                // While an answer waits, every byte is a possible boundary.
                const std::size_t run =
                    link.replies.empty() ? std::min(left, capture.size() - link.capturePos) : 1;
                const auto from = capture.begin() + static_cast<std::ptrdiff_t>(link.capturePos);
                link.staged.insert(link.staged.end(), from, from + static_cast<std::ptrdiff_t>(run));
                link.capturePos += run;
                left -= run;
                if (!link.replies.empty()) link.repliesDeferredBytes += run;
                if (link.capturePos == capture.size()) {
                    link.capturePos = 0;
                    ++loops;
                }
            }
        }
    }

    std::size_t sent = 0;
    if (!link.staged.empty()) {
        const ssize_t n = ::write(link.master, link.staged.data(), link.staged.size());
        // A full pty (nobody reading) keeps the rest for later: the stream
        // pauses instead of skipping, so every reader sees whole frames.
        if (n > 0) {
            sent = static_cast<std::size_t>(n);
            link.staged.erase(link.staged.begin(), link.staged.begin() + n);
        }
    }
    Bump([&](ReceiverSimStats& s) {
        ++s.slices;
        s.lineBaud = lineBaud;
        s.bytesSent += sent;
        s.captureLoops += loops;
    });
}

}  // namespace sextara::sim
