#include <gtest/gtest.h>

#include <string>

#include "FramerHarness.h"
#include "NovatelTestFrames.h"
#include "decode/NovatelDecoder.h"

namespace sextara {
namespace {

using namespace novatel_test;

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
struct Case {
    const char* name;
    Bytes stream;
    double latitude;
    std::uint64_t frames, checksumErrors, oversize;
};

TEST(NovatelFramer, SameResultHoweverTheStreamIsCut) {
    const Bytes a = BestPosFrame(16, 11.0);
    const Bytes b = BestPosFrame(50, 22.0);
    const Bytes c = BestPosFrame(17, 33.0);
    Bytes overCap = Cut(Frame(300, {}), 28);
    overCap[8] = 0x38, overCap[9] = 0x18;  // claims a 6200-byte body: no frame that big can be held
    const Case cases[] = {
        {"complete", a, 11.0, 1, 0, 0},
        {"two in a row", Concat({a, b}), 22.0, 2, 0, 0},
        {"incomplete", Cut(a, a.size() - 1), 0, 0, 0, 0},
        {"header only", Cut(a, 28), 0, 0, 0, 0},
        {"bad CRC", WithBadCrc(a), 0, 0, 1, 0},
        {"bad CRC then good", Concat({WithBadCrc(a), b}), 22.0, 1, 1, 0},
        {"leading garbage", Concat({Text("<OK [COM1]\r\n"), {0xAA, 0x44, 0xAA, 0x12}, a}), 11.0, 1, 0, 0},
        // A frame cut short still claims its full length, and a bad frame is
        // skipped whole: the frame that cut it goes too, the next one counts.
        {"cut by a new frame", Concat({Cut(a, 40), b, c}), 33.0, 1, 1, 0},
        {"over the cap", Concat({overCap, a}), 11.0, 1, 0, 1},
        // A good short-header frame is stepped over whole, even when its body
        // looks like a frame.
        {"short header skipped", Concat({ShortFrame(1, b), a}), 11.0, 2, 0, 0},
        {"short header bad CRC", Concat({WithBadCrc(ShortFrame(1, Text("xy"))), a}), 11.0, 1, 1, 0},
    };
    const test::DecoderMaker maker = [](GnssState* s) { return std::make_unique<NovatelDecoder>(s); };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const test::FramerOutcome whole = test::FeedEveryWay(maker, k.stream);
        EXPECT_EQ(whole.state.latitude, k.latitude);
        EXPECT_EQ(whole.counters.frames, k.frames);
        EXPECT_EQ(whole.counters.checksumErrors, k.checksumErrors);
        EXPECT_EQ(whole.counters.oversize, k.oversize);
        EXPECT_EQ(whole.counters.droppedBytes, 0u);
    }
}

}  // namespace
}  // namespace sextara
