#pragma once

#include <cstdint>
#include <string>

namespace sextara::platform {

// One message from a worker to the window that started it. Everything it
// carries is a value: the worker may overwrite or free its own buffers the
// moment Send or Post returns, or sooner for a Post that is still queued.
struct Message {
    std::uint32_t message = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
    std::string text;
};

// Stands in for a window that receives messages from worker threads. Send
// waits until the receiver has handled the message; Post returns at once.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void Send(Message m) = 0;
    virtual void Post(Message m) = 0;
};

}  // namespace sextara::platform
