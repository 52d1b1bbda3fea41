#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace sextara::corrections {

// RTCM 3 transport frame: preamble 0xD3, 6 reserved bits and a 10-bit
// payload length, the payload, then CRC-24Q over preamble, length and payload.
//
//   D3 00 13 | 3E D0 00 03 84 1A ... 37 62 8A (19 bytes: message 1005) | 33 84 79
//   (the reference station of tests/data/rtcm3/pygpsdata-NTRIP-USCL00CHL0.log)
inline constexpr std::uint8_t kRtcm3Preamble = 0xD3;
inline constexpr std::size_t kRtcm3HeaderBytes = 3;
inline constexpr std::size_t kRtcm3MaxPayloadBytes = 1023;  // the 10-bit length field
inline constexpr std::size_t kRtcm3CrcBytes = 3;
inline constexpr std::size_t kRtcm3MaxFrameBytes = kRtcm3HeaderBytes + kRtcm3MaxPayloadBytes + kRtcm3CrcBytes;

// CRC-24Q (polynomial 0x1864CFB, initial value 0) of the bytes.
std::uint32_t Crc24q(const std::uint8_t* bytes, std::size_t count);

// One whole frame with a good CRC, as the framer hands it over. The view is
// valid only during the callback.
struct Rtcm3Frame {
    int messageNumber = 0;  // DF002, the first 12 bits of the payload: 0..4095
    std::span<const std::uint8_t> payload;
};

// What a field user reads to tell a healthy stream from a wrong one: a CMR or
// NMEA stream, or a caster's text reply, shows up as garbage bytes with few
// or no frames; a line that drops bytes as CRC errors.
struct Rtcm3Counters {
    std::uint64_t bytes = 0;         // every byte fed
    std::uint64_t frames = 0;        // whole frames with a good CRC and a message number
    std::uint64_t frameBytes = 0;    // bytes of those frames, header and CRC included
    std::uint64_t crcErrors = 0;     // candidate frames whose CRC failed
    std::uint64_t garbageBytes = 0;  // bytes found to be outside every good frame
    // Frames with a good CRC but a payload too short to hold a message number
    // (a zero-length frame carries nothing; it can only keep a line busy).
    std::uint64_t emptyFrames = 0;
    std::uint64_t emptyFrameBytes = 0;
};

// Cuts RTCM 3 frames out of a byte stream fed in pieces of any size. It only
// watches: the caller passes every byte on by itself, framed or not, so that
// a stream in another format still reaches the receiver unchanged.
//
// After a bad CRC the search for the next preamble starts at the byte after
// the false one, so a frame hidden behind a false start is still found. At
// any time bytes == frameBytes + emptyFrameBytes + garbageBytes + Pending().
class Rtcm3Framer {
public:
    using FrameHandler = std::function<void(const Rtcm3Frame&)>;

    explicit Rtcm3Framer(FrameHandler onFrame = {});

    void Feed(const std::uint8_t* bytes, std::size_t count);
    // Forgets the held bytes and the counters: a new stream begins.
    void Reset();

    const Rtcm3Counters& Counters() const { return counters_; }
    // Bytes held for a frame not yet whole (at most kRtcm3MaxFrameBytes).
    std::size_t Pending() const { return fill_; }

private:
    // The frame size the held header announces, or the header size while it
    // is not yet held.
    std::size_t Wanted() const;
    // Handles every whole candidate held.
    void Settle();
    // Drops the first count held bytes and then every byte up to the next
    // preamble, which the garbage counter takes.
    void Discard(std::size_t count);

    FrameHandler onFrame_;
    Rtcm3Counters counters_;
    std::array<std::uint8_t, kRtcm3MaxFrameBytes> held_{};
    std::size_t fill_ = 0;  // held_[0] is a preamble whenever fill_ > 0
};

}  // namespace sextara::corrections
