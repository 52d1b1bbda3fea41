#pragma once

#include <cstdint>

namespace sextara::platform {

// Stands in for a window that receives messages from worker threads. Send
// waits until the receiver has handled the message; Post returns at once.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void Send(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) = 0;
    virtual void Post(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) = 0;
};

}  // namespace sextara::platform
