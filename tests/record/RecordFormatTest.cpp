#include "record/RecordFormat.h"

#include <gtest/gtest.h>

#include <string>

#include "app/RecordOptions.h"
#include "decode/ReceiverType.h"

namespace sextara {
namespace {

TEST(RecordFormat, FileNamesByModeAndMakeGroup) {
    platform::UtcTime start;
    start.hour = 7;
    start.minute = 5;
    start.second = 9;
    struct Case {
        int mode;
        int make;
        const char* folder;
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {kRecordNormal, enNovtel, "/media/card", "Site", "/media/card/Site_070509.dat"},
        {kRecordNormal, enTrimble, "/media/card", "Site", "/media/card/Site_070509.dat"},
        {kRecordRaw, enTrimble, "/d", "Site", "/d/Site0705.rt27"},
        {kRecordRaw, enTrimbleNMEA, "/d", "Site", "/d/Site0705.rt27"},
        {kRecordRaw, enDA_Vo, "/d", "Site", "/d/Site0705.rt27"},
        {kRecordRaw, enDorir_Iv, "/d", "Site", "/d/Site0705.rt27"},
        {kRecordRaw, enNovtel, "/d", "Site", "/d/Site0705.dat"},
        {kRecordRaw, enHemis, "/d", "Site", "/d/Site0705.dat"},
        {kRecordRaw, enOther, "/d", "Site", "/d/Site0705.dat"},
        {kRecordRaw, 42, "/d", "Site", "/d/Site0705.dat"},
        // Empty texts are used as they are: the root, the digits alone.
        {kRecordRaw, enNovtel, "", "", "/0705.dat"},
        {kRecordNormal, enNovtel, "", "", "/_070509.dat"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.path, RecordFilePath(c.mode, c.make, c.folder, c.name, start)) << c.path;
    }
    EXPECT_EQ("", RecordFilePath(kRecordRaw, enNovtel, std::string(250, 'f'), "name", start));
}

TEST(RecordFormat, IntervalCodesBothWaysAndCutoffClamping) {
    const int codes[kIntervalChoices] = {3, 4, 5, 6, 12, 7, 8, 9};
    const char* labels[kIntervalChoices] = {"1s", "2s", "5s", "10s", "15s", "30s", "60s", "300s"};
    for (int i = 0; i < kIntervalChoices; ++i) {
        EXPECT_EQ(codes[i], IntervalCodeOf(i));
        EXPECT_EQ(i, IntervalIndexOf(codes[i]));
        EXPECT_STREQ(labels[i], IntervalLabelOf(i));
    }
    EXPECT_EQ(3, IntervalCodeOf(-1));
    EXPECT_EQ(3, IntervalCodeOf(8));
    EXPECT_EQ(0, IntervalIndexOf(10));
    EXPECT_EQ(0, IntervalIndexOf(0));

    const int cutoffs[][2] = {{0, 0}, {90, 90}, {15, 15}, {95, 10}, {-5, 10}, {91, 10}, {-1, 10}};
    for (const auto& c : cutoffs) EXPECT_EQ(c[1], ClampCutoff(c[0])) << c[0];
}

TEST(RecordFormat, OptionsPageValuesAsStored) {
    struct Case {
        RecordOptionValues set;
        int type, code, cutoff;
        RecordOptionValues read;
    };
    const Case cases[] = {
        {{1, 4, 95}, 1, 12, 10, {1, 4, 10}},
        {{2, 7, 0}, 1, 9, 0, {1, 7, 0}},
        {{0, 9, -5}, 0, 3, 10, {0, 0, 10}},
    };
    for (const Case& c : cases) {
        RegistrySettings settings;
        SetRecordOptions(settings, c.set);
        EXPECT_EQ(c.type, settings.recordDataType);
        EXPECT_EQ(c.code, settings.recordInterval);
        EXPECT_EQ(c.cutoff, settings.cutoffAngle);
        const RecordOptionValues read = GetRecordOptions(settings);
        EXPECT_EQ(c.read.dataTypeIndex, read.dataTypeIndex);
        EXPECT_EQ(c.read.intervalIndex, read.intervalIndex);
        EXPECT_EQ(c.read.cutoff, read.cutoff);
    }
    RegistrySettings unknown;
    unknown.recordInterval = 10;
    EXPECT_EQ(0, GetRecordOptions(unknown).intervalIndex);
}

TEST(RecordFormat, SizeAndDurationTexts) {
    const std::pair<std::uint64_t, const char*> sizes[] = {
        {0, "  0 B"},           {1024, "  1024 B"},         {1025, "  1.00 KB"},
        {1048575, "  1024.00 KB"}, {1048576, "  1.000 MB"}, {5u << 20, "  5.000 MB"},
        {5000000000ull, "  4768.372 MB"},
    };
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(text, RecordSizeText(bytes)) << bytes;

    const std::pair<std::int64_t, const char*> durations[] = {
        {0, "00:00:00"}, {59, "00:00:59"}, {3725, "01:02:05"}, {86399, "23:59:59"}, {360000, "100:00:00"},
        {-3, "00:00:00"},
    };
    for (const auto& [seconds, text] : durations) EXPECT_EQ(text, RecordDurationText(seconds)) << seconds;
}

TEST(RecordFormat, StatusDotsCycleThroughSixPhases) {
    const char* shown[] = {"Rec", "Rec.", "Rec..", "Rec...", "Rec....", "Rec.....", "Rec", "Rec."};
    int phase = 0;
    for (const char* text : shown) EXPECT_EQ(text, RecordStatusText("Rec", phase));
    phase = 9;  // a damaged phase starts over
    EXPECT_EQ("Rec", RecordStatusText("Rec", phase));
    EXPECT_EQ(1, phase);
}

}  // namespace
}  // namespace sextara
