// Packet framing of the GSOF decoder: each case is fed whole, one byte at a
// time and split in two at every offset, and must give the same result.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FramerHarness.h"
#include "decode/GsofDecoder.h"
#include "support/GsofPackets.h"

namespace sextara {
namespace {

using namespace gsof_packets;

Bytes DopPacket(float pdop, std::uint8_t transmission = 0) {
    return Transmission(DopRecord(pdop, 1.0f, 1.0f), transmission);
}

Bytes WithoutEtx(Bytes packet) {
    packet.pop_back();
    return packet;
}

// A record stream longer than the page-assembly buffer.
Bytes OverCapRecords(float pdop) {
    Bytes records = DopRecord(pdop, 1.0f, 1.0f);
    while (records.size() < GsofDecoder::kAssemblyBytes)
        records = Concat({records, Record(27, Bytes(200, 0x5A))});
    return records;
}

struct Outcome {
    double pdop = 0;
    std::uint64_t frames = 0;
    std::uint64_t checksumErrors = 0;
    std::uint64_t oversize = 0;
};

bool operator==(const Outcome& a, const Outcome& b) {
    return a.pdop == b.pdop && a.frames == b.frames && a.checksumErrors == b.checksumErrors &&
           a.oversize == b.oversize;
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "{pdop " << o.pdop << ", frames " << o.frames << ", checksumErrors " << o.checksumErrors
               << ", oversize " << o.oversize << "}";
}

Outcome OutcomeOf(const test::FramerOutcome& o) {
    return {o.state.pdop, o.counters.frames, o.counters.checksumErrors, o.counters.oversize};
}

const test::DecoderMaker kGsof = [](GnssState* s) { return std::make_unique<GsofDecoder>(s); };

struct FramerCase {
    std::string name;
    Bytes stream;
    Outcome expected;
};

std::vector<FramerCase> FramerCases() {
    const Bytes good = DopPacket(1.5f);
    Bytes badChecksum = good;
    badChecksum[badChecksum.size() - 2] ^= 0x01;
    // A false header whose length reaches into the real packet behind it.
    const Bytes garbage{0x00, 0x02, 0xFF, 0x02, 0x28, 0x40, 0x05, 0x11, 0x03, 0x02};
    const Bytes cutOff(good.begin(), good.begin() + 10);
    const Bytes overCap = Transmission(OverCapRecords(9.0f), 7);
    const std::uint64_t overCapPages = TransmissionPackets(OverCapRecords(9.0f), 7).size();
    return {
        {"complete", good, {1.5, 1, 0, 0}},
        {"etx_not_yet_arrived", WithoutEtx(good), {1.5, 1, 0, 0}},
        {"incomplete", Bytes(good.begin(), good.end() - 2), {0, 0, 0, 0}},
        {"bad_checksum", badChecksum, {0, 0, 1, 0}},
        {"leading_garbage", Concat({garbage, good}), {1.5, 1, 1, 0}},
        {"cut_by_a_new_packet", Concat({cutOff, DopPacket(2.5f)}), {2.5, 1, 1, 0}},
        {"two_packets", Concat({DopPacket(2.5f, 1), good}), {1.5, 2, 0, 0}},
        // The byte after a checksum is the ETX slot and is skipped whatever it is.
        {"etx_slot_taken_by_next_stx", Concat({WithoutEtx(DopPacket(2.5f, 1)), good}), {2.5, 1, 0, 0}},
        {"transmission_over_the_cap", Concat({good, overCap}), {1.5, 1 + overCapPages, 0, 1}},
    };
}

class GsofFramer : public ::testing::TestWithParam<FramerCase> {};

TEST_P(GsofFramer, SameResultWholeByteByByteAndSplitAnywhere) {
    EXPECT_EQ(OutcomeOf(test::FeedEveryWay(kGsof, GetParam().stream)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, GsofFramer, ::testing::ValuesIn(FramerCases()),
                         [](const auto& info) { return info.param.name; });

TEST(GsofFramerLimits, CallsLongerThanAChunkAreDecodedAsChunks) {
    // 7000 bytes in one call: garbage that fills the buffer, then a packet.
    const Bytes stream = Concat({Bytes(7000 - DopPacket(1.5f).size(), 0xAA), DopPacket(1.5f)});
    EXPECT_EQ(OutcomeOf(test::FeedCut(kGsof, stream, {})), (Outcome{1.5, 1, 0, 0}));
}

TEST(GsofFramerLimits, FullBufferDropsItsOldestChunk) {
    GnssState state;
    GsofDecoder decoder(&state);
    const Bytes garbage(GsofDecoder::kPieceBytes, 0xAA);
    for (int i = 0; i < 3; ++i) decoder.Input(garbage.data(), static_cast<std::uint32_t>(garbage.size()));
    EXPECT_EQ(decoder.Counters().droppedBytes, 0u);

    const Bytes packet = DopPacket(1.5f);
    decoder.Input(packet.data(), static_cast<std::uint32_t>(packet.size()));
    EXPECT_EQ(decoder.Counters().droppedBytes, GsofDecoder::kPieceBytes);
    EXPECT_EQ(state.pdop, 1.5);
}

TEST(GsofFramerLimits, NullOrEmptyInputChangesNothing) {
    GnssState state;
    GsofDecoder decoder(&state);
    const Bytes packet = DopPacket(1.5f);
    EXPECT_EQ(decoder.Input(nullptr, 5), 0);
    EXPECT_EQ(decoder.Input(packet.data(), 0), 0);
    EXPECT_EQ(state.pdop, 0.0);
    EXPECT_EQ(decoder.Counters().frames, 0u);
}

}  // namespace
}  // namespace sextara
