#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "receiver/ReceiverCommands.h"
#include "receiver/ReceiverCommandsGolden.h"
#include "receiver/ReceiverMakes.h"

namespace sextara {
namespace {

using golden::Bytes;
using golden::Hex;
using golden::Show;
using golden::Text;

// Records each write and how long the caller paused before the next one, as
// the clock saw it.
class RecordingSink final : public ByteSink {
public:
    explicit RecordingSink(const platform::ManualClock& clock) : clock_(clock) {}

    std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length) override {
        writes_.push_back({Bytes(bytes, bytes + length), clock_.TotalSlept()});
        return length;
    }

    std::vector<golden::Write> Writes() const {
        std::vector<golden::Write> out;
        for (std::size_t i = 0; i < writes_.size(); ++i) {
            const auto next = i + 1 < writes_.size() ? writes_[i + 1].at : clock_.TotalSlept();
            out.push_back({writes_[i].bytes, static_cast<int>((next - writes_[i].at).count())});
        }
        return out;
    }

private:
    struct Entry {
        Bytes bytes;
        std::chrono::milliseconds at;
    };
    const platform::ManualClock& clock_;
    std::vector<Entry> writes_;
};

void ExpectWrites(const std::vector<golden::Write>& expected, const std::vector<golden::Write>& actual) {
    ASSERT_EQ(expected.size(), actual.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("write " + std::to_string(i + 1));
        EXPECT_EQ(Show(expected[i].bytes), Show(actual[i].bytes));
        EXPECT_EQ(expected[i].pauseMs, actual[i].pauseMs);
    }
}

template <typename Send>
std::vector<golden::Write> Record(Send send) {
    platform::ManualClock clock;
    RecordingSink sink(clock);
    send(sink, clock);
    return sink.Writes();
}

TEST(ReceiverCommands, StartupSetOfEveryMakeIsByteExactWithItsPauses) {
    for (const auto& make : golden::StartupGoldens()) {
        SCOPED_TRACE(make.name);
        int result = 0;
        const auto writes = Record([&](ByteSink& sink, platform::Clock& clock) {
            result = SendStartupCommands(make.type, sink, clock);
        });
        EXPECT_EQ(1, result);
        ExpectWrites(make.writes, writes);
    }
}

TEST(ReceiverCommands, CodesOutsideTheTableSendNothing) {
    for (int type : {-1, 12, 1000}) {
        EXPECT_TRUE(
            Record([&](ByteSink& s, platform::Clock& c) { SendStartupCommands(type, s, c); }).empty());
        EXPECT_TRUE(
            Record([&](ByteSink& s, platform::Clock& c) { SendRawLogCommands(type, s, 2, 10, c); }).empty());
    }
}

// Framing checks written from the protocols, independent of the tables: a
// mistyped byte in any stored record breaks its length or checksum.
::testing::AssertionResult TrimblePacketOk(const Bytes& packet) {
    if (packet.size() < 6 || packet[0] != 0x02 || packet.back() != 0x03) {
        return ::testing::AssertionFailure() << "not STX..ETX";
    }
    const std::size_t length = packet[3];
    if (packet.size() != length + 6) return ::testing::AssertionFailure() << "length byte " << length;
    unsigned sum = 0;
    for (std::size_t i = 1; i < 4 + length; ++i) sum += packet[i];
    if ((sum & 0xff) != packet[4 + length]) return ::testing::AssertionFailure() << "checksum";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult TrimbleRecordOk(const Bytes& record) {
    if (record[0] == 0x02) return TrimblePacketOk(record);
    const std::size_t leadIn = record[0] | (record[1] << 8);
    if (leadIn != record.size() - 2) return ::testing::AssertionFailure() << "lead-in " << leadIn;
    return TrimblePacketOk(Bytes(record.begin() + 2, record.end()));
}

// UBX frames, possibly several in one write, with zero padding between them.
::testing::AssertionResult UbxFramesOk(const Bytes& write) {
    std::size_t i = 0;
    int frames = 0;
    while (i < write.size()) {
        if (write[i] == 0) {
            ++i;
            continue;
        }
        if (i + 8 > write.size() || write[i] != 0xb5 || write[i + 1] != 0x62) {
            return ::testing::AssertionFailure() << "no sync at " << i;
        }
        const std::size_t length = write[i + 4] | (write[i + 5] << 8);
        if (i + 8 + length > write.size()) return ::testing::AssertionFailure() << "short frame at " << i;
        std::uint8_t a = 0, b = 0;
        for (std::size_t k = i + 2; k < i + 6 + length; ++k) {
            a = static_cast<std::uint8_t>(a + write[k]);
            b = static_cast<std::uint8_t>(b + a);
        }
        if (a != write[i + 6 + length] || b != write[i + 7 + length]) {
            return ::testing::AssertionFailure() << "checksum of frame at " << i;
        }
        i += 8 + length;
        ++frames;
    }
    return frames > 0 ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "no frame";
}

::testing::AssertionResult SkyTraqOk(const Bytes& f) {
    const std::size_t length = (f[2] << 8) | f[3];
    if (f.size() != length + 7 || f[f.size() - 2] != 0x0d || f.back() != 0x0a) {
        return ::testing::AssertionFailure() << "framing";
    }
    std::uint8_t x = 0;
    for (std::size_t i = 4; i < 4 + length; ++i) x ^= f[i];
    return x == f[4 + length] ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "checksum";
}

::testing::AssertionResult TextLineOk(const Bytes& line) {
    for (auto c : line) {
        if (c != '\r' && c != '\n' && (c < 0x20 || c > 0x7e))
            return ::testing::AssertionFailure() << "byte " << +c;
    }
    if (line.empty() || (line.back() != '\n' && line.back() != '\r')) {
        return ::testing::AssertionFailure() << "no line end";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult WriteOk(const Bytes& w) {
    if (w.size() >= 2 && w[0] == 0xb5 && w[1] == 0x62) return UbxFramesOk(w);
    if (w.size() >= 2 && w[0] == 0xa0 && w[1] == 0xa1) return SkyTraqOk(w);
    if (w.size() >= 2 && (w[0] == 0x02 || w[1] == 0x00)) return TrimbleRecordOk(w);
    return TextLineOk(w);
}

TEST(ReceiverCommands, EveryStoredRecordIsWellFramed) {
    int checked = 0;
    for (int type = 0; type < kReceiverTypeCount; ++type) {
        SCOPED_TRACE(std::string(ConfigNameOf(type)));
        std::vector<golden::Write> writes;
        for (const auto& row : StartupCommandSet(type))
            writes.push_back({Bytes(row.bytes.begin(), row.bytes.end()), 0});
        for (const auto& more : {
                 Record([&](ByteSink&s, platform::Clock&c) { SendRawLogCommands(type, s, 3, 10, c); }),
                 Record([&](ByteSink&s, platform::Clock&c) { SendRawPortBaudCommand(type, s, c); }),
                 Record([&](ByteSink&s, platform::Clock&c) { SendDiffInputCommands(type, s, c); }),
             }) {
            writes.insert(writes.end(), more.begin(), more.end());
        }
        const ReceiverMake& make = ReceiverMakeOf(type);
        for (int mode = 0; mode < 3; ++mode) {
            for (const auto& row : make.diffMode.For(mode))
                writes.push_back({Bytes(row.bytes.begin(), row.bytes.end()), 0});
        }
        for (const auto bytes : {make.probe.command, make.probe.afterFound}) {
            if (!bytes.empty()) writes.push_back({Bytes(bytes.begin(), bytes.end()), 0});
        }
        for (std::size_t i = 0; i < writes.size(); ++i) {
            EXPECT_TRUE(WriteOk(writes[i].bytes)) << "write " << i + 1 << ": " << Show(writes[i].bytes);
            ++checked;
        }
    }
    EXPECT_GT(checked, 150);
}

TEST(ReceiverCommands, HemisphereRawLinesCarryTheRateOfTheIntervalCode) {
    struct Case {
        int interval;
        const char* rate;
    };
    for (const Case& c : {Case{2, "0.5"}, Case{5, "0.2"}, Case{0, "0.1"}, Case{3, "0.1"}, Case{-1, "0.1"}}) {
        SCOPED_TRACE(c.interval);
        const std::string rate = c.rate;
        const auto writes = Record(
            [&](ByteSink& s, platform::Clock& clk) { SendRawLogCommands(enHemis, s, c.interval, 15, clk); });
        const auto expected =
            golden::Texts({"$JOFF\r\n", "$JMASK,15\r\n", "$JBIN,35,1\r\n", "$JBIN,65,1\r\n", "$JBIN,95,1\r\n",
                           ("$JBIN,36," + rate + "\r\n").c_str(), ("$JBIN,66," + rate + "\r\n").c_str(),
                           ("$JBIN,76," + rate + "\r\n").c_str()},
                          300);
        ExpectWrites(expected, writes);
    }
}

TEST(ReceiverCommands, TrimbleRawPacketIsRebuiltFromTheSettings) {
    const auto packet = BuildTrimbleRawOutputPacket(10, 2, 3);
    EXPECT_EQ(Show(Hex("02 00 64 1b 00 00 00 03 00 01 00 01 08 0a 00 0a 00 00 00 00 00 07 08 04 02 03 00 ef "
                       "01 00 00 a8 03")),
              Show(Bytes(packet.begin(), packet.end())));
    // Rebuilt each time: an earlier call leaves nothing behind.
    const auto again = BuildTrimbleRawOutputPacket(64, 1, 2);
    EXPECT_EQ(Show(Hex("02 00 64 1b 00 00 00 03 00 01 00 01 08 40 00 0a 00 00 00 00 00 07 08 04 01 02 00 ef "
                       "01 00 00 dc 03")),
              Show(Bytes(again.begin(), again.end())));
}

TEST(ReceiverCommands, TrimbleRawSetIsLeadInThenThePacketTwice) {
    struct Case {
        int type;
        const char* leadIn;
        int portCode;
    };
    const Case cases[] = {
        {enTrimble, "17 00 02 00 64 11 09 00 00 03 00 01 00 07 08 ff 02 00 00 00 00 00 00 92 03", 2},
        {enTrimbleNMEA, "17 00 02 00 64 11 09 00 00 03 00 01 00 07 08 ff 02 00 00 00 00 00 00 92 03", 2},
        {enDA_Vo, "17 00 02 00 64 11 07 00 00 03 00 01 00 07 08 ff 01 00 00 00 00 00 00 8f 03", 1},
        {enDorir_Iv, "17 00 02 00 64 11 05 00 00 03 00 01 00 07 08 ff 00 00 00 00 00 00 00 8c 03", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(ConfigNameOf(c.type)));
        const auto writes =
            Record([&](ByteSink& s, platform::Clock& clk) { SendRawLogCommands(c.type, s, 3, 10, clk); });
        const auto packet = BuildTrimbleRawOutputPacket(10, c.portCode, 3);
        const Bytes packetBytes(packet.begin(), packet.end());
        ExpectWrites({{Hex(c.leadIn), 300}, {packetBytes, 300}, {packetBytes, 300}}, writes);
    }
}

TEST(ReceiverCommands, NovatelRawLinesEndInCarriageReturnWithNoPauses) {
    const auto expected = golden::Texts({"log rawephemb ontime 60\r", "log glorawephemb ontime 60\r",
                                         "log bd2rawephemb ontime 60\r", "log rangeb ontime 1\r"},
                                        0);
    for (int type : {enNovtel, enCompass}) {
        ExpectWrites(expected,
                     Record([&](ByteSink& s, platform::Clock& c) { SendRawLogCommands(type, s, 1, 5, c); }));
    }
    for (int type : {enBlox6T, enBlox8T, enSkyTraq, enOther, enBlox9P}) {
        EXPECT_TRUE(
            Record([&](ByteSink& s, platform::Clock& c) { SendRawLogCommands(type, s, 1, 5, c); }).empty());
    }
}

TEST(ReceiverCommands, SecondPortBaudCommandPerMake) {
    const auto novatel = golden::Texts({"com com2 57600\r\n"}, 50);
    const auto hemisphere = golden::Texts({"$JBAUD,OTHER,57600\r\n", "$JBAUD,OTHER,57600\r\n"}, 50);
    const Bytes trimble = Hex("15 00 02 00 64 0f 02 00 00 03 00 01 00 02 06 02 06 00 00 00 00 89 03");
    const std::vector<golden::Write> trimbleTwice = {{trimble, 50}, {trimble, 50}};
    struct Case {
        int type;
        std::vector<golden::Write> writes;
    };
    const Case cases[] = {
        {enNovtel, novatel},
        {enCompass, novatel},
        {enHemis, hemisphere},
        {enTrimble, trimbleTwice},
        {enTrimbleNMEA, trimbleTwice},
        {enDA_Vo, {}},
        {enDorir_Iv, {}},
        {enBlox8T, {}},
        {enSkyTraq, {}},
        {enOther, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(ConfigNameOf(c.type)));
        ExpectWrites(c.writes, Record([&](ByteSink& s, platform::Clock& clk) {
                         SendRawPortBaudCommand(c.type, s, clk);
                     }));
    }
}

TEST(ReceiverCommands, CorrectionInputCommandsPerMake) {
    const std::vector<golden::Write> novatel = {{Text("interfacemode auto novatel on\r\n"), 100},
                                                {Text("interfacemode auto novatel on\r\n"), 0}};
    const std::vector<golden::Write> hemisphere = {
        {Text("$JDIFF,EXCLUDE,SBAS,EDIF\r\n"), 50}, {Text("$JDIFF\r\n"), 100}, {Text("$JDIFF\r\n"), 0}};
    const std::vector<golden::Write> others = {{Text("interfacemode com1 auto novatel on\r\n"), 100},
                                               {Text("interfacemode com1 auto novatel on\r\n"), 0}};
    struct Case {
        int type;
        const std::vector<golden::Write>& writes;
    };
    const Case cases[] = {{enNovtel, novatel}, {enCompass, novatel}, {enHemis, hemisphere},
                          {enTrimble, others}, {enBlox9P, others},   {enOther, others}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(ConfigNameOf(c.type)));
        ExpectWrites(c.writes, Record([&](ByteSink& s, platform::Clock& clk) {
                         SendDiffInputCommands(c.type, s, clk);
                     }));
    }
}

TEST(ReceiverCommands, ConfigNamesSelectTheSetCaseSensitively) {
    EXPECT_EQ(enBlox9P, ReceiverTypeFromConfigName("enBlox9P"));
    EXPECT_TRUE(StartupCommandSet(ReceiverTypeFromConfigName("enBlox9P")).empty());
    EXPECT_EQ(enOther, ReceiverTypeFromConfigName("enNOVTEL"));
    EXPECT_TRUE(StartupCommandSet(ReceiverTypeFromConfigName("enNOVTEL")).empty());
}

// The rule's verdicts for 120 ticks of one fix quality after another.
std::vector<int> SendTicks(const std::vector<std::pair<int, int>>& fixFromTick) {
    StartupResendRule rule;
    std::vector<int> sent;
    for (int tick = 0; tick < 120; ++tick) {
        int fix = 0;
        for (const auto& [from, quality] : fixFromTick) {
            if (tick >= from) fix = quality;
        }
        if (rule.OnTick(fix)) sent.push_back(tick);
    }
    return sent;
}

TEST(StartupResendRule, SendsOnItsScheduleUntilAFixOrTheNinetiethTick) {
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> fixFromTick;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"no fix ever", {{0, 0}}, {0, 15, 30, 45, 60, 75, 90}},
        {"fix at tick 20 ends it for good", {{0, 0}, {20, 1}, {25, 0}}, {0, 15}},
        {"fixed at once", {{0, 4}, {1, 0}}, {}},
        {"DGPS, float and fixed all count", {{0, 0}, {31, 3}, {40, 0}}, {0, 15, 30}},
        {"unknown quality every tenth tick", {{0, 6}}, {0, 10, 20, 30, 40, 50, 60, 70, 80, 90}},
        {"negative quality every tenth tick", {{0, -1}}, {0, 10, 20, 30, 40, 50, 60, 70, 80, 90}},
        {"schedule follows the tick count", {{0, 0}, {16, 7}, {50, 0}}, {0, 15, 20, 30, 40, 60, 75, 90}},
        {"a fix after the rule ended changes nothing", {{0, 0}, {95, 1}}, {0, 15, 30, 45, 60, 75, 90}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, SendTicks(c.fixFromTick));
    }
}

}  // namespace
}  // namespace sextara
