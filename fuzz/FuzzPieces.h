#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace sextara::fuzz {

// How a fuzz input is cut into the pieces fed one after the other: its last
// two bytes seed the sizes (the same input always gives the same cuts) and
// are not part of the stream.
class PieceSizes {
public:
    // Takes the seed off the end of an input of at least two bytes.
    PieceSizes(const std::uint8_t* data, std::size_t& size)
        : x_(0x9E3779B97F4A7C15ull ^ (static_cast<std::uint64_t>(data[size - 2]) << 8 | data[size - 1])) {
        size -= 2;
    }

    // A quarter of the pieces are short (1..16 bytes), so that frames split
    // at every kind of boundary; the rest range up to longest.
    std::size_t Next(std::size_t remaining, std::size_t longest) {
        Step();
        const std::uint64_t limit = (x_ & 3) == 0 ? 16 : longest;
        return std::min<std::size_t>(static_cast<std::size_t>(1 + (x_ >> 2) % limit), remaining);
    }
    // The random word the last size came from, for other choices of that turn.
    std::uint64_t Random() const { return x_; }

private:
    // xorshift64: cheap and repeatable.
    void Step() {
        x_ ^= x_ << 13;
        x_ ^= x_ >> 7;
        x_ ^= x_ << 17;
    }

    std::uint64_t x_;
};

}  // namespace sextara::fuzz
