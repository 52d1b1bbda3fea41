#include "ui/SmoothDraw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace sextara {
namespace {

// Coordinates are taken within a million pixels either way of the origin, so
// that no sum or product of them leaves int or float precision.
constexpr int kCoordinateLimit = 1 << 20;
int Clip(int v) {
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

// Degrees to radians with the handheld's short constants (not a longer pi).
float Radians(float degrees) {
    return degrees * 0.0055555557f * 3.1415f;
}

// Calls f(i) for every i in [lo, hi] whose pixel, at base + sign * i, can
// touch the span [0, limit) (one pixel of margin for the neighbour blended).
template <typename F>
void ForVisible(int lo, int hi, int base, int sign, int limit, F&& f) {
    long long from = lo, to = hi;
    const long long a = static_cast<long long>(-2) - base, b = static_cast<long long>(limit) + 1 - base;
    if (sign > 0) {
        from = std::max(from, a);
        to = std::min(to, b);
    } else {
        from = std::max(from, -b);
        to = std::min(to, -a);
    }
    for (long long i = from; i <= to; ++i) f(static_cast<int>(i));
}

// The union of the i whose pixel at base + i or at base - i is visible, each once.
template <typename F>
void ForVisibleBothSides(int lo, int hi, int base, int limit, F&& f) {
    long long firstFrom = std::max<long long>(lo, -2LL - base);
    long long firstTo = std::min<long long>(hi, static_cast<long long>(limit) + 1 - base);
    for (long long i = firstFrom; i <= firstTo; ++i) f(static_cast<int>(i));
    const long long from = std::max<long long>(lo, static_cast<long long>(base) - limit - 1);
    const long long to = std::min<long long>(hi, static_cast<long long>(base) + 2);
    for (long long i = from; i <= to; ++i) {
        if (i >= firstFrom && i <= firstTo) continue;
        f(static_cast<int>(i));
    }
}

float SemiAxisRatio(int i, int a) {
    const float q = static_cast<float>(i) * static_cast<float>(i) / (static_cast<float>(a) * static_cast<float>(a));
    return std::sqrt(std::max(0.0f, 1.0f - q));
}

struct Ellipse {
    int cx, cy, a, b;
    int rowLimit;  // rows within b^2 / sqrt(a^2 + b^2) of the centre
};

Ellipse EllipseOf(int left, int top, int right, int bottom) {
    left = Clip(left);
    top = Clip(top);
    right = Clip(right);
    bottom = Clip(bottom);
    Ellipse e;
    e.cx = static_cast<int>((static_cast<long long>(left) + right) / 2);
    e.cy = static_cast<int>((static_cast<long long>(top) + bottom) / 2);
    e.a = static_cast<int>(std::fabs(static_cast<float>(static_cast<long long>(right) - left)) * 0.5f);
    e.b = static_cast<int>(std::fabs(static_cast<float>(static_cast<long long>(bottom) - top)) * 0.5f);
    const double d = std::sqrt(static_cast<double>(e.a) * e.a + static_cast<double>(e.b) * e.b);
    e.rowLimit = d > 0 ? static_cast<int>(static_cast<double>(e.b) * e.b / d) : 0;
    return e;
}

SmoothPoint EndPoint(const Ellipse& e, float degrees) {
    const float t = Radians(degrees);
    return {e.cx + static_cast<int>(static_cast<float>(e.a) * std::cos(t)),
            e.cy + static_cast<int>(static_cast<float>(e.b) * std::sin(t))};
}

// One span of an arc within quadrant q (0: right-below, 1: left-below,
// 2: left-above, 3: right-above; y grows downwards), from t0 to t1 degrees.
void ArcSpan(PixelSurface& s, const Ellipse& e, int quadrant, float t0, float t1, ColorRef c) {
    const int sx = quadrant == 0 || quadrant == 3 ? 1 : -1;
    const int sy = quadrant == 0 || quadrant == 1 ? 1 : -1;
    const float r0 = Radians(t0), r1 = Radians(t1);
    const float x0 = std::fabs(std::cos(r0)) * static_cast<float>(e.a);
    const float x1 = std::fabs(std::cos(r1)) * static_cast<float>(e.a);
    const float y0 = std::fabs(std::sin(r0)) * static_cast<float>(e.b);
    const float y1 = std::fabs(std::sin(r1)) * static_cast<float>(e.b);
    const int iFrom = static_cast<int>(std::ceil(std::min(x0, x1)));
    const int iTo = std::min(static_cast<int>(std::floor(std::max(x0, x1))), e.a);
    ForVisible(iFrom, iTo, e.cx, sx, s.Width(), [&](int i) {
        const float yv = static_cast<float>(e.b) * SemiAxisRatio(i, e.a);
        const int yi = static_cast<int>(yv);
        const float f = yv - static_cast<float>(yi);
        SmoothDraw::Blend(s, e.cx + sx * i, e.cy + sy * yi, f, c);
        SmoothDraw::Blend(s, e.cx + sx * i, e.cy + sy * (yi + 1), 1 - f, c);
    });
    const int jFrom = static_cast<int>(std::ceil(std::min(y0, y1)));
    const int jTo = std::min(static_cast<int>(std::floor(std::max(y0, y1))), e.rowLimit);
    ForVisible(jFrom, jTo, e.cy, sy, s.Height(), [&](int j) {
        const float xv = static_cast<float>(e.a) * SemiAxisRatio(j, e.b);
        const int xi = static_cast<int>(xv);
        const float f = xv - static_cast<float>(xi);
        SmoothDraw::Blend(s, e.cx + sx * xi, e.cy + sy * j, f, c);
        SmoothDraw::Blend(s, e.cx + sx * (xi + 1), e.cy + sy * j, 1 - f, c);
    });
}

}  // namespace

void SmoothDraw::Blend(PixelSurface& s, int x, int y, float presentWeight, ColorRef c) {
    if (x < 0 || y < 0 || x >= s.Width() || y >= s.Height()) return;
    const float f = std::clamp(presentWeight, 0.0f, 1.0f);
    const ColorRef p = s.GetPixel(x, y);
    ColorRef out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const auto present = static_cast<float>((p >> shift) & 0xFF);
        const auto colour = static_cast<float>((c >> shift) & 0xFF);
        const unsigned sum = static_cast<unsigned>(present * f) + static_cast<unsigned>(colour * (1 - f));
        out |= (sum & 0xFF) << shift;
    }
    s.SetPixel(x, y, out);
}

void SmoothDraw::Line(PixelSurface& s, int x0, int y0, int x1, int y1, ColorRef c) {
    x0 = Clip(x0);
    y0 = Clip(y0);
    x1 = Clip(x1);
    y1 = Clip(y1);
    // Both ends as given, whichever of them the ordering below puts first.
    const int endX = x1, endY = y1;
    s.SetPixel(x0, y0, c);
    const long long dx = static_cast<long long>(x1) - x0;
    const long long dy = static_cast<long long>(y1) - y0;
    if (std::llabs(dx) <= std::llabs(dy)) {
        if (dy < 0) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        if (dy != 0) {
            const float step = static_cast<float>(static_cast<long long>(x1) - x0) /
                               static_cast<float>(static_cast<long long>(y1) - y0);
            // Rows above the surface are skipped in one go.
            const int first = std::max(y0 + 1, -1);
            const int last = std::min(y1, s.Height() + 1);
            float x = static_cast<float>(x0) + step * static_cast<float>(static_cast<long long>(first) - y0);
            for (int y = first; y < last; ++y) {
                const int i = static_cast<int>(x);
                const float f = x - static_cast<float>(i);
                Blend(s, i, y, f, c);
                Blend(s, i + 1, y, 1 - f, c);
                x += step;
            }
        }
    } else {
        if (dx < 0) {
            std::swap(x0, x1);
            std::swap(y0, y1);
        }
        const float step = static_cast<float>(y1 - static_cast<long long>(y0)) / static_cast<float>(std::llabs(dx));
        const int first = std::max(x0 + 1, -1);
        const int last = std::min(x1, s.Width() + 1);
        float y = static_cast<float>(y0) + step * static_cast<float>(static_cast<long long>(first) - x0);
        for (int x = first; x < last; ++x) {
            const int i = static_cast<int>(y);
            const float f = y - static_cast<float>(i);
            Blend(s, x, i, f, c);
            Blend(s, x, i + 1, 1 - f, c);
            y += step;
        }
    }
    s.SetPixel(endX, endY, c);
}

void SmoothDraw::Polyline(PixelSurface& s, const SmoothPoint* points, int count, ColorRef c) {
    if (points == nullptr) return;
    for (int i = 1; i < count; ++i) Line(s, points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, c);
}

void SmoothDraw::Polygon(PixelSurface& s, const SmoothPoint* points, int count, ColorRef c) {
    if (points == nullptr || count < 1) return;
    Polyline(s, points, count, c);
    Line(s, points[0].x, points[0].y, points[count - 1].x, points[count - 1].y, c);
}

void SmoothDraw::Ellipse(PixelSurface& s, int left, int top, int right, int bottom, ColorRef c) {
    const auto e = EllipseOf(left, top, right, bottom);
    if (e.a == 0 || e.b == 0) {
        Line(s, e.cx - e.a, e.cy - e.b, e.cx + e.a, e.cy + e.b, c);
        return;
    }
    ForVisibleBothSides(-e.a, e.a, e.cx, s.Width(), [&](int i) {
        const float yv = static_cast<float>(e.b) * SemiAxisRatio(i, e.a);
        const int yi = static_cast<int>(yv);
        const float f = yv - static_cast<float>(yi);
        Blend(s, e.cx + i, e.cy + yi, f, c);
        Blend(s, e.cx + i, e.cy + yi + 1, 1 - f, c);
        Blend(s, e.cx - i, e.cy - yi, f, c);
        Blend(s, e.cx - i, e.cy - yi - 1, 1 - f, c);
    });
    ForVisibleBothSides(-e.rowLimit, e.rowLimit, e.cy, s.Height(), [&](int j) {
        const float xv = static_cast<float>(e.a) * SemiAxisRatio(j, e.b);
        const int xi = static_cast<int>(xv);
        const float f = xv - static_cast<float>(xi);
        Blend(s, e.cx + xi, e.cy + j, f, c);
        Blend(s, e.cx + xi + 1, e.cy + j, 1 - f, c);
        Blend(s, e.cx - xi, e.cy - j, f, c);
        Blend(s, e.cx - xi - 1, e.cy - j, 1 - f, c);
    });
}

void SmoothDraw::Arc(PixelSurface& s, int left, int top, int right, int bottom, float startDeg, float endDeg,
                     ColorRef c) {
    const auto e = EllipseOf(left, top, right, bottom);
    if (e.a == 0 || e.b == 0 || !std::isfinite(startDeg) || !std::isfinite(endDeg)) return;
    // Clockwise from start to end, at most one full turn, in spans that end at
    // quadrant boundaries (so each span is 90 degrees or less).
    float sweep = std::fmod(endDeg - startDeg, 360.0f);
    if (sweep <= 0) sweep += 360.0f;
    float from = std::fmod(startDeg, 360.0f);
    if (from < 0) from += 360.0f;
    float left_ = sweep;
    for (int span = 0; span < 5 && left_ > 0; ++span) {
        const int quadrant = static_cast<int>(from / 90.0f) % 4;
        const float boundary = static_cast<float>((static_cast<int>(from / 90.0f) + 1) * 90);
        const float to = std::min(boundary, from + left_);
        if (!(to > from)) break;  // a rest below float resolution
        ArcSpan(s, e, quadrant, from, to, c);
        left_ -= to - from;
        from = to >= 360.0f ? to - 360.0f : to;
    }
}

void SmoothDraw::Pie(PixelSurface& s, int left, int top, int right, int bottom, float startDeg, float endDeg,
                     ColorRef c) {
    Arc(s, left, top, right, bottom, startDeg, endDeg, c);
    const auto e = EllipseOf(left, top, right, bottom);
    const SmoothPoint a = EndPoint(e, startDeg), b = EndPoint(e, endDeg);
    Line(s, e.cx, e.cy, a.x, a.y, c);
    Line(s, e.cx, e.cy, b.x, b.y, c);
}

void SmoothDraw::Chord(PixelSurface& s, int left, int top, int right, int bottom, float startDeg, float endDeg,
                       ColorRef c) {
    Arc(s, left, top, right, bottom, startDeg, endDeg, c);
    const auto e = EllipseOf(left, top, right, bottom);
    const SmoothPoint a = EndPoint(e, startDeg), b = EndPoint(e, endDeg);
    Line(s, a.x, a.y, b.x, b.y, c);
}

void SmoothDraw::ArcRect(PixelSurface& s, int left, int top, int right, int bottom, int cornerWidth,
                         int cornerHeight, ColorRef c) {
    left = Clip(left);
    top = Clip(top);
    right = Clip(right);
    bottom = Clip(bottom);
    const int p = Clip(cornerWidth) / 2, q = Clip(cornerHeight) / 2;
    if (!(2 * p <= std::abs(right - left) && 2 * q <= std::abs(bottom - top))) {
        Ellipse(s, left, top, right, bottom, c);
        return;
    }
    Line(s, left + p, top, right - p, top, c);
    Arc(s, right - 2 * p, top, right, top + 2 * q, 270, 360, c);
    Line(s, right, top + q, right, bottom - q, c);
    Arc(s, right - 2 * p, bottom - 2 * q, right, bottom, 0, 90, c);
    Line(s, right - p, bottom, left + p, bottom, c);
    Arc(s, left, bottom - 2 * q, left + 2 * p, bottom, 90, 180, c);
    Line(s, left, bottom - q, left, top + q, c);
    Arc(s, left, top, left + 2 * p, top + 2 * q, 180, 270, c);
}

void SmoothDraw::Curve(PixelSurface& s, const SmoothPoint* points, int count, ColorRef c) {
    if (points == nullptr) return;
    // Never more steps than this per group, whatever the points' distance.
    constexpr float kMaxSteps = 1 << 16;
    for (int g = 0; g + 3 < count; g += 3) {
        auto clip = [](SmoothPoint p) { return SmoothPoint{Clip(p.x), Clip(p.y)}; };
        const SmoothPoint p0 = clip(points[g]), p1 = clip(points[g + 1]), p2 = clip(points[g + 2]),
                          p3 = clip(points[g + 3]);
        if (p1.y == p2.y) {
            Line(s, p0.x, p0.y, p3.x, p3.y, c);
            continue;
        }
        auto length = [](SmoothPoint a, SmoothPoint b) {
            return std::hypot(static_cast<float>(b.x) - static_cast<float>(a.x),
                              static_cast<float>(b.y) - static_cast<float>(a.y));
        };
        const float total = std::min(length(p0, p1) + length(p1, p2) + length(p2, p3), kMaxSteps);
        const float step = 1.0f / std::max(total, 1.0f);
        auto axis = [](float a0, float a1, float a2, float a3, float t) {
            const float q1 = 3 * (a1 - a0);
            const float q2 = 3 * (a2 - a1) - q1;
            const float q3 = a3 - a0 - q1 - q2;
            return a0 + q1 * t + q2 * t * t + q3 * t * t * t;
        };
        SmoothPoint last = p0;
        int lastDx = 0, lastDy = 0;
        for (float t = step; t < 1.0f; t += step) {
            const SmoothPoint p{static_cast<int>(axis(static_cast<float>(p0.x), static_cast<float>(p1.x),
                                                      static_cast<float>(p2.x), static_cast<float>(p3.x), t)),
                                static_cast<int>(axis(static_cast<float>(p0.y), static_cast<float>(p1.y),
                                                      static_cast<float>(p2.y), static_cast<float>(p3.y), t))};
            if (p.x == last.x || p.y == last.y) continue;
            const int dx = p.x - last.x, dy = p.y - last.y;
            // Along one straight run the points join into one line.
            if (static_cast<long long>(dx) * lastDy == static_cast<long long>(dy) * lastDx && lastDx != 0) continue;
            Line(s, last.x, last.y, p.x, p.y, c);
            last = p;
            lastDx = dx;
            lastDy = dy;
        }
        Line(s, last.x, last.y, p3.x, p3.y, c);
    }
}

}  // namespace sextara
