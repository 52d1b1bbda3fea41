#include "sim/ReceiverSim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Debug.h"
#include "sim/SimLink.h"

namespace sextara::sim {
namespace {

using namespace std::chrono_literals;

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
    Drain(link);
    link.Close();
    Bump([](ReceiverSimStats& s) { s.running = false; });
}

// A stopped stream is not cut short: the bytes already sent stay on the line
// while the program keeps reading them, as they would on a receiver that
// simply falls silent. Without a reader it gives up after kDrainPatience.
void ReceiverSim::Drain(Link& link) {
    int left = 0;
    int seen = -1;
    auto lastRead = Clock::now();
    while (::ioctl(link.holder, FIONREAD, &left) == 0 && left > 0) {
        const auto now = Clock::now();
        if (left != seen) {
            seen = left;
            lastRead = now;
        } else if (now - lastRead > kDrainPatience) {
            return;
        }
        std::this_thread::sleep_for(5ms);
    }
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
