#pragma once

#include <array>
#include <string>

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QSize>

#include "decode/GnssState.h"
#include "ui/SmoothDraw.h"
#include "ui/ViewLayout.h"

class QPainter;

namespace sextara::gui {

// A QImage as a surface for SmoothDraw (32-bit RGB images only).
class ImageSurface : public PixelSurface {
public:
    explicit ImageSurface(QImage& image) : image_(image) {}
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    ColorRef GetPixel(int x, int y) const override;
    void SetPixel(int x, int y, ColorRef colour) override;

private:
    QImage& image_;
};

// Draws the main view into two images of the view's size: the background
// (black, rings, compass letters, labels, chart grid, frame and grid labels),
// painted when the size or the language changes, and the frame, which every
// Compose starts as a copy of the background and completes with the values,
// tabs, sky plot and signal chart. Needs a QGuiApplication (fonts).
//
// Drawing keeps the handheld's conventions where the picture depends on
// them: filled rectangles leave out their right and bottom edges, lines are
// one aliased pixel, the grid pen is dashed 18 on, 6 off, text boxes hold one
// line and text is drawn without a background.
class ViewPainter {
public:
    ViewPainter();

    // 0 Chinese, otherwise English. Picks the faces (see FaceFor in the .cpp).
    void SetLanguage(int effectiveLanguage);
    int Language() const { return language_; }
    // Lays the view out for this size and repaints the background.
    void Resize(QSize size);
    QSize Size() const { return frame_.size(); }

    // One frame: `shown` supplies the satellites, `values` the ten status
    // texts (UTF-8, panel order), `selected` the tab (0 GPS .. 3 Galileo).
    void Compose(const GnssState& shown, const std::array<std::string, 10>& values, int selected);

    const QImage& Frame() const { return frame_; }
    const QImage& Background() const { return background_; }
    const ViewLayout& Layout() const { return layout_; }
    const std::array<ViewRect, 4>& Tabs() const { return tabs_; }
    // Size of "128" in the default font: the signal chart's label cell.
    TextExtent LabelCell() const { return cell_; }

private:
    struct Font {
        QFont font;
        QFontMetrics metrics{QFont()};
    };
    void Rebuild();
    void MakeFonts();
    void PaintBackground();
    void PaintValues(QPainter& p, const std::array<std::string, 10>& values);
    void PaintTabs(QPainter& p, int selected);
    void PaintSky(QPainter& p, const GnssState& shown, int selected);
    void PaintBars(QPainter& p, const GnssState& shown, int selected);
    void DashedGrid(QImage& image);

    int language_ = 1;
    ViewLayout layout_;
    QImage background_;
    QImage frame_;
    Font labelFont_;    // compass letters and labels
    Font valueFont_;    // the ten values
    Font tabFont_;
    Font satFont_;      // satellite numbers in the sky plot
    Font defaultFont_;  // the signal chart's texts
    TextExtent cell_;
    std::array<ViewRect, 4> tabs_{};
};

}  // namespace sextara::gui
