#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace sextara::corrections {

// Looks up a caster address: a dotted IPv4 address directly, a host name
// through the resolver (first IPv4 result). False when neither works.
bool ResolveIpv4(std::string_view address, std::uint16_t port, sockaddr_in& out);
std::string DottedAddress(const sockaddr_in& address);

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

    // Creates the IPv4 stream socket; false with errno set.
    bool Open();
    // Io::Data on success; error holds errno on failure.
    Io Connect(const sockaddr_in& address, int& error);
    // All bytes in one write call unless the kernel takes fewer.
    bool SendAll(std::string_view bytes);
    // Waits up to timeout for bytes; got holds the count on Io::Data.
    Io Receive(std::uint8_t* buffer, std::size_t room, std::chrono::milliseconds timeout, std::size_t& got,
               int& error);
    void Close();
    bool IsOpen() const;

    void Interrupt();
    bool Interrupted() const { return interrupted_.load(); }
    // Before a new worker starts on this socket.
    void ClearInterrupt();

private:
    // Waits for the socket (events) or the wake-up; Io::Data when ready.
    Io WaitFor(short events, int timeoutMs);

    mutable std::mutex fdLock_;  // held only around open, shutdown and close, never while waiting
    std::atomic<int> fd_{-1};
    int wakeFd_ = -1;
    std::atomic<bool> interrupted_{false};
};

}  // namespace sextara::corrections
