// The RTCM 3 framer: its fault matrix, each case fed whole, one byte at a
// time and split in two at every offset, and a real caster stream framed
// against gpsd's framing of the same bytes.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "corrections/LinkHarness.h"
#include "corrections/Rtcm3Framer.h"
#include "decode/FramerHarness.h"

namespace sextara::corrections {
namespace {

using Bytes = std::string;

// A frame around the payload, its CRC from the tests' own CRC-24Q.
Bytes Frame(const Bytes& payload) {
    Bytes frame{static_cast<char>(0xD3), static_cast<char>(payload.size() >> 8),
                static_cast<char>(payload.size() & 0xFF)};
    frame += payload;
    const std::uint32_t crc = test::Crc24q(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size());
    frame += {static_cast<char>(crc >> 16), static_cast<char>(crc >> 8), static_cast<char>(crc)};
    return frame;
}

// A payload of the given length that starts with the message number.
Bytes Message(int number, std::size_t length, char fill = 0x5A) {
    Bytes payload(length, fill);
    payload[0] = static_cast<char>(number >> 4);
    payload[1] = static_cast<char>((number & 0x0F) << 4);
    return Frame(payload);
}

struct Outcome {
    std::vector<std::pair<int, std::size_t>> frames;  // message number, payload bytes
    Rtcm3Counters counters;
    std::size_t pending = 0;
};

bool operator==(const Outcome& a, const Outcome& b) {
    const Rtcm3Counters &x = a.counters, &y = b.counters;
    return a.frames == b.frames && a.pending == b.pending && x.bytes == y.bytes && x.frames == y.frames &&
           x.frameBytes == y.frameBytes && x.crcErrors == y.crcErrors && x.garbageBytes == y.garbageBytes &&
           x.emptyFrames == y.emptyFrames && x.emptyFrameBytes == y.emptyFrameBytes;
}

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    out << "{frames";
    for (const auto& [number, length] : o.frames) out << " " << number << "/" << length;
    const Rtcm3Counters& c = o.counters;
    return out << ", bytes " << c.bytes << ", frameBytes " << c.frameBytes << ", crcErrors " << c.crcErrors
               << ", garbage " << c.garbageBytes << ", empty " << c.emptyFrames << "/" << c.emptyFrameBytes
               << ", pending " << o.pending << "}";
}

Outcome FeedCut(const Bytes& stream, const std::vector<std::size_t>& cuts) {
    Outcome out;
    Rtcm3Framer framer(
        [&](const Rtcm3Frame& f) { out.frames.emplace_back(f.messageNumber, f.payload.size()); });
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.data());
    std::size_t from = 0;
    for (std::size_t to : cuts) {
        framer.Feed(bytes + from, to - from);
        from = to;
    }
    framer.Feed(bytes + from, stream.size() - from);
    out.counters = framer.Counters();
    out.pending = framer.Pending();
    return out;
}

// What the case expects beyond the bytes fed, which every case counts alike.
struct Expected {
    std::vector<std::pair<int, std::size_t>> frames;
    std::uint64_t crcErrors = 0, garbageBytes = 0, emptyFrames = 0;
    std::size_t pending = 0;
};

struct FramerCase {
    std::string name;
    Bytes stream;
    Expected expected;
};

std::vector<FramerCase> FramerCases() {
    // The reference station's 1005 from a real caster.
    const Bytes station = test::ReadData("rtcm3/pygpsdata-NTRIP-USCL00CHL0.log").substr(339, 25);
    const Bytes msm = Message(1077, 40), other = Message(1087, 40);
    Bytes badCrc = msm;
    badCrc.back() ^= 0x01;
    const Bytes nmea = "$GPGGA,120000.00,,,,,0,00,99.99,,,,,,*60\r\n";
    // A false preamble whose length (4) reaches into the frame behind it.
    const Bytes falseStart{'\x00', '\xD3', '\x00', '\x04', '\x11', '\x22'};
    const Bytes sourceTable =
        "SOURCETABLE 200 OK\r\nSTR;TEST;;RTCM 3.2;;0;GPS;;;0;0;0;0\r\nENDSOURCETABLE\r\n";
    return {
        {"complete", station, {{{1005, 19}}, 0, 0, 0, 0}},
        {"incomplete", station.substr(0, 24), {{}, 0, 0, 0, 24}},
        {"header_only", station.substr(0, 2), {{}, 0, 0, 0, 2}},
        {"bad_crc", badCrc, {{}, 1, 46, 0, 0}},
        {"leading_text", nmea + msm, {{{1077, 40}}, 0, nmea.size(), 0, 0}},
        {"leading_false_preamble", falseStart + msm, {{{1077, 40}}, 1, 6, 0, 0}},
        {"cut_by_a_new_frame", msm.substr(0, 10) + other, {{{1087, 40}}, 1, 10, 0, 0}},
        {"two_frames", msm + other, {{{1077, 40}, {1087, 40}}, 0, 0, 0, 0}},
        {"preamble_inside_a_payload", Message(1230, 30, '\xD3'), {{{1230, 30}}, 0, 0, 0, 0}},
        {"zero_length", Frame(""), {{}, 0, 0, 1, 0}},
        {"one_byte_payload", Frame("\x3E") + msm, {{{1077, 40}}, 0, 0, 1, 0}},
        {"longest_payload", Message(4095, kRtcm3MaxPayloadBytes), {{{4095, 1023}}, 0, 0, 0, 0}},
        {"not_rtcm_at_all", sourceTable, {{}, 0, sourceTable.size(), 0, 0}},
    };
}

class Rtcm3FramerMatrix : public ::testing::TestWithParam<FramerCase> {};

TEST_P(Rtcm3FramerMatrix, SameResultWholeByteByByteAndSplitAnywhere) {
    const Bytes& stream = GetParam().stream;
    const Expected& e = GetParam().expected;
    const Outcome whole = FeedCut(stream, {});
    EXPECT_EQ(whole.frames, e.frames) << whole;
    EXPECT_EQ(whole.counters.crcErrors, e.crcErrors) << whole;
    EXPECT_EQ(whole.counters.garbageBytes, e.garbageBytes) << whole;
    EXPECT_EQ(whole.counters.emptyFrames, e.emptyFrames) << whole;
    EXPECT_EQ(whole.pending, e.pending) << whole;
    EXPECT_EQ(whole.counters.bytes, stream.size());
    EXPECT_EQ(whole.counters.frameBytes + whole.counters.emptyFrameBytes + whole.counters.garbageBytes +
                  whole.pending,
              stream.size());
    for (const auto& cuts : test::OtherWaysOfCutting(stream.size())) {
        const Outcome other = FeedCut(stream, cuts);
        if (!(other == whole)) {
            ADD_FAILURE() << test::DescribeCuts(cuts) << "\n  got " << other << "\n  whole " << whole;
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Rtcm3FramerMatrix, ::testing::ValuesIn(FramerCases()),
                         [](const auto& info) { return info.param.name; });

TEST(Rtcm3Framer, CasterStreamFramedAsGpsdFramesIt) {
    // gpsd's expected output for the same bytes names every frame's message
    // number and payload length, in order.
    const Bytes stream = test::ReadData("rtcm3/rtcm3.2.log");
    const std::string check = test::ReadData("rtcm3/rtcm3.2.log.chk");
    std::vector<std::pair<int, std::size_t>> expected;
    std::size_t expectedFrameBytes = 0;
    const std::regex field("\"type\":([0-9]+),\"length\":([0-9]+)");
    for (auto it = std::sregex_iterator(check.begin(), check.end(), field); it != std::sregex_iterator();
         ++it) {
        expected.emplace_back(std::stoi((*it)[1]), std::stoul((*it)[2]));
        expectedFrameBytes += kRtcm3HeaderBytes + expected.back().second + kRtcm3CrcBytes;
    }
    ASSERT_EQ(expected.size(), 192u);

    std::mt19937 random(5);
    std::vector<std::size_t> cuts;
    for (std::size_t at = 0;;) {
        at += std::uniform_int_distribution<std::size_t>(1, 1500)(random);
        if (at >= stream.size()) break;
        cuts.push_back(at);
    }
    const Outcome got = FeedCut(stream, cuts);
    EXPECT_EQ(got.frames, expected);
    EXPECT_EQ(got.counters.frameBytes, expectedFrameBytes);
    // The rest is the capture's "#" header and the tail of a frame the
    // capture began inside, where one byte (offset 417) looks like a preamble.
    EXPECT_EQ(got.counters.garbageBytes, stream.size() - expectedFrameBytes);
    EXPECT_EQ(got.counters.crcErrors, 1u);
    EXPECT_EQ(got.pending, 0u);
}

TEST(Rtcm3Framer, ResetForgetsAHalfFrameAndTheCounts) {
    const Bytes frame = Message(1077, 40);
    std::vector<int> seen;
    Rtcm3Framer framer([&](const Rtcm3Frame& f) { seen.push_back(f.messageNumber); });
    framer.Feed(reinterpret_cast<const std::uint8_t*>(frame.data()), 20);
    framer.Reset();
    EXPECT_EQ(framer.Pending(), 0u);
    // The old frame's tail is garbage now; a whole frame behind it is found.
    const Bytes next = frame.substr(20) + frame;
    framer.Feed(reinterpret_cast<const std::uint8_t*>(next.data()), next.size());
    EXPECT_EQ(seen, std::vector<int>{1077});
    EXPECT_EQ(framer.Counters().bytes, next.size());
    EXPECT_EQ(framer.Counters().garbageBytes, frame.size() - 20);
}

}  // namespace
}  // namespace sextara::corrections
