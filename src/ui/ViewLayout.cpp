#include "ui/ViewLayout.h"

#include <algorithm>
#include <cmath>

namespace sextara {

ViewLayout ComputeViewLayout(int width, int height) {
    ViewLayout l;
    const int w = std::max(width, 0);
    const int h = std::max(height, 0);
    l.width = w;
    l.height = h;
    l.portrait = h > w;
    const int u = w / 24;
    const int v = h / 24;
    l.u = u;
    l.v = v;
    const int fifthNinth = 5 * (h / 9);
    const int chartBottomMargin = kMenuBarHeight + kCaptionHeight;
    if (l.portrait) {
        l.skyCentre = {w / 4 + 10, w / 4 + 10};
        l.skyRadius = w / 4 + 10 - u;
        l.status = {w / 2 + u + 5, u - 10, w - u, fifthNinth - u};
        l.chart = {u - 10, fifthNinth - u + u / 2, w - u - 6, h - u - chartBottomMargin};
        l.tabOrigin = {u - 8, w / 2 + u};
        l.tabFontPixels = static_cast<int>(v * 1.2);
    } else {
        l.skyCentre = {w / 4 + 10, h / 4 + 10};
        l.skyRadius = h / 4 + 10 - v;
        l.status = {w / 2 + 2 * u + 5, v - 10, w - u, fifthNinth - v};
        l.chart = {u - 10, fifthNinth, w - u - 6, h - v - chartBottomMargin};
        l.tabOrigin = {w / 2 - 2 * u - 10, static_cast<int>((h / 4 + 10) * 1.5)};
        l.tabFontPixels = static_cast<int>(v * 1.6);
    }
    l.tabBottom = fifthNinth - u;
    const int chartInside = l.chart.bottom - l.chart.top - 14;
    l.gridStep = static_cast<int>(chartInside * 0.25);
    l.scale = chartInside * 0.025;
    l.lineStep = v + 5;
    l.satFontPixels = v - 3;
    l.markerSize = v + 3;
    return l;
}

std::array<ViewRect, 4> TabRects(const ViewLayout& l, const std::array<TextExtent, 4>& names) {
    std::array<ViewRect, 4> tabs;
    const ViewPoint o = l.tabOrigin;
    if (l.portrait) {
        int left = o.x;
        for (int i = 0; i < 4; ++i) {
            tabs[i] = {left, o.y, left + names[i].width, l.tabBottom};
            left = tabs[i].right + l.u;
        }
        return tabs;
    }
    auto at = [&](int i, int left, int top) {
        return ViewRect{left, top, left + names[i].width, top + names[i].height};
    };
    const int gap = l.v + 10;
    tabs[0] = at(0, o.x, o.y);
    tabs[1] = at(1, tabs[0].right + gap, o.y);
    tabs[2] = at(2, o.x, tabs[0].bottom + 5);
    tabs[3] = at(3, tabs[2].right + gap, tabs[0].bottom + 5);
    return tabs;
}

int HitTab(const std::array<ViewRect, 4>& tabs, ViewPoint tap) {
    for (int i = 0; i < 4; ++i) {
        const ViewRect& r = tabs[i];
        if (r.left <= tap.x && tap.x < r.right && r.top <= tap.y && tap.y < r.bottom + kTabTapSlack) return i;
    }
    return -1;
}

int GridLineY(const ViewLayout& l, int i) {
    return l.chart.bottom - (l.gridStep * i + 7);
}

ViewPoint MarkerCorner(ViewPoint centre, int radius, int azimuthDeg, int elevationDeg) {
    // Degrees are whole numbers from the record; the products stay far inside int.
    const double theta = (90.0 - azimuthDeg) * 0.01745329;
    const double rho = (90.0 - elevationDeg) * 0.011111111111111112 * radius;
    auto truncated = [](double value) {
        return static_cast<int>(std::clamp(std::trunc(value), -1e6, 1e6));
    };
    return {centre.x + truncated(std::cos(theta) * rho), centre.y - truncated(std::sin(theta) * rho)};
}

int BarHeight(int snrDbHz, double scale) {
    if (snrDbHz < 1) return 0;
    if (snrDbHz < 10) return 1;
    const double pixels = (snrDbHz - 10.0) * scale + 7;
    return static_cast<int>(std::clamp(pixels, 0.0, 1e6));
}

int BarHalfWidth(const ViewRect& chart, int satellites) {
    if (satellites <= 0) return 0;
    const int span = chart.right - chart.left;
    int slot = static_cast<int>(static_cast<double>(span) / satellites);
    slot = std::min(slot, span / 6);
    return std::max(slot / 2, 0);
}

BarPair Bars(const ViewLayout& l, int w, int index, int snr1, int snr2) {
    const ViewRect& c = l.chart;
    BarPair p;
    p.slotLeft = c.left + 2 * w * index;
    auto top = [&](int snr) {
        const int height = BarHeight(snr, l.scale);
        return height == 0 ? c.bottom + 1 : std::max(c.top, c.bottom + 1 - height);
    };
    p.first = {p.slotLeft, top(snr1), p.slotLeft + w - 1, c.bottom + 1};
    p.second = {p.slotLeft + w, top(snr2), p.slotLeft + 2 * w - 3, c.bottom + 1};
    return p;
}

int LargestFittingHeight(int nominal, int smallest, int room, const WidthAtHeight& widthAt) {
    smallest = std::max(smallest, 1);
    if (nominal < smallest) return 0;
    const int atNominal = widthAt(nominal);
    if (atNominal <= room) return nominal;
    if (room <= 0) return 0;
    // room < atNominal, so the guess is below nominal.
    const long long guess = static_cast<long long>(nominal) * room / atNominal;
    int h = static_cast<int>(std::max<long long>(guess, smallest));
    while (h >= smallest && widthAt(h) > room) --h;
    if (h < smallest) return 0;
    while (h + 1 < nominal && widthAt(h + 1) <= room) ++h;
    return h;
}

int StatusValueRoom(const ViewRect& status, int labelWidth, int spaceWidth) {
    const int panel = status.right - status.left;
    return std::min(panel - kValueIndent, panel - labelWidth - spaceWidth);
}

int StatusLineStep(const ViewLayout& l, int lineHeight) {
    // The tenth line starts nine steps down and must end at or above chart.top.
    const int room = l.chart.top - l.status.top - lineHeight;
    return std::clamp(room / (kStatusLines - 1), 0, std::max(l.lineStep, 0));
}

int TabRoom(const ViewLayout& l) {
    return l.status.left - l.tabOrigin.x;
}

int TabSpan(const ViewLayout& l, const std::array<ViewRect, 4>& tabs) {
    int right = l.tabOrigin.x;
    for (const ViewRect& t : tabs) right = std::max(right, t.right);
    return right - l.tabOrigin.x;
}

int PrnLabelRoom(int halfWidth) {
    return std::max(2 * halfWidth - 3, 0);
}

SatelliteEntry* SatTable(GnssState& s, int constellation) {
    return const_cast<SatelliteEntry*>(SatTable(static_cast<const GnssState&>(s), constellation));
}

const SatelliteEntry* SatTable(const GnssState& s, int constellation) {
    switch (constellation) {
        case 1: return s.glonassSats;
        case 2: return s.beidouSats;
        case 3: return s.galileoSats;
        default: return s.gpsSats;
    }
}

std::int32_t& SatCount(GnssState& s, int constellation) {
    switch (constellation) {
        case 1: return s.glonassCount;
        case 2: return s.beidouCount;
        case 3: return s.galileoCount;
        default: return s.gpsCount;
    }
}

std::int32_t SatCount(const GnssState& s, int constellation) {
    return SatCount(const_cast<GnssState&>(s), constellation);
}

int UsableSatCount(const GnssState& s, int constellation) {
    return std::clamp(SatCount(s, constellation), 0, kSatTableSize);
}

}  // namespace sextara
