#pragma once

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace sextara::corrections {

// The one TCP connection of a correction link. The worker thread that uses it
// opens, connects, sends, receives and closes; any other thread may Interrupt
// it, which makes a connect or receive in progress (or the next one) return
// Interrupted at once: the socket is shut down and a wake-up descriptor that
// every wait also watches becomes readable. The descriptor is closed only by
// its user, so a stopping thread never closes a number that may be reused.
class LinkSocket {
public:
    enum class Io { Data, Closed, TimedOut, Error, Interrupted };

    LinkSocket();
    ~LinkSocket();
    LinkSocket(const LinkSocket&) = delete;
    LinkSocket& operator=(const LinkSocket&) = delete;

    // Creates a stream socket of the family (AF_INET, AF_INET6); false with errno set.
    bool Open(int family);
    // Connects without blocking a stop, waiting up to timeout; the socket
    // stays non-blocking afterwards. Io::Data on success; error holds errno
    // (ETIMEDOUT for the wait) on failure.
    Io Connect(const sockaddr* address, socklen_t length, std::chrono::milliseconds timeout, int& error);
    // Every byte, in one write call unless the kernel takes fewer; waits up to
    // timeout in all while the send buffer is full.
    bool SendAll(std::string_view bytes, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Takes what is pending at once; when nothing is, waits up to timeout for
    // bytes. got holds the count on Io::Data.
    Io Receive(std::uint8_t* buffer, std::size_t room, std::chrono::milliseconds timeout, std::size_t& got,
               int& error);
    // Waits for the socket (POLLIN, POLLOUT) or the wake-up; Io::Data when ready.
    Io Wait(short events, std::chrono::milliseconds timeout);
    int Descriptor() const { return fd_.load(); }
    void Close();
    bool IsOpen() const;

    void Interrupt();
    bool Interrupted() const { return interrupted_.load(); }
    // Before a new worker starts on this socket.
    void ClearInterrupt();

private:
    mutable std::mutex fdLock_;  // held only around open, shutdown and close, never while waiting
    std::atomic<int> fd_{-1};
    int wakeFd_ = -1;
    std::atomic<bool> interrupted_{false};
};

}  // namespace sextara::corrections
