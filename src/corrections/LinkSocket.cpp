#include "corrections/LinkSocket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace sextara::corrections {

LinkSocket::LinkSocket() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

LinkSocket::~LinkSocket() {
    Close();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool LinkSocket::Open(int family) {
    Close();
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) return false;
    std::lock_guard<std::mutex> hold(fdLock_);
    fd_ = fd;
    if (interrupted_) ::shutdown(fd, SHUT_RDWR);
    return true;
}

void LinkSocket::Close() {
    std::lock_guard<std::mutex> hold(fdLock_);
    const int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
}

bool LinkSocket::IsOpen() const {
    return fd_.load() >= 0;
}

void LinkSocket::Interrupt() {
    interrupted_ = true;
    if (wakeFd_ >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
    std::lock_guard<std::mutex> hold(fdLock_);
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void LinkSocket::ClearInterrupt() {
    std::uint64_t count = 0;
    if (wakeFd_ >= 0) {
        [[maybe_unused]] const ssize_t read = ::read(wakeFd_, &count, sizeof count);
    }
    interrupted_ = false;
}

LinkSocket::Io LinkSocket::Wait(short events, std::chrono::milliseconds timeout) {
    for (;;) {
        if (interrupted_) return Io::Interrupted;
        pollfd fds[2] = {{fd_.load(), events, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds, wakeFd_ >= 0 ? 2 : 1, static_cast<int>(timeout.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Io::Error;
        if (interrupted_ || (fds[1].revents & POLLIN) != 0) return Io::Interrupted;
        return ready == 0 ? Io::TimedOut : Io::Data;
    }
}

LinkSocket::Io LinkSocket::Connect(const sockaddr* address, socklen_t length, std::chrono::milliseconds timeout,
                                   int& error) {
    error = 0;
    const int fd = fd_.load();
    if (fd < 0) {
        error = EBADF;
        return Io::Error;
    }
    if (interrupted_) return Io::Interrupted;
    // The socket is non-blocking, so that a stop need not wait for the
    // system's own time-out of a caster that does not answer.
    if (::connect(fd, address, length) == 0) return Io::Data;
    if (errno != EINPROGRESS) {
        error = errno;
        return Io::Error;
    }
    Io result = Wait(POLLOUT, timeout);
    if (result == Io::Data) {
        socklen_t size = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        if (error != 0) result = Io::Error;
    } else if (result == Io::TimedOut) {
        error = ETIMEDOUT;
        result = Io::Error;
    } else if (result == Io::Error) {
        error = errno;
    }
    if (result == Io::Data && interrupted_) result = Io::Interrupted;
    return result;
}

bool LinkSocket::SendAll(std::string_view bytes, std::chrono::milliseconds timeout) {
    const int fd = fd_.load();
    while (fd >= 0 && !bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (Wait(POLLOUT, timeout) != Io::Data) return false;
            continue;
        }
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return fd >= 0;
}

LinkSocket::Io LinkSocket::Receive(std::uint8_t* buffer, std::size_t room, std::chrono::milliseconds timeout,
                                   std::size_t& got, int& error) {
    got = 0;
    error = 0;
    const int fd = fd_.load();
    if (fd < 0) {
        error = EBADF;
        return Io::Error;
    }
    // What is pending is taken at once; only an empty socket is waited on.
    bool waited = false;
    for (;;) {
        if (interrupted_) return Io::Interrupted;
        const ssize_t count = ::recv(fd, buffer, room, MSG_DONTWAIT);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waited) return Io::TimedOut;
            const Io ready = Wait(POLLIN, timeout);
            if (ready != Io::Data) {
                if (ready == Io::Error) error = errno;
                return ready;
            }
            waited = true;
            continue;
        }
        if (count < 0) {
            error = errno;
            return Io::Error;
        }
        if (count == 0) return interrupted_ ? Io::Interrupted : Io::Closed;
        got = static_cast<std::size_t>(count);
        return Io::Data;
    }
}

}  // namespace sextara::corrections
