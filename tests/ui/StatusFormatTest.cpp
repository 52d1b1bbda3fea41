#include "ui/StatusFormat.h"

#include <gtest/gtest.h>

namespace sextara {
namespace {

TEST(StatusFormat, DmsCarriesHemisphereFromSign) {
    EXPECT_EQ(FormatDms(48.1173, "N", "S"), "48\xC2\xB0" "07'2.280\"N");
    EXPECT_EQ(FormatDms(-33.5, "N", "S"), "33\xC2\xB0" "30'0.000\"S");
    EXPECT_EQ(FormatDms(0.0, "E", "W"), "0\xC2\xB0" "00'0.000\"E");
    EXPECT_EQ(FormatDms(-121.25, "E", "W"), "121\xC2\xB0" "15'0.000\"W");
}

TEST(StatusFormat, DmsRoundingCarriesIntoMinutesAndDegrees) {
    EXPECT_EQ(FormatDms(10.99999999, "N", "S"), "11\xC2\xB0" "00'0.000\"N");
    EXPECT_EQ(FormatDms(-0.99999999999, "E", "W"), "1\xC2\xB0" "00'0.000\"W");
    EXPECT_EQ(FormatDms(10.2666666666, "N", "S"), "10\xC2\xB0" "16'0.000\"N");
    EXPECT_EQ(FormatDms(10.26666, "N", "S"), "10\xC2\xB0" "15'59.976\"N");
}

TEST(StatusFormat, NoFixShowsDeviceClockAndNotAvailable) {
    GnssState s{};
    s.hour = 9;  // stale values from the record must not be shown without a fix
    StatusInputs in;
    in.deviceUtc = {2026, 12, 7, 20, 5, 9};
    int spinner = 0;
    const auto lines = FormatStatus(s, in, spinner);
    EXPECT_EQ(lines[2], "0.000");
    EXPECT_EQ(lines[3], "20:05:09");
    EXPECT_EQ(lines[4], "2026/12/07");
    EXPECT_EQ(lines[5], "N/A");
    EXPECT_EQ(lines[6], "0.000");
    EXPECT_EQ(lines[7], "0/0");
    EXPECT_EQ(lines[8], "0.00/0.00");
    EXPECT_EQ(lines[9], "Disconnect");
    EXPECT_EQ(spinner, 0);
}

// After a loss the record keeps the last position with fix 0; the panel
// still shows the position and says the receiver is gone.
TEST(StatusFormat, LostReceiverKeepsPositionAndSaysSo) {
    GnssState s{};
    s.latitude = -33.5;
    StatusInputs in;
    in.receiverLost = true;
    int spinner = 0;
    const auto lines = FormatStatus(s, in, spinner);
    EXPECT_EQ(lines[0], "33\xC2\xB0" "30'0.000\"S");
    EXPECT_EQ(lines[5], "Receiver lost");
}

TEST(StatusFormat, FixShowsRecordTimeCountsAndSpinner) {
    GnssState s{};
    s.fixQuality = kFixFloat;
    s.year = 2019;
    s.month = 9;
    s.day = 25;
    s.hour = 1;
    s.minute = 2;
    s.second = 3;
    s.altitude = 545.4;
    s.pdop = 1.5;
    s.satellitesTotal = 23;
    s.glonassCount = 7;
    s.hrms = 0.014;
    s.vrms = 0.0251;
    s.differentialAge = 2;
    StatusInputs in;
    in.selected = Constellation::Glonass;
    in.ntripConnected = true;
    int spinner = 0;
    const char* glyphs[] = {"--", "\\", "|", "/", "--"};
    for (const char* glyph : glyphs) {
        const auto lines = FormatStatus(s, in, spinner);
        EXPECT_EQ(lines[9], std::string(glyph) + "     2");
        EXPECT_EQ(lines[3], "01:02:03");
        EXPECT_EQ(lines[4], "2019/09/25");
        EXPECT_EQ(lines[5], "Float");
        EXPECT_EQ(lines[7], "23/7");
        EXPECT_EQ(lines[8], "0.01/0.03");
        EXPECT_EQ(lines[2], "545.400");
    }
    EXPECT_EQ(spinner, 5);
    EXPECT_STREQ(FixQualityText(7), "N/A");
}

}  // namespace
}  // namespace sextara
