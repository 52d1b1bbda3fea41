#pragma once

#include <cstdint>

namespace sextara {

// Where commands to the receiver go: the receiver's serial port implements it.
// Write queues the bytes and returns at once with the count taken.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length) = 0;
};

}  // namespace sextara
