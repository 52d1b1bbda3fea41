#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FramerHarness.h"
#include "NmeaTestSupport.h"
#include "decode/NmeaParser.h"

namespace sextara::test {
namespace {

using namespace std::string_literals;

void ExpectSameCounters(const DecoderCounters& expected, const DecoderCounters& actual,
                        const std::string& how) {
    EXPECT_EQ(expected.frames, actual.frames) << how;
    EXPECT_EQ(expected.checksumErrors, actual.checksumErrors) << how;
    EXPECT_EQ(expected.oversize, actual.oversize) << how;
    EXPECT_EQ(expected.droppedBytes, actual.droppedBytes) << how;
}

struct FramerCase {
    std::string name;
    std::string bytes;
    DecoderCounters counters;  // frames, checksum errors, oversize, dropped bytes
    std::int32_t hour;         // 12 when the GGA got through
    std::int32_t year;         // 2094 when the RMC got through
};

std::vector<FramerCase> CasesFor(const Member& m) {
    const std::string rmc = Nmea("GPRMC,225446,A,4916.45,N,12311.12,W,000.5,054.7,230394,020.3,E");
    std::string badGga = kGga;
    char& digit = badGga[badGga.size() - 3];
    digit = digit == '0' ? '1' : '0';
    const std::string garbage = "\xB5\x62\x01\x07\x00# comment line\r\n\xFF"s;
    const std::string cutGsv = "$GPGSV,3,1,11,03,03,111";
    const std::string cutGga = "$GPGGA,123519,48";
    const std::string longLine = "$GPTXT," + std::string(m.lineCap, 'x') + "\r\n";
    const std::string longRun = "$GPTXT," + std::string(m.lineCap + 10, 'x');
    // A "$" run cut by the next "$" is oversize once it could not have been a
    // line even with a "\r" as its last byte: longer than the cap + 1.
    const std::string capRun = "$GPTXT," + std::string(m.lineCap + 1 - 7, 'x');
    const std::string capRunPlusOne = capRun + "x";
    const std::uint64_t g = kGga.size();
    return {
        {"complete", kGga, {1, 0, 0, 0}, 12, 0},
        {"incomplete", kGga.substr(0, g - 2), {0, 0, 0, 0}, 0, 0},
        {"bad checksum", badGga + rmc, {1, 1, 0, g}, 0, 2094},
        {"leading garbage", garbage + kGga, {1, 0, 0, garbage.size()}, 12, 0},
        {"cut by a new sentence", cutGsv + kGga, {1, 0, 0, cutGsv.size()}, 12, 0},
        {"GGA cut by RMC", cutGga + rmc, {1, 0, 0, cutGga.size()}, 0, 2094},
        {"over the line cap", longLine + kGga, {1, 0, 1, longLine.size()}, 12, 0},
        {"over the cap, no end, cut", longRun + kGga, {1, 0, 1, longRun.size()}, 12, 0},
        {"cap + 1, no end, cut", capRun + kGga, {1, 0, 0, capRun.size()}, 12, 0},
        {"cap + 2, no end, cut", capRunPlusOne + kGga, {1, 0, 1, capRunPlusOne.size()}, 12, 0},
        {"all of it",
         garbage + cutGsv + badGga + longLine + longRun + kGga + rmc,
         {2, 1, 2, garbage.size() + cutGsv.size() + g + longLine.size() + longRun.size()},
         12,
         2094},
    };
}

class NmeaFramerTest : public testing::TestWithParam<Member> {};

// Each case gives the same state and counters whole, byte by byte and cut in
// two at every offset.
TEST_P(NmeaFramerTest, FaultMatrixIsIndependentOfHowBytesArrive) {
    for (const FramerCase& c : CasesFor(GetParam())) {
        SCOPED_TRACE(c.name);
        const FramerOutcome whole = FeedEveryWay(MakerOf(GetParam().make), c.bytes);
        ExpectSameCounters(c.counters, whole.counters, "whole");
        EXPECT_EQ(c.hour, whole.state.hour);
        EXPECT_EQ(c.year, whole.state.year);
        if (HasFailure()) return;
    }
}

// Without a "$" nothing is kept; a "$" with no line end is kept only while it
// could still become a line; either way the next sentence is read.
TEST_P(NmeaFramerTest, PendingTextStaysBounded) {
    const std::size_t cap = GetParam().lineCap;
    const std::string noDollar(NmeaParser::kInputSlice, 'x');
    std::string dollarRun = noDollar;
    dollarRun[0] = '$';
    for (const std::string* first : {&noDollar, static_cast<const std::string*>(&dollarRun)}) {
        Parser p(GetParam().make);
        const auto* parser = dynamic_cast<const NmeaParser*>(p.decoder.get());
        ASSERT_NE(nullptr, parser);
        p.Feed(*first);
        for (int i = 0; i < 512; ++i) {  // 1 MiB
            p.Feed(noDollar);
            ASSERT_LE(parser->PendingBytes(), cap + 1);
        }
        EXPECT_EQ(first == &dollarRun ? 1u : 0u, p.Counters().oversize);
        EXPECT_EQ(513u * NmeaParser::kInputSlice, p.Counters().droppedBytes);
        p.Feed("\r\n" + kGga);
        EXPECT_EQ(12, p.state.hour);
    }
}

// A "$" run is held exactly while a "\r\n" could still end it within the cap.
TEST_P(NmeaFramerTest, PendingHoldsWhatCanStillBecomeALine) {
    const std::size_t cap = GetParam().lineCap;
    const std::string upToCap = "$GPTXT," + std::string(cap - 7, 'x') + "\r";
    for (const char* next : {"\n", "x"}) {
        Parser p(GetParam().make);
        const auto* parser = dynamic_cast<const NmeaParser*>(p.decoder.get());
        ASSERT_NE(nullptr, parser);
        p.Feed(upToCap);
        EXPECT_EQ(cap + 1, parser->PendingBytes());
        p.Feed(next);
        EXPECT_EQ(0u, parser->PendingBytes());
        EXPECT_EQ(*next == '\n' ? 1u : 0u, p.Counters().frames);
        EXPECT_EQ(*next == '\n' ? 0u : 1u, p.Counters().oversize);
    }
}

// Input takes any count; more than the decoding thread ever hands over gives
// the same result as the usual 2048-byte pieces.
TEST_P(NmeaFramerTest, LargeInputEqualsChunkedInput) {
    std::string stream;
    for (int i = 0; i < 300; ++i) {
        stream += kGga + "\x01\x02junk" +
                  Nmea("GPGSV,3," + std::to_string(1 + i % 3) + ",11" +
                       ",01,10,100,40,02,20,200,41,03,30,300,42,04,40,40,43");
    }
    ASSERT_GT(stream.size(), 10 * NmeaParser::kInputSlice);
    std::vector<std::size_t> chunks;
    for (std::size_t at = NmeaParser::kInputSlice; at < stream.size(); at += NmeaParser::kInputSlice)
        chunks.push_back(at);
    const FramerOutcome once = FeedCut(MakerOf(GetParam().make), stream, {});
    const FramerOutcome chunked = FeedCut(MakerOf(GetParam().make), stream, chunks);
    EXPECT_EQ(chunked.json, once.json);
    ExpectSameCounters(chunked.counters, once.counters, "one call");
    EXPECT_EQ(600u, once.counters.frames);
}

INSTANTIATE_TEST_SUITE_P(Members, NmeaFramerTest, testing::ValuesIn(kMembers), MemberName);

}  // namespace
}  // namespace sextara::test
