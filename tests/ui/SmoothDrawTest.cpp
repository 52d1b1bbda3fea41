#include "ui/SmoothDraw.h"

#include <gtest/gtest.h>

#include <vector>

namespace sextara {
namespace {

class Canvas : public PixelSurface {
public:
    Canvas(int w, int h, ColorRef fill = 0) : w_(w), h_(h), pixels_(static_cast<std::size_t>(w * h), fill) {}
    int Width() const override { return w_; }
    int Height() const override { return h_; }
    ColorRef GetPixel(int x, int y) const override { return pixels_[static_cast<std::size_t>(y * w_ + x)]; }
    void SetPixel(int x, int y, ColorRef c) override {
        if (x >= 0 && y >= 0 && x < w_ && y < h_) pixels_[static_cast<std::size_t>(y * w_ + x)] = c;
    }
    int Red(int x, int y) const { return static_cast<int>(GetPixel(x, y) & 0xFF); }
    int Touched() const {
        int n = 0;
        for (ColorRef p : pixels_) n += p != 0;
        return n;
    }

private:
    int w_, h_;
    std::vector<ColorRef> pixels_;
};

const ColorRef kWhite = Rgb(255, 255, 255);

TEST(SmoothDraw, LineEndsArePureWhateverTheDirection) {
    const struct {
        int x0, y0, x1, y1;
    } lines[] = {{2, 5, 17, 5}, {17, 5, 2, 5}, {5, 2, 5, 17}, {3, 3, 15, 15}, {15, 3, 3, 15}, {4, 4, 10, 13},
                 {6, 9, 7, 9}, {6, 9, 7, 10}};
    for (const auto& l : lines) {
        Canvas c(20, 20);
        SmoothDraw::Line(c, l.x0, l.y0, l.x1, l.y1, Rgb(10, 200, 30));
        EXPECT_EQ(c.GetPixel(l.x0, l.y0), Rgb(10, 200, 30));
        EXPECT_EQ(c.GetPixel(l.x1, l.y1), Rgb(10, 200, 30));
        if (std::abs(l.x1 - l.x0) <= 1 && std::abs(l.y1 - l.y0) <= 1) {
            EXPECT_EQ(c.Touched(), 2);
        }
    }
}

TEST(SmoothDraw, BlendWeighsPresentAndNewPerChannel) {
    Canvas c(1, 1, Rgb(200, 100, 0));
    SmoothDraw::Blend(c, 0, 0, 0.25f, Rgb(0, 100, 255));
    // trunc(p * 0.25) + trunc(c * 0.75) per channel.
    EXPECT_EQ(c.GetPixel(0, 0), Rgb(50, 25 + 75, 191));
}

TEST(SmoothDraw, CircleIsSymmetricAndItsPairsSumToTheColour) {
    Canvas c(41, 41);
    SmoothDraw::Ellipse(c, 5, 5, 35, 35, kWhite);
    for (int y = 0; y < 41; ++y) {
        for (int x = 0; x < 41; ++x) {
            EXPECT_EQ(c.GetPixel(x, y), c.GetPixel(40 - x, y)) << x << "," << y;
            EXPECT_EQ(c.GetPixel(x, y), c.GetPixel(x, 40 - y)) << x << "," << y;
        }
    }
    // The column through the centre: the ring pixel and its outer neighbour
    // share the colour between them (more where both passes meet).
    EXPECT_EQ(c.Red(20, 35), 255);
    for (int x = 14; x <= 26; ++x) {
        int sum = 0;
        for (int y = 30; y < 41; ++y) sum += c.Red(x, y);
        EXPECT_GE(sum, 254) << x;
        EXPECT_LE(sum, 2 * 255) << x;
    }
    EXPECT_EQ(c.Red(20, 20), 0);  // the inside stays
}

TEST(SmoothDraw, FarOffAndDegenerateShapesStayBounded) {
    Canvas c(10, 10);
    SmoothDraw::Ellipse(c, -2000000000, -2000000000, 2000000000, 2000000000, kWhite);
    SmoothDraw::Line(c, -2000000000, 5, 2000000000, 6, kWhite);
    SmoothDraw::Ellipse(c, 2, 4, 2, 8, kWhite);  // zero width: the line it collapses to
    EXPECT_EQ(c.GetPixel(2, 4), kWhite);
    EXPECT_EQ(c.GetPixel(2, 8), kWhite);
    const SmoothPoint curve[] = {{0, 0}, {3, 9}, {6, -3}, {9, 9}};
    SmoothDraw::Curve(c, curve, 4, kWhite);
    SmoothDraw::ArcRect(c, 1, 1, 8, 8, 4, 4, kWhite);
    SmoothDraw::Pie(c, 0, 0, 9, 9, 10, 300, kWhite);
    EXPECT_EQ(c.GetPixel(9, 9), kWhite);  // the curve's end
}

}  // namespace
}  // namespace sextara
