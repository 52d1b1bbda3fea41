// libFuzzer entry point for the OEM binary framer by the rules of one board,
// chosen at compile time by SEXTARA_FUZZ_BOARD (kNovatelFraming or
// kCompassFraming; see CMakeLists.txt). The input is fed in pieces whose sizes
// come from its last two bytes. Every frame handed over must be whole, within
// the buffer and of good CRC; after every Feed the counters must account for
// every byte. The board that steps over bad frames must moreover hand over the
// same frames however the stream was cut, as long as its full rule dropped
// nothing. A violation traps so that libFuzzer keeps the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "FuzzPieces.h"
#include "decode/Crc32.h"
#include "decode/NovatelFramer.h"
#include "decode/WireReader.h"

#ifndef SEXTARA_FUZZ_BOARD
#error "define SEXTARA_FUZZ_BOARD to the framing rules of the board fuzzed"
#endif

namespace {

using namespace sextara;

const NovatelFraming& kBoard = SEXTARA_FUZZ_BOARD;

// Past the decoding thread's 2048 on purpose: Feed takes any count.
constexpr std::size_t kMaxFuzzPiece = 3 * novatel::kMaxInputChunk;

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "novatel_framer_fuzzer: %s\n", what);
        __builtin_trap();
    }
}

// What was handed over: each frame's size and CRC word, in order.
struct Seen {
    std::vector<std::uint64_t> frames;
    std::uint64_t bytes = 0;
};

void CheckFrame(const NovatelFrame& f, Seen& seen) {
    const WireReader r(f.bytes.data(), f.bytes.size());
    const bool isShort = f.headerBytes == novatel::kShortHeaderSize;
    Require(f.headerBytes == novatel::kHeaderSize || (isShort && kBoard.shortHeaders), "header kind");
    Require(r.U8(0) == 0xAA && r.U8(1) == 0x44 && r.U8(2) == (isShort ? 0x13 : 0x12), "sync");
    const std::size_t body = isShort ? r.U8(3) : r.U16le(8);
    const std::size_t overhead = isShort ? novatel::kShortFrameOverhead : novatel::kFrameOverhead;
    Require(f.bytes.size() == body + overhead, "frame size is not its header's");
    Require(f.bytes.size() <= kBoard.bufferBytes, "frame larger than the buffer");
    Require(!kBoard.checksHeaderLength || r.U8(3) == novatel::kHeaderSize, "header length");
    Require(Crc32(f.bytes.data(), f.bytes.size()) == 0, "frame with a bad CRC handed over");
    seen.frames.push_back(std::uint64_t{f.bytes.size()} << 32 | r.U32le(f.bytes.size() - novatel::kCrcSize));
    seen.bytes += f.bytes.size();
}

void CheckCounters(const NovatelFramerCounters& now, const NovatelFramerCounters& before, std::size_t pending,
                   std::uint64_t fed, const Seen& seen) {
    Require(now.bytes == fed, "bytes is not what was fed");
    Require(now.frames >= before.frames && now.crcErrors >= before.crcErrors &&
                now.oversize >= before.oversize && now.droppedBytes >= before.droppedBytes &&
                now.garbageBytes >= before.garbageBytes,
            "a counter went backwards");
    Require(now.frameBytes + now.garbageBytes + now.droppedBytes + pending == fed, "bytes unaccounted for");
    Require(pending <= kBoard.bufferBytes, "more held than the buffer");
    Require(now.frames == seen.frames.size() && now.frameBytes == seen.bytes,
            "frames counted but not handed over");
    // Every rejected candidate starts at its own sync byte.
    Require(now.crcErrors + now.oversize <= fed, "more bad frames than bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    fuzz::PieceSizes pieces(data, size);

    Seen seen;
    NovatelFramer framer(kBoard, [&](const NovatelFrame& f) { CheckFrame(f, seen); });
    NovatelFramerCounters before;
    std::uint64_t fed = 0;
    for (std::size_t pos = 0; pos < size;) {
        const std::size_t n = pieces.Next(size - pos, kMaxFuzzPiece);
        framer.Feed(data + pos, n);
        pos += n;
        fed += n;
        CheckCounters(framer.Counters(), before, framer.Pending(), fed, seen);
        before = framer.Counters();
    }

    if (kBoard.faultRule != NovatelFaultRule::kStepOver) return 0;
    Seen whole;
    NovatelFramer atOnce(kBoard, [&](const NovatelFrame& f) { CheckFrame(f, whole); });
    atOnce.Feed(data, size);
    const NovatelFramerCounters& a = atOnce.Counters();
    const NovatelFramerCounters& b = framer.Counters();
    if (a.droppedBytes != 0 || b.droppedBytes != 0) return 0;
    Require(whole.frames == seen.frames, "frames depend on how the stream was cut");
    Require(a.crcErrors == b.crcErrors && a.oversize == b.oversize && a.garbageBytes == b.garbageBytes &&
                atOnce.Pending() == framer.Pending(),
            "counters depend on how the stream was cut");
    return 0;
}
