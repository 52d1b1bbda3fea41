#include "corrections/Rtcm3Framer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace sextara::corrections {
namespace {

constexpr std::uint32_t kCrc24qPolynomial = 0x1864CFB;

constexpr std::array<std::uint32_t, 256> MakeCrc24qTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i << 16;
        for (int bit = 0; bit < 8; ++bit) {
            crc <<= 1;
            if (crc & 0x1000000) crc ^= kCrc24qPolynomial;
        }
        table[i] = crc & 0xFFFFFF;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrc24qTable = MakeCrc24qTable();

// The message number takes the first 12 bits of the payload.
constexpr std::size_t kMessageNumberBytes = 2;

}  // namespace

std::uint32_t Crc24q(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < count; ++i) {
        crc = ((crc << 8) ^ kCrc24qTable[((crc >> 16) ^ bytes[i]) & 0xFF]) & 0xFFFFFF;
    }
    return crc;
}

Rtcm3Framer::Rtcm3Framer(FrameHandler onFrame) : onFrame_(std::move(onFrame)) {}

void Rtcm3Framer::Reset() {
    counters_ = {};
    fill_ = 0;
}

void Rtcm3Framer::Feed(const std::uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr) return;
    counters_.bytes += count;
    while (count > 0) {
        if (fill_ == 0) {
            const void* preamble = std::memchr(bytes, kRtcm3Preamble, count);
            const std::size_t skip =
                preamble != nullptr
                    ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(preamble) - bytes)
                    : count;
            counters_.garbageBytes += skip;
            bytes += skip;
            count -= skip;
            if (count == 0) return;
        }
        const std::size_t take = std::min(Wanted() - fill_, count);
        std::memcpy(held_.data() + fill_, bytes, take);
        fill_ += take;
        bytes += take;
        count -= take;
        Settle();
    }
}

std::size_t Rtcm3Framer::Wanted() const {
    if (fill_ < kRtcm3HeaderBytes) return kRtcm3HeaderBytes;
    // The six reserved bits are not checked: the CRC decides, and a frame is
    // not refused for bits kept for later versions.
    const std::size_t length = (static_cast<std::size_t>(held_[1] & 0x03) << 8) | held_[2];
    return kRtcm3HeaderBytes + length + kRtcm3CrcBytes;
}

void Rtcm3Framer::Settle() {
    // Bytes held after a false start may already hold the next whole frame.
    while (fill_ >= kRtcm3HeaderBytes && fill_ >= Wanted()) {
        const std::size_t size = Wanted();
        const std::size_t payloadBytes = size - kRtcm3HeaderBytes - kRtcm3CrcBytes;
        const std::uint8_t* crc = held_.data() + size - kRtcm3CrcBytes;
        const std::uint32_t expected =
            (static_cast<std::uint32_t>(crc[0]) << 16) | (static_cast<std::uint32_t>(crc[1]) << 8) | crc[2];
        if (Crc24q(held_.data(), size - kRtcm3CrcBytes) != expected) {
            ++counters_.crcErrors;
            ++counters_.garbageBytes;  // the false preamble; the search goes on behind it
            Discard(1);
            continue;
        }
        if (payloadBytes < kMessageNumberBytes) {
            ++counters_.emptyFrames;
            counters_.emptyFrameBytes += size;
        } else {
            ++counters_.frames;
            counters_.frameBytes += size;
            if (onFrame_) {
                const std::uint8_t* payload = held_.data() + kRtcm3HeaderBytes;
                onFrame_(Rtcm3Frame{(payload[0] << 4) | (payload[1] >> 4), {payload, payloadBytes}});
            }
        }
        Discard(size);
    }
}

void Rtcm3Framer::Discard(std::size_t count) {
    std::size_t next = count;
    while (next < fill_ && held_[next] != kRtcm3Preamble) ++next;
    counters_.garbageBytes += next - count;
    std::memmove(held_.data(), held_.data() + next, fill_ - next);
    fill_ -= next;
}

}  // namespace sextara::corrections
