#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace sextara {

// OEM binary log frame, little-endian throughout:
//   0 sync AA 44 12, 3 header length (28), 4 message id u16, 8 body length u16,
//   14 GPS week u16, 16 milliseconds of the week u32, 28 body, then CRC-32.
// Some receivers also send short-header frames: sync AA 44 13, 3 body length
// u8, 4 message id u16, 6 week u16, 8 milliseconds u32, 12 body, then CRC-32.
// The first header of tests/data/novatel/gavlab/ParsingData2.GPS, a BESTPOSB:
//   AA 44 12 1C 2A 00 02 3E 48 00 .. .. .. .. 97 06 F8 11 00 19 ...
//   header 28, id 42, body 72 bytes, week 1687, 419435000 ms.
namespace novatel {
constexpr std::size_t kHeaderSize = 28;
constexpr std::size_t kShortHeaderSize = 12;
constexpr std::size_t kCrcSize = 4;
constexpr std::size_t kFrameOverhead = kHeaderSize + kCrcSize;
constexpr std::size_t kShortFrameOverhead = kShortHeaderSize + kCrcSize;
// The decoding thread never hands over more than this at once; larger feeds
// are taken in pieces of this size so that the buffer rules keep their sense.
constexpr std::size_t kMaxInputChunk = 2048;
}  // namespace novatel

// What a board does when its buffer is about to fill.
enum class NovatelFullRule {
    // Before a piece that would not fit: what is held goes when it is at most
    // one piece, otherwise its oldest piece's worth.
    kGiveUpOldestPiece,
    // Before every piece: more than heldLimit held goes whole.
    kDropAllPastLimit,
};

// What a board does with a bad frame and with bytes that hold no sync.
enum class NovatelFaultRule {
    // A frame with a bad CRC is stepped over whole, a header announcing an
    // oversize frame by its sync byte; bytes that never form a frame wait in
    // the buffer until a frame behind them is taken or the full rule drops them.
    kStepOver,
    // Any bad frame, and a header's worth of bytes without a sync, drops
    // everything held; nothing is looked at before a header's worth is held.
    kDropAll,
};

// Where the boards that speak this framing part ways; the framer is the same.
struct NovatelFraming {
    std::size_t bufferBytes;  // held at most; a frame that could never fit is oversize
    NovatelFullRule fullRule;
    std::size_t heldLimit;  // kDropAllPastLimit only
    NovatelFaultRule faultRule;
    bool shortHeaders;        // AA 44 13 frames are taken (and handed over) too
    bool checksHeaderLength;  // a header length other than 28 is a bad frame
};

// NovAtel receivers. The buffer holds what the pump moves in one pass; the
// largest log they are set up for, TRACKSTAT of 128 channels (28 + 16 +
// 128 * 40 + 4 = 5168 bytes), fits whole.
inline constexpr NovatelFraming kNovatelFraming{
    .bufferBytes = 6144,
    .fullRule = NovatelFullRule::kGiveUpOldestPiece,
    .heldLimit = 0,
    .faultRule = NovatelFaultRule::kStepOver,
    .shortHeaders = true,
    .checksHeaderLength = false,
};

// The BeiDou/GPS board: more than 9984 held before new bytes arrive means the
// stream is not forming frames; the buffer holds that plus one piece.
inline constexpr NovatelFraming kCompassFraming{
    .bufferBytes = 9984 + novatel::kMaxInputChunk,
    .fullRule = NovatelFullRule::kDropAllPastLimit,
    .heldLimit = 9984,
    .faultRule = NovatelFaultRule::kDropAll,
    .shortHeaders = false,
    .checksHeaderLength = true,
};

// One whole frame with a good CRC, as the framer hands it over. The view is
// valid only during the callback.
struct NovatelFrame {
    std::span<const std::uint8_t> bytes;  // sync to CRC
    std::size_t headerBytes;              // kHeaderSize, or kShortHeaderSize
};

// Health of the stream: a receiver at the wrong baud rate shows up as garbage
// and CRC errors with no frames. At any time bytes == frameBytes +
// garbageBytes + droppedBytes + Pending().
struct NovatelFramerCounters {
    std::uint64_t bytes = 0;         // every byte fed
    std::uint64_t frames = 0;        // whole frames with a good CRC, handed over
    std::uint64_t frameBytes = 0;    // bytes of those frames, header and CRC included
    std::uint64_t crcErrors = 0;     // candidate frames whose CRC failed
    std::uint64_t oversize = 0;      // headers announcing a frame larger than the buffer
    std::uint64_t droppedBytes = 0;  // given up by the full rule or a drop-all fault
    std::uint64_t garbageBytes = 0;  // passed over: noise, false syncs, frames stepped over
};

// Cuts OEM binary frames out of a byte stream fed in pieces of any size, by
// the rules of one board, and hands each good one over. The handler must not
// feed the framer that called it.
class NovatelFramer {
public:
    using FrameHandler = std::function<void(const NovatelFrame&)>;

    NovatelFramer(const NovatelFraming& board, FrameHandler onFrame);

    void Feed(const std::uint8_t* bytes, std::size_t count);

    const NovatelFramerCounters& Counters() const { return counters_; }
    // Bytes held for a frame not yet whole or not yet judged.
    std::size_t Pending() const { return held_; }

private:
    struct Sync {
        std::size_t at;  // held_ when there is none
        bool shortHeader;
    };
    // p: the next position to judge; keep: the first byte still held.
    struct Cursor {
        std::size_t p;
        std::size_t keep;
    };

    void MakeRoom(std::size_t count);
    void DropOldest(std::size_t count);
    void Scan();
    bool Step(Cursor& c);
    bool Judge(Cursor& c, const Sync& sync);
    bool BadFrame(Cursor& c, std::size_t resumeAt, bool wholeFrame);
    void NoSync(Cursor& c);
    void Wait(Cursor& c, std::size_t at);
    void PassOver(Cursor& c, std::size_t to);
    void DropUpTo(Cursor& c, std::size_t to);
    Sync FindSync(std::size_t from) const;

    const NovatelFraming board_;
    FrameHandler onFrame_;
    NovatelFramerCounters counters_;
    std::vector<std::uint8_t> buffer_;
    std::size_t held_ = 0;
    // Positions before this were already judged not to start a frame; the
    // next scan resumes here instead of judging (and counting) them again.
    std::size_t scanFrom_ = 0;
};

}  // namespace sextara
