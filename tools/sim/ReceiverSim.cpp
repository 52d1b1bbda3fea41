#include "sim/ReceiverSim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "decode/ReceiverMakes.h"
#include "platform/Debug.h"

namespace sextara::sim {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Short enough that a probe answer leaves well inside the detector's 50 ms
// polls, long enough that the thread costs nothing at 115200 baud.
constexpr auto kSlicePeriod = 10ms;
// After a stall (reader away, machine busy) at most this much is sent at once.
constexpr auto kMaxBurst = 100ms;
// One read of the master; the program's longest single write is a 96-byte
// u-blox block, its commands a few dozen bytes.
constexpr std::size_t kReadChunk = 4096;
// The detector copies at most 512 bytes per send; a "line" longer than that
// is not a command but binary data without a line end.
constexpr std::size_t kMaxCommandLine = 512;
// A wrong path (a disk image) must not fill the memory: real captures are
// megabytes at most.
constexpr std::size_t kMaxCaptureBytes = 256u << 20;

struct RateCode {
    int baud;
    speed_t code;
};
constexpr RateCode kRates[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

int BaudOfCode(speed_t code) {
    for (const auto& row : kRates) {
        if (row.code == code) return row.baud;
    }
    return 0;
}

// The probes this board answers: those of every make that speaks its
// command language (the Trimble NMEA, DA_Vo and Dorir_Iv boards answer the
// Trimble make's probe, though their own detection sends none).
std::vector<std::span<const std::uint8_t>> BinaryProbesOf(CommandDialect dialect) {
    std::vector<std::span<const std::uint8_t>> probes;
    for (const ReceiverMake& make : kReceiverMakes) {
        if (make.dialect == dialect && !make.probe.command.empty()) probes.push_back(make.probe.command);
    }
    return probes;
}

// The word that names the make's reset command ("FRESET", "JRESET"), or
// empty when it has none.
std::string_view ResetWordOf(const ReceiverMake& make) {
    std::string_view word = make.reset.command;
    if (!word.empty() && word.front() == '$') word.remove_prefix(1);
    return word.substr(0, word.find_first_of(" ,\r\n"));
}

// NovAtel ASCII logs end in "*" and the CRC-32 (reflected 0xEDB88320, no
// initial or final inversion) of everything between '#' and '*'.
std::uint32_t NovatelCrc32(std::string_view text) {
    std::uint32_t crc = 0;
    for (unsigned char c : text) {
        crc ^= c;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

std::string NmeaSentence(std::string_view body) {
    unsigned sum = 0;
    for (unsigned char c : body) sum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum & 0xFFu);
    return "$" + std::string(body) + tail;
}

// Shaped like a real OEM7 answer: the abbreviated-ASCII acknowledgement and
// port prompt, then the VERSIONA log with its CRC.
std::string NovatelVersionReply(bool compass) {
    const std::string body =
        "VERSIONA,COM1,0,62.0,FINESTEERING,2209,155406.000,02000000,3681,16248;1,GPSCARD,"
        "\"FFNRNNCBES1\",\"BMHR15470120X\",\"OEM719-1.01\",\"OM7CR0800RN0000\","
        "\"OM7BR0000RBG000\",\"2021/Mar/16\",\"13:40:45\"";
    char crc[16];
    std::snprintf(crc, sizeof crc, "*%08x\r\n", NovatelCrc32(body));
    const std::string ack = compass ? "OK!\r\n" : "\r\n<OK\r\n[COM1]";
    return ack + "#" + body + crc;
}

std::string HemisphereShowReply(int baud) {
    const std::string rate = std::to_string(baud);
    return "$>JSHOW,BAUD," + rate + "\r\n" + "$>JSHOW,BAUD,57600,OTHER\r\n" +
           "$>JSHOW,ASC,GPGGA,1.0,OTHER\r\n" + "$>JSHOW,DIFF,WAAS\r\n" + "$>JSHOW,ALT,NEVER\r\n" +
           "$>JSHOW,LTN,10\r\n" + "$>JSHOW,MASK,5\r\n" + "$>JSHOW,POWER,ON\r\n";
}

std::string TrimbleGgkReply() {
    return NmeaSentence("PTNL,GGK,102939.00,051299,3723.4658770,N,12202.2695786,W,3,07,1.8,EHT-6.777,M");
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

std::vector<std::string> Split(std::string_view text, std::string_view separators) {
    std::vector<std::string> out;
    std::string word;
    for (char c : text) {
        if (separators.find(c) != std::string_view::npos) {
            if (!word.empty()) out.push_back(std::move(word));
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty()) out.push_back(std::move(word));
    return out;
}

int ParseBaud(const std::string& text) {
    if (text.empty() || text.size() > 7) return 0;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return SpeedCodeOf(value) != 0 ? value : 0;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool SetCloexec(int fd) {
    return ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

bool SetNonblocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// stdio rather than a stream: a stream throws from inside the read when the
// path names a directory. Appends to out, at most up to kMaxCaptureBytes.
bool ReadCapture(const std::string& path, std::vector<std::uint8_t>& out) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::array<std::uint8_t, 1 << 16> buffer;
    std::size_t got = 0;
    bool tooLarge = false;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        if (got > kMaxCaptureBytes - out.size()) {
            tooLarge = true;
            break;
        }
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
    }
    const bool failed = std::ferror(file) != 0;
    const int readErrno = failed ? errno : (tooLarge ? EFBIG : 0);
    std::fclose(file);
    errno = readErrno;
    return !failed && !tooLarge;
}

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

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

struct ReceiverSim::Link {
    Link(std::uint32_t bytesPerSecond, int startBaud) : pacer(bytesPerSecond, kMaxBurst), baud(startBaud) {}
    ~Link() { Close(); }

    // Ends the device: the program reading the slave sees a hang-up, like a
    // receiver unplugged.
    void Close() {
        CloseFd(master);
        CloseFd(holder);
        CloseFd(record);
        if (!linkPath.empty()) {
            char target[256];
            const ssize_t n = ::readlink(linkPath.c_str(), target, sizeof target);
            if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == slavePath) {
                ::unlink(linkPath.c_str());
            }
            linkPath.clear();
        }
    }

    int master = -1;
    // The simulator keeps one slave descriptor of its own for its whole life,
    // so that the program closing and reopening the port never leaves the
    // master in a hung-up state that poll would report over and over.
    int holder = -1;
    int record = -1;
    std::string slavePath;
    std::string linkPath;  // set once the link exists, so that only ours is removed

    std::vector<std::uint8_t> capture;
    std::size_t capturePos = 0;
    BytePacer pacer;
    std::uint32_t bytesPerSecond = 0;
    EpochPacer epochPacer{{}, 0};

    std::vector<std::uint8_t> staged;  // bytes for the line that it would not take yet
    std::string replies;               // answers waiting for a frame boundary
    std::size_t repliesDeferredBytes = 0;

    int baud;
    // The line's rate when the simulator last looked. A pty has no wire, so
    // a program that writes and then changes the rate may have done both
    // before the bytes are read: they count as sent at either rate.
    int lastLineBaud = 0;
    bool resetting = false;
    Clock::time_point resetEnds{};
    int baudAfterReset = 0;

    std::string line;  // command text since the last CR or LF
    bool lineOverflow = false;
    std::vector<std::uint8_t> binaryTail;  // last bytes, for the Trimble probe

    std::uint64_t recordedInMemory = 0;
};

ReceiverSim::ReceiverSim(ReceiverSimOptions options) : options_(std::move(options)) {}

ReceiverSim::~ReceiverSim() {
    Stop();
}

std::string ReceiverSim::Start() {
    if (link_ || thread_.joinable()) {
        error_ = "already started";
        return {};
    }
    error_.clear();
    if (SpeedCodeOf(options_.baud) == 0) {
        error_ = "unsupported baud rate " + std::to_string(options_.baud);
        return {};
    }
    if (options_.duration <= 0ms) {
        error_ = "the duration must be positive";
        return {};
    }
    const std::uint32_t rate = options_.bytesPerSecond != 0 ? options_.bytesPerSecond
                                                            : static_cast<std::uint32_t>(options_.baud / 10);
    auto link = std::make_unique<Link>(rate, options_.baud);
    link->bytesPerSecond = rate;
    if (!LoadCaptures(*link)) return {};
    if (!options_.recordPath.empty()) {
        link->record = ::open(options_.recordPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (link->record < 0) {
            error_ = Errno("cannot open record file '" + options_.recordPath + "'");
            return {};
        }
    }
    if (!OpenPty(*link) || !LinkDevice(*link) || !OpenStopPipe()) return {};
    {
        std::lock_guard lock(mutex_);
        stats_ = ReceiverSimStats{};
        stats_.running = true;
        stats_.baud = options_.baud;
        recorded_.clear();
    }
    devicePath_ = link->slavePath;
    link_ = std::move(link);
    Link& running = *link_;
    thread_ = std::thread([this, &running] { Run(running); });
    return devicePath_;
}

bool ReceiverSim::LoadCaptures(Link& link) {
    for (const auto& path : options_.captureFiles) {
        if (!ReadCapture(path, link.capture)) {
            error_ = Errno("cannot read capture '" + path + "'");
            return false;
        }
    }
    if (options_.captureBytes.size() > kMaxCaptureBytes - link.capture.size()) {
        error_ = "captures larger than 256 MiB";
        return false;
    }
    link.capture.insert(link.capture.end(), options_.captureBytes.begin(), options_.captureBytes.end());
    if (options_.epochs) link.epochPacer = EpochPacer(EpochStarts(link.capture), link.capture.size());
    return true;
}

bool ReceiverSim::OpenPty(Link& link) {
    link.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (link.master < 0) {
        error_ = Errno("posix_openpt");
        return false;
    }
    char name[128];
    if (::grantpt(link.master) != 0 || ::unlockpt(link.master) != 0 ||
        ::ptsname_r(link.master, name, sizeof name) != 0) {
        error_ = Errno("cannot set up the pty");
        return false;
    }
    link.slavePath = name;
    if (!SetCloexec(link.master) || !SetNonblocking(link.master)) {
        error_ = Errno("pty master flags");
        return false;
    }

    // A fresh pty echoes and edits lines; a receiver's line is raw, and it
    // starts out at the receiver's rate.
    link.holder = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (link.holder < 0 || ::tcgetattr(link.holder, &tio) != 0) {
        error_ = Errno("cannot open '" + link.slavePath + "'");
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    const auto code = static_cast<speed_t>(SpeedCodeOf(options_.baud));
    if (::cfsetispeed(&tio, code) != 0 || ::cfsetospeed(&tio, code) != 0 ||
        ::tcsetattr(link.holder, TCSANOW, &tio) != 0) {
        error_ = Errno("cannot set the line of '" + link.slavePath + "'");
        return false;
    }
    return true;
}

bool ReceiverSim::LinkDevice(Link& link) {
    if (options_.linkPath.empty()) return true;
    struct stat st {};
    if (::lstat(options_.linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error_ = "'" + options_.linkPath + "' exists and is not a symbolic link";
            return false;
        }
        ::unlink(options_.linkPath.c_str());
    }
    if (::symlink(link.slavePath.c_str(), options_.linkPath.c_str()) != 0) {
        error_ = Errno("cannot link '" + options_.linkPath + "'");
        return false;
    }
    link.linkPath = options_.linkPath;
    return true;
}

bool ReceiverSim::OpenStopPipe() {
    if (::pipe(stopPipe_) != 0) {
        error_ = Errno("pipe");
        return false;
    }
    if (!SetCloexec(stopPipe_[0]) || !SetCloexec(stopPipe_[1]) || !SetNonblocking(stopPipe_[1])) {
        error_ = Errno("pipe flags");
        CloseFd(stopPipe_[0]);
        CloseFd(stopPipe_[1]);
        return false;
    }
    return true;
}

void ReceiverSim::Stop() {
    if (thread_.joinable()) {
        const char wake = 's';
        // The pipe is non-blocking and the reader only needs one byte.
        [[maybe_unused]] const ssize_t n = ::write(stopPipe_[1], &wake, 1);
        thread_.join();
    }
    CloseFd(stopPipe_[0]);
    CloseFd(stopPipe_[1]);
    link_.reset();
}

void ReceiverSim::Run(Link& link) {
    const auto started = Clock::now();
    const auto ends = started + options_.duration;
    auto nextSlice = started + kSlicePeriod;
    link.pacer.Restart(started);
    bool masterQuiet = false;  // a hang-up or error showed: wait for the next slice
    std::array<std::uint8_t, kReadChunk> buffer{};

    for (;;) {
        auto now = Clock::now();
        if (now >= ends) break;
        const auto wake = std::min(nextSlice, ends);
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
        pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {masterQuiet ? -1 : link.master, POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(std::max<long long>(waitMs, 0)));
        if (ready < 0 && errno != EINTR) {
            SEXTARA_DEBUG("sextara-sim: poll failed: %s\n", std::strerror(errno));
            break;
        }
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) break;
        if (ready > 0 && fds[1].revents != 0) {
            const ssize_t n = ::read(link.master, buffer.data(), buffer.size());
            if (n > 0) {
                Receive(link, buffer.data(), static_cast<std::size_t>(n));
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                masterQuiet = true;
            } else if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                masterQuiet = true;
            }
        }
        now = Clock::now();
        if (now >= nextSlice) {
            Slice(link, now);
            masterQuiet = false;
            nextSlice += kSlicePeriod;
            if (nextSlice <= now) nextSlice = now + kSlicePeriod;
        }
    }
    link.Close();
    Bump([](ReceiverSimStats& s) { s.running = false; });
}

void ReceiverSim::Record(Link& link, const std::uint8_t* bytes, std::size_t count) {
    if (link.record >= 0) {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(link.record, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                SEXTARA_DEBUG("sextara-sim: record write failed: %s\n", std::strerror(errno));
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    const std::size_t room = static_cast<std::size_t>(
        kMaxRecordedInMemory - std::min<std::uint64_t>(link.recordedInMemory, kMaxRecordedInMemory));
    const std::size_t kept = std::min(room, count);
    link.recordedInMemory += kept;
    std::lock_guard lock(mutex_);
    recorded_.insert(recorded_.end(), bytes, bytes + kept);
    stats_.bytesRecorded += count;
    changed_.notify_all();
}

void ReceiverSim::Receive(Link& link, const std::uint8_t* bytes, std::size_t count) {
    // The bytes were written before this look at the line; a program sets
    // the rate before it writes, so this sees the rate they were sent at. The
    // look comes before the recording, which a waiting test may take as the
    // sign that the program can go on to the next rate.
    termios tio{};
    const int lineBaud = ::tcgetattr(link.master, &tio) == 0 ? BaudOfCode(::cfgetospeed(&tio)) : 0;
    Record(link, bytes, count);
    const auto now = Clock::now();
    if (link.resetting && now >= link.resetEnds) {
        link.resetting = false;
        SwitchBaud(link, link.baudAfterReset);
    }
    const CommandDialect dialect = ReceiverMakeOf(options_.make).dialect;
    const auto probes = dialect == CommandDialect::kTrimblePacket
                            ? BinaryProbesOf(dialect)
                            : std::vector<std::span<const std::uint8_t>>{};
    std::size_t longestProbe = 0;
    for (const auto& probe : probes) longestProbe = std::max(longestProbe, probe.size());
    std::uint64_t ignored = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // A command can change the receiver's rate, and with it whether the
        // rest of this read is understood at all.
        if (link.resetting || (lineBaud != link.baud && link.lastLineBaud != link.baud)) {
            ++ignored;
            link.line.clear();
            link.lineOverflow = false;
            link.binaryTail.clear();
            continue;
        }
        const std::uint8_t b = bytes[i];
        if (dialect == CommandDialect::kTrimblePacket) {
            link.binaryTail.push_back(b);
            if (link.binaryTail.size() > longestProbe) link.binaryTail.erase(link.binaryTail.begin());
            for (const auto& probe : probes) {
                if (link.binaryTail.size() < probe.size() ||
                    !std::equal(probe.begin(), probe.end(),
                                link.binaryTail.end() - static_cast<std::ptrdiff_t>(probe.size()))) {
                    continue;
                }
                link.binaryTail.clear();
                SEXTARA_DEBUG("sextara-sim: Trimble probe at %d\n", lineBaud);
                Reply(link, TrimbleGgkReply(), true);
                break;
            }
            continue;
        }
        if (dialect == CommandDialect::kNone) continue;
        if (b == '\r' || b == '\n') {
            if (!link.line.empty() && !link.lineOverflow) {
                const std::string command = std::move(link.line);
                link.line.clear();
                HandleCommand(link, command);
            }
            link.line.clear();
            link.lineOverflow = false;
        } else if (link.line.size() < kMaxCommandLine) {
            link.line.push_back(static_cast<char>(b));
        } else {
            link.lineOverflow = true;
        }
    }
    link.lastLineBaud = lineBaud;
    Bump([&](ReceiverSimStats& s) {
        s.bytesIgnored += ignored;
        s.lineBaud = lineBaud;
    });
}

void ReceiverSim::HandleCommand(Link& link, std::string_view line) {
    SEXTARA_DEBUG("sextara-sim: <- '%.*s' at %d\n", static_cast<int>(line.size()), line.data(), link.baud);
    switch (ReceiverMakeOf(options_.make).dialect) {
        case CommandDialect::kNovatelAscii:
        case CommandDialect::kCompassAscii: HandleNovatel(link, line); break;
        case CommandDialect::kHemisphere: HandleHemisphere(link, line); break;
        default: break;
    }
}

// "log version", "unlogall", "com com1 57600": case-insensitive words,
// separated by spaces or commas.
void ReceiverSim::HandleNovatel(Link& link, std::string_view line) {
    const ReceiverMake& make = ReceiverMakeOf(options_.make);
    const bool compass = make.dialect == CommandDialect::kCompassAscii;
    const auto words = Split(Lower(line), " ,\t");
    if (words.empty()) return;
    const std::string ok = compass ? "OK!\r\n" : "\r\n<OK\r\n[COM1]";
    const std::string& verb = words[0];
    if (verb == "log" && std::find(words.begin(), words.end(), "version") != words.end()) {
        Reply(link, NovatelVersionReply(compass), true);
    } else if (!ResetWordOf(make).empty() && verb == Lower(ResetWordOf(make))) {
        BeginReset(link, make.reset.baudAfter);
    } else if (verb == "com") {
        // "com com1 57600", "com thisport 57600" or "com 57600": the port the
        // command came in on is COM1.
        std::string port = "thisport";
        std::size_t rateAt = 1;
        if (words.size() > 2 && ParseBaud(words[1]) == 0) {
            port = words[1];
            rateAt = 2;
        }
        const int rate = rateAt < words.size() ? ParseBaud(words[rateAt]) : 0;
        if (rate == 0) {
            Reply(link, compass ? "ERROR!\r\n" : "\r\n<ERROR:Invalid Parameter\r\n[COM1]", false);
        } else if (port == "com1" || port == "thisport") {
            SwitchBaud(link, rate);
        } else {
            Reply(link, ok, false);
        }
    } else if (verb == "log" || verb == "unlog" || verb == "unlogall" || verb == "nmeatalker" ||
               verb == "saveconfig" || verb == "interfacemode") {
        Reply(link, ok, false);
    } else {
        Reply(link, compass ? "ERROR!\r\n" : "\r\n<ERROR:Invalid Command Name\r\n[COM1]", false);
    }
}

// "$JSHOW", "$JBAUD,57600,OTHER": the command starts at the last '$' of the
// line, so stray bytes ahead of it do not hide it.
void ReceiverSim::HandleHemisphere(Link& link, std::string_view line) {
    const std::size_t dollar = line.rfind('$');
    if (dollar == std::string_view::npos) return;
    const std::string body = Upper(line.substr(dollar + 1));
    const auto fields = Split(body, ",");
    if (fields.empty() || fields[0].empty() || fields[0][0] != 'J') return;
    const std::string& name = fields[0];
    if (name == "JSHOW") {
        Reply(link, HemisphereShowReply(link.baud), true);
    } else if (const ReceiverMake& make = ReceiverMakeOf(options_.make);
               !ResetWordOf(make).empty() && name == Upper(ResetWordOf(make))) {
        BeginReset(link, make.reset.baudAfter);
    } else if (name == "JBAUD" && fields.size() == 2 && ParseBaud(fields[1]) != 0) {
        // Only the two-field form is about this port; "$JBAUD,57600,OTHER"
        // sets the other one.
        SwitchBaud(link, ParseBaud(fields[1]));
    } else if (name == "JSAVE") {
        Reply(link, "$>Saving Configuration.  Please Wait...\r\n$> Save Complete\r\n", false);
    } else {
        Reply(link, "$>" + body + "\r\n", false);
    }
}

void ReceiverSim::Reply(Link& link, std::string_view text, bool probe) {
    link.replies.append(text);
    Bump([probe](ReceiverSimStats& s) {
        if (probe) {
            ++s.probesAnswered;
        } else {
            ++s.commandsAnswered;
        }
    });
}

void ReceiverSim::BeginReset(Link& link, int baudAfter) {
    if (baudAfter == 0) return;
    link.resetting = true;
    link.resetEnds = Clock::now() + options_.resetDelay;
    link.baudAfterReset = baudAfter;
    link.replies.clear();
    link.staged.clear();
    Bump([](ReceiverSimStats& s) { ++s.resets; });
    if (options_.resetDelay <= 0ms) {
        link.resetting = false;
        SwitchBaud(link, baudAfter);
    }
}

void ReceiverSim::SwitchBaud(Link& link, int baud) {
    if (baud == link.baud) return;
    SEXTARA_DEBUG("sextara-sim: now at %d baud\n", baud);
    link.baud = baud;
    // What was queued at the old rate would arrive as noise at the new one.
    link.replies.clear();
    link.staged.clear();
    if (options_.bytesPerSecond == 0) {
        link.bytesPerSecond = static_cast<std::uint32_t>(baud / 10);
        link.pacer = BytePacer(link.bytesPerSecond, kMaxBurst);
    }
    link.pacer.Restart(Clock::now());
    Bump([baud](ReceiverSimStats& s) {
        s.baud = baud;
        ++s.baudChanges;
    });
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

void ReceiverSim::Bump(const std::function<void(ReceiverSimStats&)>& change) {
    std::lock_guard lock(mutex_);
    change(stats_);
    changed_.notify_all();
}

bool ReceiverSim::Running() const {
    std::lock_guard lock(mutex_);
    return stats_.running;
}

int ReceiverSim::Baud() const {
    std::lock_guard lock(mutex_);
    return stats_.baud;
}

std::uint64_t ReceiverSim::BytesRecorded() const {
    std::lock_guard lock(mutex_);
    return stats_.bytesRecorded;
}

std::vector<std::uint8_t> ReceiverSim::RecordedBytes() const {
    std::lock_guard lock(mutex_);
    return recorded_;
}

ReceiverSimStats ReceiverSim::Stats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

bool ReceiverSim::WaitForRecorded(std::uint64_t count, std::chrono::milliseconds timeout) const {
    return WaitForRecorded(count, Clock::now() + timeout);
}

bool ReceiverSim::WaitForRecorded(std::uint64_t count, Clock::time_point deadline) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, deadline, [&] { return stats_.bytesRecorded >= count; });
}

bool ReceiverSim::WaitFor(const std::function<bool(const ReceiverSimStats&)>& done,
                          std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(stats_); });
}

bool ReceiverSim::WaitForExit(std::chrono::milliseconds timeout) const {
    return WaitFor([](const ReceiverSimStats& s) { return !s.running; }, timeout);
}

}  // namespace sextara::sim
