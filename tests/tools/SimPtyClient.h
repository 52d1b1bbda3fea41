#pragma once

// A plain POSIX client on the simulator's slave device, standing in for the
// program: it opens the line, sets a rate, writes commands and reads what the
// simulated receiver sends. Every wait is bounded by a deadline.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/ReceiverSim.h"

namespace sextara::sim::simtest {

// Long enough for a loaded machine running under a sanitizer; a passing run
// never waits this long.
constexpr std::chrono::milliseconds kPatience{15000};

class PtyClient {
public:
    explicit PtyClient(const std::string& path) { Open(path); }
    ~PtyClient() { Close(); }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool Open(const std::string& path) {
        Close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return fd_ >= 0;
    }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // Raw 8N1 at the rate, then both directions purged, as the program's
    // serial layer does when it sets a rate.
    bool SetBaud(int baud) {
        termios tio{};
        if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) return false;
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        const auto code = static_cast<speed_t>(SpeedCodeOf(baud));
        if (::cfsetispeed(&tio, code) != 0 || ::cfsetospeed(&tio, code) != 0) return false;
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
        Purge();
        return true;
    }
    void Purge() {
        ::tcflush(fd_, TCIOFLUSH);
        received_.clear();
    }

    bool Write(std::string_view bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Takes whatever is waiting now, without blocking.
    const std::string& Drain() {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            received_.append(buffer, static_cast<std::size_t>(n));
        }
        return received_;
    }

    bool ReadUntil(std::string_view text, std::chrono::milliseconds timeout = kPatience) {
        return ReadWhile([&] { return received_.find(text) == std::string::npos; }, timeout);
    }
    bool ReadAtLeast(std::size_t count, std::chrono::milliseconds timeout = kPatience) {
        return ReadWhile([&] { return received_.size() < count; }, timeout);
    }

    // Reads until `text` has arrived and its line has ended; returns that
    // line from `text` on, without the line end ("" on time-out).
    std::string ReadLineFrom(std::string_view text, std::chrono::milliseconds timeout = kPatience) {
        std::string line;
        ReadWhile(
            [&] {
                const std::size_t at = received_.find(text);
                if (at == std::string::npos) return true;
                const std::size_t end = received_.find("\r\n", at);
                if (end == std::string::npos) return true;
                line = received_.substr(at, end - at);
                return false;
            },
            timeout);
        return line;
    }

    const std::string& Received() const { return received_; }
    void Forget() { received_.clear(); }

private:
    template <typename More>
    bool ReadWhile(More more, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (more()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd pfd{fd_, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
            if (ready < 0 && errno != EINTR) return false;
            if (ready > 0 && (pfd.revents & POLLIN) == 0 && (pfd.revents & (POLLHUP | POLLERR)) != 0) {
                return false;
            }
            Drain();
        }
        return true;
    }

    int fd_ = -1;
    std::string received_;
};

}  // namespace sextara::sim::simtest
