#pragma once

#include <array>
#include <functional>

#include "decode/GnssState.h"
#include "platform/SystemMetrics.h"

namespace sextara {

using platform::kCaptionHeight;
using platform::kMenuBarHeight;

// The frame buffer's default font: the handheld's system font, 8 pt at 96 dpi.
// The signal chart writes in it; it does not grow with the window.
constexpr int kDefaultFontPixels = 11;

// Slack below each constellation tab that still counts as a tap on it.
constexpr int kTabTapSlack = 40;

constexpr const char* kTabNames[4] = {"GPS", "GLO", "BDS", "GAL"};

constexpr int kStatusLines = 10;
// The status values are right-aligned from this far right of the panel's left edge.
constexpr int kValueIndent = 25;
// Below this a satellite number under its bars is no longer legible: it is left out.
constexpr int kSmallestPrnPixels = 7;

// Left, top, right, bottom in view pixels. As in the drawing calls that use
// them, right and bottom are the first pixels outside.
struct ViewRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const ViewRect&) const = default;
};

struct ViewPoint {
    int x = 0;
    int y = 0;
    bool operator==(const ViewPoint&) const = default;
};

struct TextExtent {
    int width = 0;
    int height = 0;
};

// Everything of the main view that follows from the window size alone.
struct ViewLayout {
    int width = 0;
    int height = 0;
    bool portrait = true;  // taller than wide
    int u = 0;             // width / 24
    int v = 0;             // height / 24: also the status font height
    ViewPoint skyCentre;
    int skyRadius = 0;     // outer ring; the inner ring is half of it
    ViewRect status;
    ViewRect chart;
    int gridStep = 0;      // pixels between grid lines
    double scale = 0;      // pixels per dB-Hz
    ViewPoint tabOrigin;
    int tabBottom = 0;     // portrait: the bottom of all four tabs
    int lineStep = 0;      // status lines apart, before StatusLineStep
    int tabFontPixels = 0;
    int satFontPixels = 0;  // satellite numbers in the sky plot
    int markerSize = 0;     // side of a sky-plot marker
};

// The layout of a width x height view: portrait when it is taller than wide.
ViewLayout ComputeViewLayout(int width, int height);

// The four tab rectangles (GPS, GLO, BDS, GAL) from the text extents of their
// names in the tab font: one row in portrait, two rows of two in landscape.
std::array<ViewRect, 4> TabRects(const ViewLayout& layout, const std::array<TextExtent, 4>& names);

// The tab a tap at a view point selects, the first hit in tab order, or -1.
// A tap up to kTabTapSlack - 1 pixels below a tab still hits it.
int HitTab(const std::array<ViewRect, 4>& tabs, ViewPoint tap);

// y of grid line i (0 = 10 dB-Hz ... 4 = 50 dB-Hz).
int GridLineY(const ViewLayout& layout, int i);

// Lower-right corner of a sky-plot marker. The short degree constant and the
// truncation toward zero are kept: they pull three compass points one pixel in.
ViewPoint MarkerCorner(ViewPoint centre, int radius, int azimuthDeg, int elevationDeg);

// Bar height in pixels for a signal value in dB-Hz.
int BarHeight(int snrDbHz, double scale);

// Half the slot of each satellite for n satellites: each bar is at most a
// twelfth of the chart. 0 for no satellites.
int BarHalfWidth(const ViewRect& chart, int satellites);

// The two bars of entry i, as filled rectangles (right and bottom outside),
// from the slot half width w.
struct BarPair {
    int slotLeft = 0;
    ViewRect first;
    ViewRect second;
};
BarPair Bars(const ViewLayout& layout, int halfWidth, int index, int snr1, int snr2);

// Text that would run into other text at its font height is drawn smaller.
// widthAt(h) is the text's width in pixels at font height h, as the painter
// measures it.
using WidthAtHeight = std::function<int(int heightPixels)>;

// The largest font height from smallest to nominal at which the text is at
// most room pixels wide, or 0 when it is wider even at the smallest. Widths
// grow about in proportion to the height, which gives the first guess: a fit
// costs a few measurements, not one per height.
int LargestFittingHeight(int nominal, int smallest, int room, const WidthAtHeight& widthAt);

// How wide a status value may be: it is right-aligned in the box from the
// panel's left + kValueIndent to its right and stays at least a space's width
// clear of its label.
int StatusValueRoom(const ViewRect& status, int labelWidth, int spaceWidth);

// Pixels between status lines of lineHeight pixels: the layout's step, or
// less where the tenth line would reach into the signal chart, so that it
// ends above the chart's top edge.
int StatusLineStep(const ViewLayout& layout, int lineHeight);

// The tabs may reach from the tab origin to the status panel's left edge;
// TabSpan is how far they reach.
int TabRoom(const ViewLayout& layout);
int TabSpan(const ViewLayout& layout, const std::array<ViewRect, 4>& tabs);

// A satellite number may be as wide as its bar pair: from the first bar's
// left to the second bar's right edge. Centred under the first bar, numbers
// that fit stay clear of their neighbours'.
int PrnLabelRoom(int halfWidth);

// Table and count of a constellation by tab: 0 GPS, 1 GLONASS, 2 BeiDou, 3 Galileo.
SatelliteEntry* SatTable(GnssState& state, int constellation);
const SatelliteEntry* SatTable(const GnssState& state, int constellation);
std::int32_t& SatCount(GnssState& state, int constellation);
std::int32_t SatCount(const GnssState& state, int constellation);
// The count as an index bound into its table.
int UsableSatCount(const GnssState& state, int constellation);

}  // namespace sextara
