#pragma once

// Loopback casters, recorders and a fast clock for the correction link tests.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decode/ByteSink.h"
#include "platform/Clock.h"
#include "platform/MessageSink.h"
#include "support/TempFiles.h"

namespace sextara::test {

inline std::string ReadData(const std::string& relative) {
    return ReadBytes(std::string(SEXTARA_TEST_DATA) + "/" + relative);
}

// Time for several threads at once, running scale times as fast as real
// time: a pause passes at 1/scale of its length, and so does every wait that
// the clock is asked about afterwards.
class ScaledClock final : public platform::Clock {
public:
    explicit ScaledClock(int scale) : scale_(scale) {}
    TimePoint Now() const override {
        return TimePoint(std::chrono::duration_cast<TimePoint::duration>((std::chrono::steady_clock::now() - start_) *
                                                                         scale_));
    }
    void SleepFor(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(std::chrono::microseconds(duration.count() * 1000 / scale_));
    }
    // Like the real clock's, the scaled pause ends at once on a stop.
    bool SleepUnlessStopped(std::chrono::milliseconds duration, const std::stop_token& stop) override {
        std::mutex lock;
        std::condition_variable_any wake;
        std::unique_lock<std::mutex> hold(lock);
        wake.wait_for(hold, stop, std::chrono::microseconds(duration.count() * 1000 / scale_), [] { return false; });
        return !stop.stop_requested();
    }
    int Scale() const { return scale_; }

private:
    const int scale_;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

class RecordingSink final : public ByteSink {
public:
    std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length) override {
        std::lock_guard<std::mutex> hold(lock_);
        bytes_.append(reinterpret_cast<const char*>(bytes), length);
        return length;
    }
    std::string Bytes() const {
        std::lock_guard<std::mutex> hold(lock_);
        return bytes_;
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(lock_);
        bytes_.clear();
    }

private:
    mutable std::mutex lock_;
    std::string bytes_;
};

// Records every message posted, with the status text read when it came.
class RecordingMessages final : public platform::MessageSink {
public:
    std::function<std::string()> status;

    void Send(platform::Message m) override { Add(m.message); }
    void Post(platform::Message m) override { Add(m.message); }
    int Count(std::uint32_t message) const {
        std::lock_guard<std::mutex> hold(lock_);
        int count = 0;
        for (const auto& m : messages_) count += m.first == message ? 1 : 0;
        return count;
    }
    // The status texts that came with a message, in order.
    std::vector<std::string> Texts(std::uint32_t message) const {
        std::lock_guard<std::mutex> hold(lock_);
        std::vector<std::string> texts;
        for (const auto& m : messages_) {
            if (m.first == message) texts.push_back(m.second);
        }
        return texts;
    }

private:
    void Add(std::uint32_t message) {
        std::string text = status ? status() : std::string();
        std::lock_guard<std::mutex> hold(lock_);
        messages_.emplace_back(message, std::move(text));
    }
    mutable std::mutex lock_;
    std::vector<std::pair<std::uint32_t, std::string>> messages_;
};

class RecordingLog {
public:
    std::function<void(const char*)> Function() {
        return [this](const char* line) {
            std::lock_guard<std::mutex> hold(lock_);
            lines_.emplace_back(line);
        };
    }
    int Count(const std::string& text) const {
        std::lock_guard<std::mutex> hold(lock_);
        int count = 0;
        for (const auto& line : lines_) count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }
    bool Contains(const std::string& text) const {
        std::lock_guard<std::mutex> hold(lock_);
        for (const auto& line : lines_) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }
    std::string All() const {
        std::lock_guard<std::mutex> hold(lock_);
        std::string all;
        for (const auto& line : lines_) all += line + "\n";
        return all;
    }

private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

// A caster on 127.0.0.1 (or ::1 with AF_INET6): each accepted connection
// runs the script on its own descriptor, one at a time; the script returns
// when it is done with it. The script should watch Stopping() in its waits.
class LoopbackCaster {
public:
    using Script = std::function<void(int fd, LoopbackCaster& caster)>;

    explicit LoopbackCaster(Script script, int backlog = 8, int family = AF_INET) : script_(std::move(script)) {
        listenFd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage address{};
        socklen_t length = 0;
        if (family == AF_INET6) {
            auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
            v6.sin6_family = AF_INET6;
            v6.sin6_addr = in6addr_loopback;
            length = sizeof v6;
        } else {
            auto& v4 = reinterpret_cast<sockaddr_in&>(address);
            v4.sin_family = AF_INET;
            v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof v4;
        }
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listenFd_, backlog);
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                         : reinterpret_cast<sockaddr_in&>(address).sin_port);
        if (script_) thread_ = std::thread([this] { Run(); });
    }
    ~LoopbackCaster() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        ::close(listenFd_);
    }

    std::uint16_t Port() const { return port_; }
    int Connections() const { return connections_.load(); }
    bool Stopping() const { return stopping_.load(); }

    // Reads what the client sends until the empty line ends its request.
    std::string ReadRequest(int fd) {
        std::string request;
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 4096) {
            const std::string more = ReadRaw(fd, std::chrono::milliseconds(5000));
            if (more.empty()) break;
            request += more;
        }
        const std::size_t end = request.find("\r\n\r\n");
        std::lock_guard<std::mutex> hold(lock_);
        if (end != std::string::npos) {
            afterRequest_ += request.substr(end + 4);
            request.resize(end + 4);
        }
        requests_.push_back(request);
        return request;
    }
    // Whatever arrives within the wait; empty on silence or close.
    std::string ReadSome(int fd, std::chrono::milliseconds wait) {
        const std::string text = ReadRaw(fd, wait);
        std::lock_guard<std::mutex> hold(lock_);
        afterRequest_ += text;
        return text;
    }
    std::string ReadRaw(int fd, std::chrono::milliseconds wait) {
        pollfd entry{fd, POLLIN, 0};
        const auto end = std::chrono::steady_clock::now() + wait;
        while (!stopping_ && std::chrono::steady_clock::now() < end) {
            if (::poll(&entry, 1, 10) == 1) {
                char buffer[4096];
                const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
                if (count <= 0) return {};
                return std::string(buffer, static_cast<std::size_t>(count));
            }
        }
        return {};
    }
    // Holds the connection until the client closes it or the caster stops.
    void HoldOpen(int fd) {
        while (!stopping_) {
            pollfd entry{fd, POLLIN, 0};
            if (::poll(&entry, 1, 10) == 1) {
                char buffer[1024];
                const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
                if (count <= 0) return;
                std::lock_guard<std::mutex> hold(lock_);
                afterRequest_.append(buffer, static_cast<std::size_t>(count));
            }
        }
    }
    static void SendText(int fd, const std::string& text) {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t sent = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) return;
            done += static_cast<std::size_t>(sent);
        }
    }
    // Without a script: one connection accepted within the wait, or -1.
    int AcceptWithin(std::chrono::milliseconds wait) {
        pollfd entry{listenFd_, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(wait.count())) != 1) return -1;
        return ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    }
    // When each connection was accepted.
    std::vector<std::chrono::steady_clock::time_point> AcceptTimes() const {
        std::lock_guard<std::mutex> hold(lock_);
        return acceptTimes_;
    }
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> hold(lock_);
        return requests_;
    }
    // Everything the clients sent outside the requests (the GGA sentences).
    std::string AfterRequests() const {
        std::lock_guard<std::mutex> hold(lock_);
        return afterRequest_;
    }

private:
    void Run() {
        while (!stopping_) {
            pollfd entry{listenFd_, POLLIN, 0};
            if (::poll(&entry, 1, 10) != 1) continue;
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            {
                std::lock_guard<std::mutex> hold(lock_);
                acceptTimes_.push_back(std::chrono::steady_clock::now());
            }
            ++connections_;
            script_(fd, *this);
            ::close(fd);
        }
    }

    Script script_;
    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    std::string afterRequest_;
    std::vector<std::chrono::steady_clock::time_point> acceptTimes_;
};

inline int CountOf(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// CRC-24Q of RTCM 3 frames, to check a decoded stream frame by frame.
inline std::uint32_t Crc24q(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= static_cast<std::uint32_t>(bytes[i]) << 16;
        for (int bit = 0; bit < 8; ++bit) {
            crc <<= 1;
            if (crc & 0x1000000) crc ^= 0x1864cfb;
        }
    }
    return crc & 0xffffff;
}

// Number of RTCM 3 frames with a valid CRC found by scanning the stream, the
// way the captures' frame counts were made.
inline int CountRtcm3Frames(const std::string& stream) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.data());
    std::size_t at = 0;
    int frames = 0;
    while (at + 6 <= stream.size()) {
        const std::size_t length = ((bytes[at + 1] & 0x03u) << 8) | bytes[at + 2];
        if (bytes[at] == 0xd3 && at + 6 + length <= stream.size()) {
            const std::uint32_t crc = (static_cast<std::uint32_t>(bytes[at + 3 + length]) << 16) |
                                      (static_cast<std::uint32_t>(bytes[at + 4 + length]) << 8) |
                                      bytes[at + 5 + length];
            if (Crc24q(bytes + at, 3 + length) == crc) {
                at += 6 + length;
                ++frames;
                continue;
            }
        }
        ++at;
    }
    return frames;
}

}  // namespace sextara::test
