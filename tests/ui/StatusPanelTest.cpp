#include <gtest/gtest.h>

#include "ui/StatusFormat.h"

namespace sextara {
namespace {

// What the panel shows per fix code and per selected tab, beyond StatusFormatTest.
TEST(StatusPanel, FixWordsAndSelectedCounts) {
    const struct {
        int code;
        const char* text;
    } fixes[] = {{0, "N/A"}, {1, "Single"}, {2, "DGPS"}, {3, "Float"}, {4, "Fixed"}, {5, "N/A"}, {-1, "N/A"}};
    for (const auto& f : fixes) EXPECT_STREQ(FixQualityText(f.code), f.text);

    GnssState s{};
    s.satellitesTotal = 41;
    s.gpsCount = 12;
    s.glonassCount = 10;
    s.beidouCount = 10;
    s.galileoCount = 9;
    s.latitude = -45.877591500;
    s.longitude = -0.5;
    const struct {
        Constellation tab;
        const char* svs;
    } tabs[] = {{Constellation::Gps, "41/12"},
                {Constellation::Glonass, "41/10"},
                {Constellation::Beidou, "41/10"},
                {Constellation::Galileo, "41/9"}};
    for (const auto& t : tabs) {
        StatusInputs in;
        in.selected = t.tab;
        int spinner = 0;
        const auto lines = FormatStatus(s, in, spinner);
        EXPECT_EQ(lines[7], t.svs);
        EXPECT_EQ(lines[0].back(), 'S');
        EXPECT_EQ(lines[1].back(), 'W');
    }
}

}  // namespace
}  // namespace sextara
