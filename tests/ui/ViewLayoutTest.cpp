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

TEST(ViewLayout, DegenerateWindowsStayFinite) {
    for (const auto& [w, h] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{30, 20}, std::pair{5000, 3}}) {
        const ViewLayout l = ComputeViewLayout(w, h);
        EXPECT_GE(BarHeight(50, l.scale), 0);
        EXPECT_GE(BarHalfWidth(l.chart, 20), 0);
    }
}

}  // namespace
}  // namespace sextara
