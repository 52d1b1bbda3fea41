#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "decode/GnssDecoder.h"

namespace sextara {

// OEM binary log frame, little-endian throughout:
//   0 sync AA 44 12, 3 header length (28), 4 message id u16, 8 body length u16,
//   14 GPS week u16, 16 milliseconds of the week u32, 28 body, then CRC-32.
// Some receivers also send short-header frames: sync AA 44 13, 3 body length
// u8, 4 message id u16, 6 week u16, 8 milliseconds u32, 12 body, then CRC-32.
namespace novatel {
constexpr std::size_t kHeaderSize = 28;
constexpr std::size_t kShortHeaderSize = 12;
constexpr std::size_t kCrcSize = 4;
constexpr std::size_t kFrameOverhead = kHeaderSize + kCrcSize;
constexpr std::size_t kShortFrameOverhead = kShortHeaderSize + kCrcSize;
// The decoding thread never hands over more than this at once; larger calls
// are taken in pieces of this size so that the buffer rules keep their sense.
constexpr std::size_t kMaxInputChunk = 2048;
}  // namespace novatel

// NovAtel receivers configured for BESTPOSB, TRACKSTATB and SATVIS2B; also
// takes SATVISB and PSRDOPB, which receivers in the field send as well.
// Frames are searched in a held window of the stream; a frame with a bad CRC
// is skipped whole; bytes that never form a frame stay held until a frame
// behind them is taken or the buffer-full rule drops them.
class NovatelDecoder : public GnssDecoder {
public:
    explicit NovatelDecoder(GnssState* state) : GnssDecoder(state) {}

    std::int32_t Input(const std::uint8_t* bytes, std::uint32_t count) override;

    // Held stream: as much as the pump moves in one pass. The largest log the
    // receiver is set up for, TRACKSTAT of 128 channels (28 + 16 + 128 * 40 + 4
    // = 5168 bytes), fits whole; a frame that could never fit is not a frame.
    static constexpr std::size_t kBufferSize = 6144;

private:
    void Append(const std::uint8_t* bytes, std::size_t count);
    void Scan();
    void HandleFrame(const std::uint8_t* frame, std::size_t size);

    std::array<std::uint8_t, kBufferSize> buffer_{};
    std::size_t held_ = 0;
    // Positions before this were already judged not to start a frame; the
    // next scan resumes here instead of judging (and counting) them again.
    std::size_t scanFrom_ = 0;
};

// The BeiDou/GPS board that speaks the same framing, configured for BESTPOSB
// and SATMSGB (id 911, which on this board is a satellite list, not a DOP log).
// It drops everything it holds on any framing fault and starts afresh.
class NovatelDecoderCompass : public GnssDecoder {
public:
    explicit NovatelDecoderCompass(GnssState* state) : GnssDecoder(state) {}

    std::int32_t Input(const std::uint8_t* bytes, std::uint32_t count) override;

    // More than this held before new bytes arrive means the stream is not
    // forming frames: it is dropped.
    static constexpr std::size_t kHeldLimit = 9984;
    // The held limit plus one chunk of new bytes.
    static constexpr std::size_t kBufferSize = kHeldLimit + novatel::kMaxInputChunk;

private:
    void Parse();
    void HandleFrame(const std::uint8_t* frame, std::size_t size);

    std::array<std::uint8_t, kBufferSize> buffer_{};
    std::size_t held_ = 0;
};

}  // namespace sextara
