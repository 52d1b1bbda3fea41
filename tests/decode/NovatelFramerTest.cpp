// The OEM binary framer by the rules of each board: the fault matrix fed
// whole, one byte at a time and split in two at every offset, and the
// drop-all board's faults read by read.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "FramerHarness.h"
#include "NovatelTestFrames.h"
#include "decode/NovatelFramer.h"
#include "decode/WireReader.h"

namespace sextara {
namespace {

using namespace novatel_test;

// A board's framer alone, seen through the harness: a BESTPOS handed over
// leaves its latitude in the state, so the frame that survives a case is told
// by it. After every feed each byte must be in a frame, passed over, dropped
// or still held.
class FramerProbe : public GnssDecoder {
public:
    FramerProbe(GnssState* state, const NovatelFraming& board)
        : GnssDecoder(state), framer_(board, [this](const NovatelFrame& f) { Take(f); }) {}

    std::int32_t Input(const std::uint8_t* bytes, std::uint32_t count) override {
        framer_.Feed(bytes, count);
        const NovatelFramerCounters& c = framer_.Counters();
        counters_ = {c.frames, c.crcErrors, c.oversize, c.droppedBytes};
        EXPECT_EQ(c.bytes, c.frameBytes + c.garbageBytes + c.droppedBytes + framer_.Pending());
        return 0;
    }

private:
    void Take(const NovatelFrame& f) {
        const WireReader frame(f.bytes.data(), f.bytes.size());
        if (f.headerBytes == novatel::kHeaderSize && frame.U16le(4) == 42)
            state_->latitude = frame.F64le(28 + 8);
    }

    NovatelFramer framer_;
};

test::DecoderMaker ProbeOf(const NovatelFraming& board) {
    return [&board](GnssState* s) { return std::make_unique<FramerProbe>(s, board); };
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Cut(const Bytes& frame, std::size_t keep) {
    return Bytes(frame.begin(), frame.begin() + keep);
}

Bytes WithBadCrc(Bytes frame) {
    frame.back() ^= 0x80;
    return frame;
}

// The frame that survives is told by its latitude; 0 when none does.
struct Outcome {
    double latitude;
    std::uint64_t frames, checksumErrors, oversize, droppedBytes;
};

struct Case {
    const char* name;
    Bytes stream;
    Outcome novatel;
    // None where the drop-all board's result depends on where the reads end;
    // DropAllBoardDropsEverythingOnAFault has those.
    std::optional<Outcome> compass;
};

void Expect(const test::FramerOutcome& whole, const Outcome& k) {
    EXPECT_EQ(whole.state.latitude, k.latitude);
    EXPECT_EQ(whole.counters.frames, k.frames);
    EXPECT_EQ(whole.counters.checksumErrors, k.checksumErrors);
    EXPECT_EQ(whole.counters.oversize, k.oversize);
    EXPECT_EQ(whole.counters.droppedBytes, k.droppedBytes);
}

TEST(NovatelFramer, SameResultHoweverTheStreamIsCut) {
    const Bytes a = BestPosFrame(16, 11.0);
    const Bytes b = BestPosFrame(50, 22.0);
    const Bytes c = BestPosFrame(17, 33.0);
    Bytes overCap = Cut(Frame(300, {}), 28);
    // Claims a 6200-byte body: no frame that big can be held, except by the
    // BeiDou/GPS board, which waits for it.
    overCap[8] = 0x38, overCap[9] = 0x18;
    const Case cases[] = {
        {"complete", a, {11.0, 1, 0, 0, 0}, Outcome{11.0, 1, 0, 0, 0}},
        {"two in a row", Concat({a, b}), {22.0, 2, 0, 0, 0}, Outcome{22.0, 2, 0, 0, 0}},
        {"incomplete", Cut(a, a.size() - 1), {0, 0, 0, 0, 0}, Outcome{0, 0, 0, 0, 0}},
        {"header only", Cut(a, 28), {0, 0, 0, 0, 0}, Outcome{0, 0, 0, 0, 0}},
        {"bad CRC", WithBadCrc(a), {0, 0, 1, 0, 0}, Outcome{0, 0, 1, 0, a.size()}},
        {"bad CRC then good", Concat({WithBadCrc(a), b}), {22.0, 1, 1, 0, 0}, std::nullopt},
        {"leading garbage",
         Concat({Text("<OK [COM1]\r\n"), {0xAA, 0x44, 0xAA, 0x12}, a}),
         {11.0, 1, 0, 0, 0},
         Outcome{11.0, 1, 0, 0, 0}},
        // A frame cut short still claims its full length, and a bad frame is
        // skipped whole: the frame that cut it goes too, the next one counts.
        {"cut by a new frame", Concat({Cut(a, 40), b, c}), {33.0, 1, 1, 0, 0}, std::nullopt},
        {"over the cap", Concat({overCap, a}), {11.0, 1, 0, 1, 0}, Outcome{0, 0, 0, 0, 0}},
        // A good short-header frame is stepped over whole, even when its body
        // looks like a frame; the BeiDou/GPS board knows no short headers.
        {"short header skipped",
         Concat({ShortFrame(1, b), a}),
         {11.0, 2, 0, 0, 0},
         Outcome{11.0, 2, 0, 0, 0}},
        {"short header bad CRC",
         Concat({WithBadCrc(ShortFrame(1, Text("xy"))), a}),
         {11.0, 1, 1, 0, 0},
         Outcome{11.0, 1, 0, 0, 0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Expect(test::FeedEveryWay(ProbeOf(kNovatelFraming), k.stream), k.novatel);
        if (!k.compass) continue;
        SCOPED_TRACE("BeiDou/GPS board");
        Expect(test::FeedEveryWay(ProbeOf(kCompassFraming), k.stream), *k.compass);
    }
}

// Each row: reads in order; which BESTPOS survives (by latitude) and the counters.
TEST(NovatelFramer, DropAllBoardDropsEverythingOnAFault) {
    const Bytes good = BestPosFrame(16, 7.5);
    Bytes badCrc = BestPosFrame(16, 1.0);
    badCrc.back() ^= 1;
    const Bytes wrongHeader = Frame(42, Body(72).bytes(), 2000, 0, 27);
    const Bytes noise(40, 0x55);
    const Bytes bigBody = Frame(300, Bytes(11000, 0));  // more than may be held before it completes
    struct Row {
        const char* what;
        std::vector<Bytes> reads;
        double latitude;
        std::uint64_t frames, checksumErrors, oversize;
    } const rows[] = {
        {"bad CRC takes the good frame behind it", {Concat({badCrc, good})}, 0, 0, 1, 0},
        {"a later read starts afresh", {badCrc, good}, 7.5, 1, 1, 0},
        {"header length not 28", {Concat({wrongHeader, good})}, 0, 0, 0, 0},
        {"noise without a sync is dropped", {noise, good}, 7.5, 1, 0, 0},
        {"sync cut by a read",
         {Concat({noise, Bytes(good.begin(), good.begin() + 2)}), Bytes(good.begin() + 2, good.end())},
         7.5,
         1,
         0,
         0},
        {"incomplete frame kept",
         {Bytes(good.begin(), good.begin() + 50), Bytes(good.begin() + 50, good.end())},
         7.5,
         1,
         0,
         0},
        {"frame too big to hold", {Concat({Frame(300, Bytes(12100, 0)), good})}, 7.5, 1, 0, 1},
        {"overflow drops what is held",
         {Bytes(bigBody.begin(), bigBody.begin() + 2000), Bytes(8000, 0),
          Bytes(good.begin(), good.begin() + 30), Bytes(good.begin() + 30, good.end())},
         7.5,
         1,
         0,
         0},
    };
    for (const Row& r : rows) {
        GnssState s;
        FramerProbe framer(&s, kCompassFraming);
        for (const Bytes& read : r.reads) framer.Input(read.data(), static_cast<std::uint32_t>(read.size()));
        EXPECT_EQ(s.latitude, r.latitude) << r.what;
        EXPECT_EQ(framer.Counters().frames, r.frames) << r.what;
        EXPECT_EQ(framer.Counters().checksumErrors, r.checksumErrors) << r.what;
        EXPECT_EQ(framer.Counters().oversize, r.oversize) << r.what;
    }
}

}  // namespace
}  // namespace sextara
