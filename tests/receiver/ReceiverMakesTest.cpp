// The make table row by row against what each make must have, typed here
// independently: names, the decoder it builds, how it is detected and reset,
// and the port console's canned commands. The command bytes themselves are
// checked against ReceiverCommandsGolden.h by ReceiverCommandsTest.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "decode/GnssDecoder.h"
#include "receiver/ReceiverMakes.h"

namespace sextara {
namespace {

struct MakeGolden {
    ReceiverType type;
    std::string_view configName, listName, aboutName;
    std::int32_t inputResult;  // NMEA parsers 1, binary decoders 0
    std::string_view probeAnswer;
    std::string_view resetCommand;
    int resetBaud;
    RestoreFlow restore;
    std::vector<std::string_view> console;
};

std::vector<MakeGolden> Goldens() {
    using enum RestoreFlow;
    const std::vector<std::string_view> none;
    return {
        {enNovtel, "enNovtel", "NovAtel", "NovAtel", 0, "VERSION", "FRESET\r\n", 9600, kNovatel,
         {"unlogall", "log satvisb ontime 5", "log trackstata ontime 5", "log bestposb ontime 1", "saveconfig"}},
        {enCompass, "enCompass", "Compass", "Compass", 0, "VERSION", "FRESET\r\n", 115200, kCompass,
         {"unlogall", "log gpgga ontime 1", "log gpgsa ontime 1", "log gpgsv ontime 1", "log gpgst ontime 1",
          "log gprmc ontime 1", "log satmsgb ontime 5", "log bestposb ontime 1", "saveconfig"}},
        {enHemis, "enHemis", "Hemisphere", "Hemisphere", 1, "$>JSHOW,", "$JRESET\r\n", 19200, kHemisphere,
         {"$JOFF", "$JASC,GPGGA,1", "$JASC,GPGSA,1", "$JASC,GPGSV,1", "$JASC,GLGSV,1", "$JASC,GPGST,1",
          "$JASC,GPRMC,1", "$JSAVE"}},
        {enBlox6T, "enBlox6T", "uBlox6T", "uBlox 6T", 1, "", "", 0, kProbeOnly, none},
        {enBlox8T, "enBlox8T", "uBlox8T", "uBlox 8T", 1, "", "", 0, kProbeOnly, none},
        {enTrimble, "enTrimble", "Trimble", "Trimble", 0, "$PTNL,GGK", "", 0, kLeaveAlone, none},
        {enTrimbleNMEA, "enTrimbleNMEA", "Trimble(NMEA)", "Trimble NMEA", 1, "", "", 0, kProbeOnly, none},
        {enSkyTraq, "enSkyTraq", "SkyTraq", "Skytraq", 1, "", "", 0, kProbeOnly, none},
        {enOther, "enOther", "NMEA", "NMEA", 1, "", "", 0, kProbeOnly, none},
        {enDA_Vo, "enDA_Vo", "DA_VO", "DA_Vo", 0, "", "", 0, kProbeOnly, none},
        {enDorir_Iv, "enDorir_Iv", "Zore_RE", "Dorir_Iv", 0, "", "", 0, kProbeOnly, none},
        {enBlox9P, "enBlox9P", "uBlox9P", "uBlox 9P", 1, "", "", 0, kProbeOnly, none},
    };
}

TEST(ReceiverMakes, EveryCodeHasACompleteRowInValueOrder) {
    const auto goldens = Goldens();
    ASSERT_EQ(static_cast<std::size_t>(kReceiverTypeCount), goldens.size());
    for (std::int32_t code = 0; code < kReceiverTypeCount; ++code) {
        const MakeGolden& want = goldens[static_cast<std::size_t>(code)];
        const ReceiverMake& row = kReceiverMakes[code];
        SCOPED_TRACE(std::string(want.configName));
        EXPECT_EQ(want.type, row.type);
        EXPECT_EQ(&row, &ReceiverMakeOf(code));
        EXPECT_EQ(want.configName, ConfigNameOf(code));
        EXPECT_EQ(want.listName, ListNameOf(code));
        EXPECT_EQ(want.aboutName, AboutNameOf(code));
        EXPECT_EQ(want.type, ReceiverTypeFromConfigName(want.configName));

        // The decoder the row builds answers Input as its class does.
        ASSERT_NE(nullptr, row.decoder);
        GnssState state{};
        auto decoder = MakeDecoder(code, &state);
        ASSERT_NE(nullptr, decoder);
        const std::uint8_t byte = 'x';
        EXPECT_EQ(want.inputResult, decoder->Input(&byte, 1));
        EXPECT_EQ(want.inputResult, row.decoderProfile.inputResult);

        EXPECT_FALSE(row.diffInput.empty()) << "every make is told to take corrections";
        EXPECT_EQ(want.probeAnswer, row.probe.answer);
        EXPECT_EQ(want.probeAnswer.empty(), row.probe.command.empty());
        EXPECT_LE(row.probe.resendLength, row.probe.command.size());
        EXPECT_EQ(want.resetCommand, row.reset.command);
        EXPECT_EQ(want.resetBaud, row.reset.baudAfter);
        EXPECT_EQ(want.restore, row.restore);
        EXPECT_EQ(want.console, std::vector<std::string_view>(row.consoleCommands.begin(),
                                                                 row.consoleCommands.end()));
        // A raw-observation set is either fixed or built, never both.
        EXPECT_FALSE(!row.rawLog.empty() && row.rawLogBuilt != nullptr);
    }
}

TEST(ReceiverMakes, CodesOutsideTheTableReadAsTheNmeaRow) {
    for (std::int32_t code : {-1, 12, 1000}) {
        EXPECT_EQ(&kReceiverMakes[enOther], &ReceiverMakeOf(code));
        EXPECT_EQ("enOther", ConfigNameOf(code));
        EXPECT_EQ("NMEA", AboutNameOf(code));
        EXPECT_EQ("NMEA", ListNameOf(code));
    }
    EXPECT_EQ(enOther, ReceiverTypeFromConfigName("enNOVTEL"));
    EXPECT_EQ(enOther, ReceiverTypeFromConfigName(""));
}

// Only the Hemisphere and u-blox 6T/8T decoders send anything for a
// differential mode (their bytes are checked in NmeaParserTest).
TEST(ReceiverMakes, OnlyHemisphereAndUbloxTimingSendDiffModeCommands) {
    struct CountingSink final : ByteSink {
        std::uint32_t Write(const std::uint8_t*, std::uint32_t length) override {
            ++writes;
            return length;
        }
        int writes = 0;
    };
    for (std::int32_t code = 0; code < kReceiverTypeCount; ++code) {
        SCOPED_TRACE(std::string(ConfigNameOf(code)));
        GnssState state{};
        platform::ManualClock clock;
        auto decoder = MakeDecoder(code, &state, clock);
        CountingSink sink;
        for (int mode = -1; mode <= 3; ++mode) decoder->SetDiffMode(sink, mode);
        const int expected = code == enHemis ? 6 : (code == enBlox6T || code == enBlox8T) ? 5 : 0;
        EXPECT_EQ(expected, sink.writes);
    }
}

}  // namespace
}  // namespace sextara
