#include "ui/ViewLayout.h"

#include <gtest/gtest.h>

namespace sextara {
namespace {

// Text extents of "GPS", "GLO", "BDS", "GAL" as a tab font might measure them.
constexpr std::array<TextExtent, 4> kNames{{{30, 16}, {28, 16}, {30, 16}, {29, 16}}};

struct LayoutCase {
    int width, height;
    bool portrait;
    ViewPoint sky;
    int radius;
    ViewRect status, chart;
    ViewPoint tabOrigin;
    std::array<ViewRect, 4> tabs;
};

TEST(ViewLayout, HandheldScreens) {
    constexpr int kBottomMargin = kMenuBarHeight + kCaptionHeight;
    const LayoutCase cases[] = {
        {240, 320, true, {70, 70}, 60, {135, 0, 230, 165}, {0, 170, 224, 320 - 10 - kBottomMargin}, {2, 130},
         {{{2, 130, 32, 165}, {42, 130, 70, 165}, {80, 130, 110, 165}, {120, 130, 149, 165}}}},
        {320, 240, false, {90, 70}, 60, {191, 0, 307, 120}, {3, 130, 301, 240 - 10 - kBottomMargin}, {124, 105},
         {{{124, 105, 154, 121}, {174, 105, 202, 121}, {124, 126, 154, 142}, {174, 126, 203, 142}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        const ViewLayout l = ComputeViewLayout(c.width, c.height);
        EXPECT_EQ(l.portrait, c.portrait);
        EXPECT_EQ(l.skyCentre, c.sky);
        EXPECT_EQ(l.skyRadius, c.radius);
        EXPECT_EQ(l.status, c.status);
        EXPECT_EQ(l.chart, c.chart);
        EXPECT_EQ(l.tabOrigin, c.tabOrigin);
        EXPECT_EQ(TabRects(l, kNames), c.tabs);
    }
}

TEST(ViewLayout, TapsHitTabsWithSlackBelowInTabOrder) {
    const auto portrait = TabRects(ComputeViewLayout(240, 320), kNames);
    const auto landscape = TabRects(ComputeViewLayout(320, 240), kNames);
    const struct {
        const std::array<ViewRect, 4>* tabs;
        ViewPoint tap;
        int tab;
    } cases[] = {
        {&portrait, {2, 130}, 0},     {&portrait, {31, 204}, 0},   // 39 below the bottom
        {&portrait, {31, 205}, -1},   {&portrait, {32, 140}, -1},  // right edge is outside
        {&portrait, {1, 140}, -1},    {&portrait, {2, 129}, -1},   {&portrait, {42, 150}, 1},
        {&portrait, {148, 140}, 3},   {&portrait, {100, 250}, -1},  // on the chart
        {&landscape, {124, 160}, 0},  {&landscape, {124, 126}, 0},  // GPS's slack covers BDS: first wins
        {&landscape, {174, 126}, 1},  {&landscape, {150, 170}, 2}, {&landscape, {180, 181}, 3},
        {&landscape, {180, 182}, -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HitTab(*c.tabs, c.tap), c.tab) << c.tap.x << "," << c.tap.y;
    }
}

TEST(ViewLayout, MarkerCorners) {
    const ViewPoint centre{70, 70};
    const struct {
        int azimuth, elevation;
        ViewPoint corner;
    } cases[] = {
        {0, 90, {70, 70}},   {123, 90, {70, 70}},  {90, 0, {130, 70}},  {0, 0, {70, 11}},
        {180, 0, {70, 129}}, {270, 0, {11, 70}},   {45, 45, {91, 49}},  {90, -10, {136, 70}},  // not clamped
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MarkerCorner(centre, 60, c.azimuth, c.elevation), c.corner) << c.azimuth << "/" << c.elevation;
    }
}

TEST(ViewLayout, HundredPixelChartGridAndBars) {
    const ViewLayout l = ComputeViewLayout(240, 352);
    const ViewRect& c = l.chart;
    ASSERT_EQ(c.bottom - c.top, 100);
    EXPECT_EQ(l.gridStep, 21);
    EXPECT_DOUBLE_EQ(l.scale, 2.15);
    const int above[] = {7, 28, 49, 70, 91};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(c.bottom - GridLineY(l, i), above[i]);

    const struct {
        int snr, height;
    } heights[] = {{-3, 0}, {0, 0}, {1, 1}, {9, 1}, {10, 7}, {30, 50}, {45, 82}, {50, 93}, {60, 114}};
    for (const auto& h : heights) EXPECT_EQ(BarHeight(h.snr, l.scale), h.height) << h.snr;

    // 224 pixels wide: a twelfth per bar up to six satellites, then the slots shrink.
    EXPECT_EQ(BarHalfWidth(c, 0), 0);
    EXPECT_EQ(BarHalfWidth(c, 1), 18);
    EXPECT_EQ(BarHalfWidth(c, 6), 18);
    EXPECT_EQ(BarHalfWidth(c, 7), 16);
    EXPECT_EQ(BarHalfWidth(c, 20), 5);

    const BarPair bars = Bars(l, 5, 3, 30, 60);
    EXPECT_EQ(bars.slotLeft, c.left + 30);
    EXPECT_EQ(bars.first, (ViewRect{c.left + 30, c.bottom + 1 - 50, c.left + 34, c.bottom + 1}));
    EXPECT_EQ(bars.second, (ViewRect{c.left + 35, c.top, c.left + 37, c.bottom + 1}));  // cut at the top
    const BarPair none = Bars(l, 5, 0, 0, 5);
    EXPECT_EQ(none.first.top, none.first.bottom);  // no bar
    EXPECT_EQ(none.second.top, c.bottom);          // one pixel
}

// Text widths as a face might measure them: about in proportion to the
// height, with the steps of hinting (two heights that come out alike).
struct WidthModel {
    const char* name;
    int (*width)(int height);
};
const WidthModel kWidthModels[] = {
    {"proportional", [](int h) { return (h * 77 + 5) / 11; }},
    {"hinted", [](int h) { return h == 12 ? 77 : h < 12 ? h * 7 : 77 + (h - 12) * 8; }},
    {"narrow when small", [](int h) { return h <= 8 ? h * 5 : h * 7 + 9; }},
};

TEST(ViewLayout, LargestFittingHeightIsTheLargestThatFitsFoundInFewMeasurements) {
    for (const WidthModel& model : kWidthModels) {
        for (const int smallest : {1, 7}) {
            for (int room = -1; room <= model.width(26) + 2; ++room) {
                SCOPED_TRACE(testing::Message() << model.name << " smallest " << smallest << " room " << room);
                int expected = 0;
                for (int h = smallest; h <= 26; ++h) {
                    if (model.width(h) <= room) expected = h;
                }
                int calls = 0;
                const int got = LargestFittingHeight(26, smallest, room, [&](int h) {
                    ++calls;
                    EXPECT_TRUE(h >= smallest && h <= 26) << h;
                    return model.width(h);
                });
                EXPECT_EQ(got, expected);
                if (expected == 26) {
                    EXPECT_EQ(calls, 1);  // what fits is measured once
                }
                EXPECT_LE(calls, 6);
            }
        }
    }
}

TEST(ViewLayout, StatusValuesTabsAndLinesKeepClearOfEachOther) {
    // A value gets the box right of the indent, less where its label is
    // wider than the indent: a space's width stays free after the label.
    const ViewRect panel{135, 0, 230, 165};
    const struct {
        int label, space, room;
    } values[] = {{15, 3, 70}, {22, 3, 70}, {23, 3, 69}, {29, 3, 63}, {75, 6, 14}};
    for (const auto& v : values) EXPECT_EQ(StatusValueRoom(panel, v.label, v.space), v.room) << v.label;

    // The tenth line ends at or above the chart's top edge; where it did
    // already, the step stays.
    const struct {
        int width, height, lineHeight, step;
    } steps[] = {{240, 320, 13, 17}, {240, 320, 12, 17}, {320, 240, 10, 13}, {480, 640, 26, 31}, {30, 20, 5, 1}};
    for (const auto& s : steps) {
        const ViewLayout l = ComputeViewLayout(s.width, s.height);
        EXPECT_EQ(StatusLineStep(l, s.lineHeight), s.step) << s.width << "x" << s.height;
    }
    const ViewLayout portrait = ComputeViewLayout(240, 320);
    EXPECT_LE(portrait.status.top + 9 * StatusLineStep(portrait, 13) + 13, portrait.chart.top);

    const ViewLayout landscape = ComputeViewLayout(320, 240);
    EXPECT_EQ(TabRoom(portrait), 133);
    EXPECT_EQ(TabSpan(portrait, TabRects(portrait, kNames)), 147);  // GAL's right edge at 149
    EXPECT_EQ(TabRoom(landscape), 67);
    EXPECT_EQ(TabSpan(landscape, TabRects(landscape, kNames)), 79);  // GAL passes GLO: 203

    // A bar pair of half width 5 is 7 pixels: from the first bar's left to
    // the second bar's right edge.
    EXPECT_EQ(PrnLabelRoom(5), 7);
    EXPECT_EQ(PrnLabelRoom(18), 33);
    EXPECT_EQ(PrnLabelRoom(0), 0);
}

TEST(ViewLayout, DegenerateWindowsStayFinite) {
    for (const auto& [w, h] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{30, 20}, std::pair{5000, 3}}) {
        const ViewLayout l = ComputeViewLayout(w, h);
        EXPECT_GE(BarHeight(50, l.scale), 0);
        EXPECT_GE(BarHalfWidth(l.chart, 20), 0);
    }
}

}  // namespace
}  // namespace sextara
