#pragma once

#include <cstdint>

namespace sextara {

// A colour as the drawing calls take it: red in the low byte, then green, then blue.
using ColorRef = std::uint32_t;
constexpr ColorRef Rgb(int r, int g, int b) {
    return static_cast<ColorRef>((r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16);
}

// Pixels the anti-aliased operations read and write, one at a time. Reads
// outside the surface give black and writes there are dropped.
class PixelSurface {
public:
    virtual ~PixelSurface() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual ColorRef GetPixel(int x, int y) const = 0;
    virtual void SetPixel(int x, int y, ColorRef colour) = 0;
};

struct SmoothPoint {
    int x = 0;
    int y = 0;
};

// Anti-aliased outlines drawn pixel by pixel, blending the colour into what
// the surface holds. Per channel, with weight f given to the present value p:
// trunc(p * f) + trunc(c * (1 - f)), kept to 8 bits. Single precision, as the
// handheld computed it. Meant for one-time decorations (the sky-plot rings
// of the background), not for per-frame drawing.
//
// Work is bounded by the surface: steps whose pixels all fall outside it are
// skipped, so far-off geometry costs nothing. Coordinates beyond a million
// pixels from the origin are taken at that distance.
struct SmoothDraw {
    // Both end pixels in the pure colour; the pixels between blended over two
    // neighbours across the line.
    static void Line(PixelSurface& s, int x0, int y0, int x1, int y1, ColorRef c);
    static void Polyline(PixelSurface& s, const SmoothPoint* points, int count, ColorRef c);
    // The polyline and a closing line from the first point to the last.
    static void Polygon(PixelSurface& s, const SmoothPoint* points, int count, ColorRef c);
    // Outline of the ellipse in the box. A zero semi-axis draws the line
    // (or the pixel) that the ellipse collapses to.
    static void Ellipse(PixelSurface& s, int left, int top, int right, int bottom, ColorRef c);
    // Angles in degrees, clockwise on the screen from the rightward direction.
    static void Arc(PixelSurface& s, int left, int top, int right, int bottom, float startDeg, float endDeg,
                    ColorRef c);
    static void Pie(PixelSurface& s, int left, int top, int right, int bottom, float startDeg, float endDeg,
                    ColorRef c);
    static void Chord(PixelSurface& s, int left, int top, int right, int bottom, float startDeg, float endDeg,
                      ColorRef c);
    // Four lines and four quarter arcs; the ellipse of the box when the corners would meet.
    static void ArcRect(PixelSurface& s, int left, int top, int right, int bottom, int cornerWidth,
                        int cornerHeight, ColorRef c);
    // Cubic Bezier segments P0 P1 P2 P3, the last point starting the next group.
    static void Curve(PixelSurface& s, const SmoothPoint* points, int count, ColorRef c);

    // One pixel blended: weight f on the present value, 1 - f on c.
    static void Blend(PixelSurface& s, int x, int y, float presentWeight, ColorRef c);
};

}  // namespace sextara
