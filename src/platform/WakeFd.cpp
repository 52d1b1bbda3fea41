#include "platform/WakeFd.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace sextara::platform {

WakeFd::WakeFd() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeFd::~WakeFd() {
    if (fd_ >= 0) ::close(fd_);
}

void WakeFd::Notify() const noexcept {
    if (fd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
}

bool WakeFd::Notified() const {
    if (fd_ < 0) return false;
    pollfd wake{fd_, POLLIN, 0};
    return ::poll(&wake, 1, 0) > 0 && (wake.revents & POLLIN) != 0;
}

bool WakeFd::WaitUntil(std::chrono::steady_clock::time_point deadline) const {
    if (fd_ < 0) return false;
    // poll takes an int of milliseconds: a farther deadline is waited for in steps.
    constexpr std::chrono::milliseconds::rep kMaxStepMs = 1 << 30;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const bool stepped = left.count() > kMaxStepMs;
        const int waitMs = static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, kMaxStepMs));
        pollfd wake{fd_, POLLIN, 0};
        const int ready = ::poll(&wake, 1, waitMs);
        if (ready > 0 && (wake.revents & POLLIN) != 0) return true;
        if (ready < 0 && errno != EINTR) return false;
        // EINTR (the signal whose handler notifies us may arrive first) or
        // one step of a long wait: look again.
        if (ready == 0 && !stepped) return false;
    }
}

void WakeFd::Reset() {
    if (fd_ < 0) return;
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(fd_, &count, sizeof count);
}

}  // namespace sextara::platform
