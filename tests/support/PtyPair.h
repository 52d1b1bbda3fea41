#pragma once

// A real pseudo-terminal for serial tests: the program under test opens the
// slave path as its serial device, the test plays the receiver on the
// master. Header-only, POSIX only; no project code beyond tests/support.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/WaitUntil.h"

namespace sextara::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
inline std::string ToText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class PtyPair {
public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            CloseMaster();
            return;
        }
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0) {
            CloseMaster();
            return;
        }
        slavePath_ = name;
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }

    // The receiver goes away: the slave side sees a hang-up.
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    bool Send(const Bytes& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    bool Send(const std::string& text) { return Send(ToBytes(text)); }

    // Reads until `count` bytes came or the deadline passed.
    Bytes Receive(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (out.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
            std::uint8_t buffer[4096];
            const std::size_t want = count - out.size() < sizeof buffer ? count - out.size() : sizeof buffer;
            const ssize_t n = ::read(master_, buffer, want);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) break;
            out.insert(out.end(), buffer, buffer + n);
        }
        return out;
    }

private:
    int master_ = -1;
    std::string slavePath_;
};

// Distinct bytes whose position can be told from their value over a long
// stream: a receiver never repeats itself that regularly, but a lost or
// duplicated run shows at once.
inline Bytes CountingBytes(std::size_t count, std::size_t start = 0) {
    Bytes out(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>((start + i) % 251);
    return out;
}

}  // namespace sextara::test
