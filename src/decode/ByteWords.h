#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sextara::bytewords {

// Text scanned eight bytes at a time: a mask marks the bytes of a word that
// equal a given character, and each marked byte is found by counting zero
// bits instead of testing every byte. Byte i of a word is bits 8i..8i+7,
// which holds on little-endian machines; elsewhere the callers scan byte by
// byte.
inline constexpr bool kEnabled = std::endian::native == std::endian::little;
inline constexpr std::size_t kWordBytes = 8;

inline std::uint64_t Load(const char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

constexpr std::uint64_t Broadcast(char c) {
    return 0x0101010101010101ULL * static_cast<std::uint8_t>(c);
}

// The high bit of every byte of `word` that is zero, and of no other (no
// false marks from borrows, unlike the shorter has-zero test).
constexpr std::uint64_t ZeroBytes(std::uint64_t word) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    return ~(((word & kLow7) + kLow7) | word | kLow7);
}

// The bytes of `word` equal to `c`, marked as ZeroBytes marks them.
constexpr std::uint64_t Matches(std::uint64_t word, char c) {
    return ZeroBytes(word ^ Broadcast(c));
}

// Index in its word of the lowest marked byte; the mask must not be 0.
inline std::size_t LowestByte(std::uint64_t mask) {
    return static_cast<std::size_t>(std::countr_zero(mask)) / 8;
}

}  // namespace sextara::bytewords
