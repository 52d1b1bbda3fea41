#pragma once

#include <array>
#include <map>
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
//
// Text that would run into other text at its font height is drawn smaller:
// a status value too wide for its box or too close to its label, tabs that
// would pass the status panel's left edge, a satellite number wider than its
// bar pair (left out below kSmallestPrnPixels); the ten status lines close up
// where the tenth would reach into the signal chart.
class ViewPainter {
public:
    ViewPainter();
    // The fitted texts point into the painter's own fonts.
    ViewPainter(const ViewPainter&) = delete;
    ViewPainter& operator=(const ViewPainter&) = delete;

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
    // The window size's layout with the line step fitted to the fonts.
    const ViewLayout& Layout() const { return layout_; }
    const std::array<ViewRect, 4>& Tabs() const { return tabs_; }
    // Size of "128" in the default font: the signal chart's label cell.
    TextExtent LabelCell() const { return cell_; }

private:
    struct Font {
        QFont font;
        QFontMetrics metrics{QFont()};
    };
    // One face at any cell height, each made once when first asked for.
    class FontLadder {
    public:
        void Reset(const QString& family);
        const Font& At(int cellPixels);

    private:
        QString family_;
        std::map<int, Font> fonts_;
    };
    // A text's font and its width in it; no font: the text is left out.
    struct FittedText {
        const Font* font = nullptr;
        int width = 0;
    };
    // The last value of a status line that had to shrink: its height and width.
    struct FittedValue {
        QString text;
        int height = 0;
        int width = 0;
    };
    // More satellite numbers than four tables hold: the memo starts over.
    static constexpr std::size_t kMaxPrnFits = 4 * kSatTableSize;
    void Rebuild();
    void MakeFonts();
    void FitTabs();
    void FitStatusLines();
    FittedText ValueFont(int line, const QString& text);
    FittedText PrnFont(int prn, int room);
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
    FontLadder valueFonts_;
    FontLadder tabFonts_;
    FontLadder prnFonts_;
    std::array<int, kStatusLines> valueRoom_{};
    std::array<FittedValue, kStatusLines> fitted_{};
    int prnRoom_ = -1;
    std::map<int, FittedText> prnFits_;  // by satellite number, for prnRoom_
    TextExtent cell_;
    std::array<ViewRect, 4> tabs_{};
};

}  // namespace sextara::gui
