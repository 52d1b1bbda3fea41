#include <gtest/gtest.h>

#include <string>

#include "NovatelTestFrames.h"
#include "decode/NovatelDecoder.h"
#include "decode/StateJson.h"

namespace sextara {
namespace {

using namespace novatel_test;

struct Outcome {
    GnssState state;
    std::string json;
    DecoderCounters counters;
};

// Feeds the stream cut at the given offsets (ascending, inside the stream).
Outcome Feed(const Bytes& stream, const std::vector<std::size_t>& cuts) {
    GnssState s;
    NovatelDecoder decoder(&s);
    std::size_t from = 0;
    auto put = [&](std::size_t to) {
        if (to > from) decoder.Input(stream.data() + from, static_cast<std::uint32_t>(to - from));
        from = to;
    };
    for (std::size_t cut : cuts) put(cut);
    put(stream.size());
    return {s, GnssStateToJson(s), decoder.Counters()};
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
    for (const Case& k : cases) {
        const Outcome whole = Feed(k.stream, {});
        SCOPED_TRACE(k.name);
        EXPECT_EQ(whole.state.latitude, k.latitude);
        EXPECT_EQ(whole.counters.frames, k.frames);
        EXPECT_EQ(whole.counters.checksumErrors, k.checksumErrors);
        EXPECT_EQ(whole.counters.oversize, k.oversize);
        EXPECT_EQ(whole.counters.droppedBytes, 0u);

        std::vector<std::size_t> everyByte;
        for (std::size_t i = 1; i < k.stream.size(); ++i) everyByte.push_back(i);
        std::vector<std::vector<std::size_t>> feeds{everyByte};
        for (std::size_t i = 1; i < k.stream.size(); ++i) feeds.push_back({i});
        for (const auto& cuts : feeds) {
            const Outcome o = Feed(k.stream, cuts);
            ASSERT_EQ(o.json, whole.json) << cuts.size() << " cuts from " << cuts.front();
            ASSERT_EQ(o.counters.frames, whole.counters.frames);
            ASSERT_EQ(o.counters.checksumErrors, whole.counters.checksumErrors);
            ASSERT_EQ(o.counters.oversize, whole.counters.oversize);
        }
    }
}

}  // namespace
}  // namespace sextara
