#include "corrections/LinkSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sextara::corrections {

bool ResolveIpv4(std::string_view address, std::uint16_t port, sockaddr_in& out) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    const std::string host(address);
    if (host.empty() || host.find('\0') != std::string::npos) return false;
    if (::inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &results) != 0 || results == nullptr) {
        return false;
    }
    bool found = false;
    for (const addrinfo* entry = results; entry != nullptr && !found; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            out.sin_addr = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
            found = true;
        }
    }
    ::freeaddrinfo(results);
    return found;
}

std::string DottedAddress(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

LinkSocket::LinkSocket() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

LinkSocket::~LinkSocket() {
    Close();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

bool LinkSocket::Open() {
    Close();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
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

LinkSocket::Io LinkSocket::WaitFor(short events, int timeoutMs) {
    for (;;) {
        if (interrupted_) return Io::Interrupted;
        pollfd fds[2] = {{fd_.load(), events, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds, wakeFd_ >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Io::Error;
        if (interrupted_ || (fds[1].revents & POLLIN) != 0) return Io::Interrupted;
        return ready == 0 ? Io::TimedOut : Io::Data;
    }
}

LinkSocket::Io LinkSocket::Connect(const sockaddr_in& address, int& error) {
    error = 0;
    const int fd = fd_.load();
    if (fd < 0) {
        error = EBADF;
        return Io::Error;
    }
    if (interrupted_) return Io::Interrupted;
    // Non-blocking connect so that a stop need not wait for the system's own
    // time-out of a caster that does not answer.
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    Io result = Io::Data;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
            result = Io::Error;
        } else {
            result = WaitFor(POLLOUT, -1);
            if (result == Io::Data) {
                socklen_t length = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
                if (error != 0) result = Io::Error;
            } else if (result == Io::Error) {
                error = errno;
            }
        }
    }
    ::fcntl(fd, F_SETFL, flags);
    if (result == Io::Data && interrupted_) result = Io::Interrupted;
    return result;
}

bool LinkSocket::SendAll(std::string_view bytes) {
    const int fd = fd_.load();
    while (fd >= 0 && !bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
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
    const Io ready = WaitFor(POLLIN, static_cast<int>(timeout.count()));
    if (ready != Io::Data) {
        if (ready == Io::Error) error = errno;
        return ready;
    }
    for (;;) {
        const ssize_t count = ::recv(fd, buffer, room, MSG_DONTWAIT);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Io::TimedOut;
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
