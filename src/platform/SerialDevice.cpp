#include "platform/SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/Debug.h"

namespace sextara::platform {
namespace {

std::mutex& MapMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<int, std::string>& ComMap() {
    static std::map<int, std::string> map;
    return map;
}

struct RateCode {
    int baud;
    speed_t code;
};

// The rates the receiver makes are driven at, plus 4800 and 230400 for the
// slowest and fastest boards seen in the field.
constexpr RateCode kRates[] = {
    {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
};

bool SpeedCode(int baud, speed_t& code) {
    for (const RateCode& rate : kRates) {
        if (rate.baud == baud) {
            code = rate.code;
            return true;
        }
    }
    return false;
}

int BaudOfCode(speed_t code) {
    for (const RateCode& rate : kRates) {
        if (rate.code == code) return rate.baud;
    }
    return 0;
}

// Modem-control lines are absent on ptys and on some adapters; those answer
// ENOTTY or EINVAL, which is no reason to refuse the device.
bool SetModemLine(int fd, unsigned long request, int line) {
    if (::ioctl(fd, request, &line) == 0) return true;
    return errno == ENOTTY || errno == EINVAL;
}

OpenError ErrorOfErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR: return OpenError::NoSuchDevice;
        case EACCES:
        case EPERM: return OpenError::PermissionDenied;
        case EBUSY:
        case EWOULDBLOCK: return OpenError::InUse;
        case ENOTTY:
        case EINVAL: return OpenError::NotSerialLine;
        default: return OpenError::Other;
    }
}

int PollOne(pollfd* fds, nfds_t count, int timeoutMs) {
    for (;;) {
        const int ready = ::poll(fds, count, timeoutMs);
        if (ready >= 0 || errno != EINTR) return ready;
        // A signal (the runner's SIGINT handler) is no reason to end a read
        // early; the time-out restarts, which only lengthens the wait.
    }
}

}  // namespace

std::string ComDevicePath(int portNumber) {
    {
        std::lock_guard<std::mutex> hold(MapMutex());
        const auto found = ComMap().find(portNumber);
        if (found != ComMap().end()) return found->second;
    }
    if (portNumber < 1) return {};
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

void SetComDevicePath(int portNumber, const std::string& path) {
    std::lock_guard<std::mutex> hold(MapMutex());
    ComMap()[portNumber] = path;
}

void InstallComDevicePaths(const std::map<int, std::string>& paths) {
    std::lock_guard<std::mutex> hold(MapMutex());
    for (const auto& [number, path] : paths) ComMap()[number] = path;
}

void ClearComDevicePaths() {
    std::lock_guard<std::mutex> hold(MapMutex());
    ComMap().clear();
}

const char* OpenErrorText(OpenError error) {
    switch (error) {
        case OpenError::None: return "no error";
        case OpenError::NoSuchDevice: return "no such device";
        case OpenError::PermissionDenied: return "permission denied";
        case OpenError::InUse: return "in use by another program";
        case OpenError::NotSerialLine: return "not a serial line";
        case OpenError::RateNotSupported: return "baud rate not supported";
        case OpenError::Other: return "cannot be opened";
    }
    return "cannot be opened";
}

std::string SerialDevice::LastErrorText() const {
    std::string text = lastErrorPath_.empty() ? std::string("(no device)") : lastErrorPath_;
    text += ": ";
    text += OpenErrorText(lastError_);
    return text;
}

bool SerialDevice::Drain() {
    if (fd_ < 0) return false;
    int result;
    do {
        result = ::tcdrain(fd_);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

SerialDevice::~SerialDevice() {
    Close();
}

bool SerialDevice::Open(int portNumber) {
    const std::string path = ComDevicePath(portNumber);
    if (path.empty()) {
        Close();
        lastError_ = OpenError::NoSuchDevice;
        lastErrorPath_ = "COM" + std::to_string(portNumber);
        return false;
    }
    return OpenPath(path);
}

bool SerialDevice::OpenPath(const std::string& path) {
    Close();
    lastErrorPath_ = path;
    lastError_ = OpenError::None;
    // O_NONBLOCK: a real port without carrier would otherwise hang the open;
    // every wait goes through poll anyway.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = ErrorOfErrno(errno);
        SEXTARA_DEBUG("serial: cannot open %s (errno %d)\n", path.c_str(), errno);
        return false;
    }
    termios current{};
    // TIOCEXCL does not hold back root, so a second open by this program
    // (a detector and the GPS path on one port) is refused by the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastError_ = OpenError::InUse;
        ::close(fd);
        return false;
    }
    if (::tcgetattr(fd, &current) != 0) {
        lastError_ = OpenError::NotSerialLine;
        ::close(fd);
        return false;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        lastError_ = errno == EBUSY ? OpenError::InUse : ErrorOfErrno(errno);
        SEXTARA_DEBUG("serial: %s refuses the exclusive mode (errno %d)\n", path.c_str(), errno);
        ::close(fd);
        return false;
    }
    if (!wake_.Ok()) {
        lastError_ = OpenError::Other;
        ::close(fd);
        return false;
    }
    wake_.Reset();
    fd_ = fd;
    path_ = path;
    baud_ = BaudOfCode(::cfgetospeed(&current));
    if (!ApplyLine(0) || !SetModemLine(fd_, TIOCMBIS, TIOCM_DTR) || !SetModemLine(fd_, TIOCMBIC, TIOCM_RTS)) {
        SEXTARA_DEBUG("serial: cannot set the line of %s (errno %d)\n", path.c_str(), errno);
        Close();
        lastError_ = OpenError::NotSerialLine;
        return false;
    }
    return true;
}

// Raw 8N1 without flow control; baud 0 keeps the current rate. Starts from
// the device's settings so that driver-specific flags stay as they are.
bool SerialDevice::ApplyLine(int baud) {
    termios line{};
    speed_t code = B0;
    if (baud != 0 && !SpeedCode(baud, code)) return false;
    if (::tcgetattr(fd_, &line) != 0) {
        // Without the current settings only a full set with a rate will do.
        if (baud == 0) return false;
        line = termios{};
    }
    ::cfmakeraw(&line);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // The waiting is done by poll. With O_NONBLOCK and VMIN 1 a read of an
    // empty line gives EAGAIN, so a read of 0 bytes can only mean hang-up
    // (with VMIN 0 it would also mean "nothing yet").
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    if (baud != 0 && ::cfsetspeed(&line, code) != 0) return false;
    return ::tcsetattr(fd_, TCSANOW, &line) == 0;
}

bool SerialDevice::SetBaud(int baud) {
    speed_t code = B0;
    if (fd_ < 0) return false;
    if (!SpeedCode(baud, code) || !ApplyLine(baud)) {
        lastError_ = OpenError::RateNotSupported;
        lastErrorPath_ = path_ + " at " + std::to_string(baud) + " baud";
        return false;
    }
    baud_ = baud;
    return true;
}

// A read is tried before any wait: a reader that paused finds the bytes in
// the driver and takes them without a poll. Only an empty driver (EAGAIN)
// sends it to poll for the line and the wake-up.
long SerialDevice::Read(std::uint8_t* buffer, std::size_t max, int timeoutMs) {
    if (fd_ < 0) return -1;
    std::size_t got = 0;
    int waitMs = timeoutMs;
    while (got < max && !Interrupted()) {
        const ssize_t n = ::read(fd_, buffer + got, max - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            // Without an interval the read took what the driver held.
            if (readIntervalMs_ == 0) break;
            waitMs = readIntervalMs_;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // 0 (end of file) or EIO: the far end is gone, as a pty whose
        // master closed or a USB adapter pulled out.
        if (n == 0 || errno != EAGAIN) return got > 0 ? static_cast<long>(got) : -1;
        if (waitMs == 0) break;
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_.Descriptor(), POLLIN, 0}};
        const int ready = PollOne(fds, 2, waitMs);
        if (ready < 0) return got > 0 ? static_cast<long>(got) : -1;
        if (ready == 0 || (fds[1].revents & POLLIN) != 0) break;
        if ((fds[0].revents & POLLIN) == 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return got > 0 ? static_cast<long>(got) : -1;
        }
    }
    return static_cast<long>(got);
}

long SerialDevice::Write(const std::uint8_t* bytes, std::size_t length) {
    if (fd_ < 0) return -1;
    if (Interrupted()) return 0;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd_, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        // The driver's send buffer is full: wait until it drains or a stop.
        pollfd fds[2] = {{fd_, POLLOUT, 0}, {wake_.Descriptor(), POLLIN, 0}};
        if (PollOne(fds, 2, -1) < 0) return -1;
        if ((fds[1].revents & POLLIN) != 0) break;
        if ((fds[0].revents & POLLOUT) == 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            errno = EIO;
            return -1;
        }
    }
    return static_cast<long>(done);
}

void SerialDevice::Purge() {
    if (fd_ < 0) return;
    ::tcflush(fd_, TCIOFLUSH);
    // Not every driver knows breaks (ptys do not); nothing to clear then.
    ::ioctl(fd_, TIOCCBRK);
}

void SerialDevice::PurgeReceive() {
    if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
}

long SerialDevice::Available() const {
    if (fd_ < 0) return -1;
    int count = 0;
    if (::ioctl(fd_, FIONREAD, &count) != 0) return -1;
    return count;
}

void SerialDevice::Interrupt() {
    if (fd_ < 0) return;
    interrupted_ = true;
    wake_.Notify();
}

bool SerialDevice::Interrupted() const {
    return interrupted_.load();
}

void SerialDevice::Close() {
    if (fd_ >= 0) {
        // The exclusive mode belongs to the tty, not to our descriptor: it
        // outlives the close while another process (a simulator holding the
        // pty slave) keeps the tty open, and would refuse our own reopen.
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);  // drops the lock
    }
    wake_.Reset();
    interrupted_ = false;
    fd_ = -1;
    baud_ = 0;
    path_.clear();
}

}  // namespace sextara::platform
