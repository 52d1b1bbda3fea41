#include "gui/ViewPainter.h"

#include <algorithm>
#include <cstring>

#include <QPainter>

#include "ui/StatusFormat.h"

namespace sextara::gui {
namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGrey(128, 128, 128);

enum TextFlags : int {
    kLeft = 0,
    kRight = 1,
    kHCentre = 2,
    kTop = 0,
    kVCentre = 4,
};

enum class Face { ArialBlank, Arial, System };

// The handheld asked for "Arial " (with a trailing blank) for the letters,
// labels, tabs and satellite numbers, and "Arial" for the values. No font
// carries the blank name, so its font mapper handed out the system font,
// which on a Chinese device is a Chinese face; "Arial" was Arial. Here
// "Arial" resolves through fontconfig to a metric-compatible face (Liberation
// Sans), and the Chinese system face is WenQuanYi Micro Hei.
QString FaceFor(Face face, int language) {
    const bool chinese = language == 0;
    switch (face) {
        case Face::Arial: return QStringLiteral("Arial");
        case Face::ArialBlank:
        case Face::System: return chinese ? QStringLiteral("WenQuanYi Micro Hei") : QStringLiteral("Arial");
    }
    return QStringLiteral("Arial");
}

// A font height there was the height of the character cell (ascent plus
// descent), not the em size that Qt's pixel size sets: scale the em so that
// the cell comes out at the height asked for.
QFont MakeFont(const QString& family, int cellPixels) {
    const int cell = std::max(cellPixels, 1);
    QFont f(family);
    f.setPixelSize(cell);
    f.setWeight(QFont::Medium);
    const QFontMetrics m(f);
    const int measured = m.ascent() + m.descent();
    if (measured > 0 && measured != cell) f.setPixelSize(std::max(1, (cell * cell + measured / 2) / measured));
    return f;
}

// One line of text in a box, positioned by its advance and the font's
// ascent and descent; the text may run past the box, as it did there.
// width: the text's advance in m, where the caller has measured it already.
void TextBox(QPainter& p, const QFontMetrics& m, const ViewRect& box, const QString& text, int flags, int width) {
    int x = box.left;
    if (flags & kRight) x = box.right - width;
    if (flags & kHCentre) x = box.left + (box.right - box.left - width) / 2;
    int y = box.top + m.ascent();
    if (flags & kVCentre) y = box.top + (box.bottom - box.top - (m.ascent() + m.descent())) / 2 + m.ascent();
    p.drawText(QPoint(x, y), text);
}

void TextBox(QPainter& p, const QFontMetrics& m, const ViewRect& box, const QString& text, int flags) {
    TextBox(p, m, box, text, flags, m.horizontalAdvance(text));
}

// A filled rectangle with a one-pixel outline, right and bottom edges left out.
void Rectangle(QPainter& p, const ViewRect& r, const QColor& outline, const QColor& fill) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    p.fillRect(r.left, r.top, w, h, outline);
    if (w > 2 && h > 2) p.fillRect(r.left + 1, r.top + 1, w - 2, h - 2, fill);
}

QString Number(int value) {
    return QString::number(value);
}

}  // namespace

ColorRef ImageSurface::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return 0;
    const QRgb p = reinterpret_cast<const QRgb*>(image_.constScanLine(y))[x];
    return Rgb(qRed(p), qGreen(p), qBlue(p));
}

void ImageSurface::SetPixel(int x, int y, ColorRef c) {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
    reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

ViewPainter::ViewPainter() {
    Rebuild();
}

void ViewPainter::SetLanguage(int effectiveLanguage) {
    language_ = effectiveLanguage == 0 ? 0 : 1;
    Rebuild();
}

void ViewPainter::Resize(QSize size) {
    if (size == frame_.size() && !frame_.isNull()) return;
    layout_ = ComputeViewLayout(size.width(), size.height());
    Rebuild();
}

void ViewPainter::FontLadder::Reset(const QString& family) {
    family_ = family;
    fonts_.clear();
}

const ViewPainter::Font& ViewPainter::FontLadder::At(int cellPixels) {
    auto [it, made] = fonts_.try_emplace(cellPixels);
    if (made) {
        it->second.font = MakeFont(family_, cellPixels);
        it->second.metrics = QFontMetrics(it->second.font);
    }
    return it->second;
}

void ViewPainter::Rebuild() {
    MakeFonts();
    FitTabs();
    FitStatusLines();
    const QSize size(layout_.width, layout_.height);
    background_ = QImage(size, QImage::Format_RGB32);
    frame_ = QImage(size, QImage::Format_RGB32);
    if (size.isEmpty()) return;
    PaintBackground();
    std::memcpy(frame_.bits(), background_.constBits(), static_cast<std::size_t>(background_.sizeInBytes()));
}

void ViewPainter::MakeFonts() {
    valueFonts_.Reset(FaceFor(Face::Arial, language_));
    tabFonts_.Reset(FaceFor(Face::ArialBlank, language_));
    prnFonts_.Reset(FaceFor(Face::System, language_));
    fitted_ = {};
    prnFits_.clear();
    FontLadder labels;
    labels.Reset(FaceFor(Face::ArialBlank, language_));
    labelFont_ = labels.At(layout_.v);
    satFont_ = labels.At(layout_.satFontPixels);
    valueFont_ = valueFonts_.At(layout_.v);
    defaultFont_ = prnFonts_.At(kDefaultFontPixels);
    const QString probe = QStringLiteral("128");
    cell_ = {defaultFont_.metrics.horizontalAdvance(probe), defaultFont_.metrics.height()};
}

void ViewPainter::FitTabs() {
    auto tabsAt = [&](int height) {
        const QFontMetrics& m = tabFonts_.At(height).metrics;
        std::array<TextExtent, 4> names;
        for (int i = 0; i < 4; ++i) {
            names[i] = {m.horizontalAdvance(QString::fromLatin1(kTabNames[i])), m.height()};
        }
        return TabRects(layout_, names);
    };
    const int nominal = layout_.tabFontPixels;
    const int fitted = LargestFittingHeight(nominal, 1, TabRoom(layout_),
                                            [&](int height) { return TabSpan(layout_, tabsAt(height)); });
    const int height = fitted > 0 ? fitted : nominal;
    tabFont_ = tabFonts_.At(height);
    tabs_ = tabsAt(height);
}

void ViewPainter::FitStatusLines() {
    const QFontMetrics& lm = labelFont_.metrics;
    const QFontMetrics& vm = valueFont_.metrics;
    const int lineHeight = std::max(lm.ascent() + lm.descent(), vm.ascent() + vm.descent());
    layout_.lineStep = StatusLineStep(layout_, lineHeight);
    const int space = lm.horizontalAdvance(QLatin1Char(' '));
    for (int i = 0; i < kStatusLines; ++i) {
        const int label = lm.horizontalAdvance(QString::fromLatin1(kStatusLabels[i]));
        valueRoom_[i] = StatusValueRoom(layout_.status, label, space);
    }
}

void ViewPainter::DashedGrid(QImage& image) {
    const ViewRect& c = layout_.chart;
    const QRgb white = qRgb(255, 255, 255);
    const int from = std::max(c.left, 0), to = std::min(c.right, image.width());
    for (int i = 0; i < 5; ++i) {
        const int y = GridLineY(layout_, i);
        if (y < 0 || y >= image.height()) continue;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        // 18 pixels on, 6 off, counted from the line's start.
        for (int x = from; x < to; ++x) {
            if ((x - c.left) % 24 < 18) line[x] = white;
        }
    }
}

void ViewPainter::PaintBackground() {
    const ViewLayout& l = layout_;
    background_.fill(kBlack);
    ImageSurface surface(background_);
    const ViewPoint sky = l.skyCentre;
    for (int r : {l.skyRadius, l.skyRadius / 2}) {
        SmoothDraw::Ellipse(surface, sky.x - r, sky.y - r, sky.x + r, sky.y + r, Rgb(255, 255, 255));
    }

    QPainter p(&background_);
    p.setPen(kWhite);
    p.setFont(labelFont_.font);
    const int R = l.skyRadius;
    const struct {
        const char* letter;
        ViewRect box;
    } kCompass[] = {
        {"N", {sky.x - 8, sky.y - R - 12, sky.x + 8, sky.y - R + 12}},
        {"S", {sky.x - 8, sky.y + R - 12, sky.x + 8, sky.y + R + 12}},
        {"W", {sky.x - R - 8, sky.y - 12, sky.x - R + 8, sky.y + 12}},
        {"E", {sky.x + R - 8, sky.y - 12, sky.x + R + 8, sky.y + 12}},
    };
    const QFontMetrics& lm = labelFont_.metrics;
    for (const auto& c : kCompass) {
        // White on an opaque black cell: the letter cuts through the ring.
        const QString letter = QString::fromLatin1(c.letter);
        const int w = lm.horizontalAdvance(letter), h = lm.ascent() + lm.descent();
        p.fillRect((c.box.left + c.box.right - w) / 2, c.box.top + (c.box.bottom - c.box.top - h) / 2, w, h,
                   kBlack);
        TextBox(p, lm, c.box, letter, kHCentre | kVCentre);
    }
    for (int i = 0; i < kStatusLines; ++i) {
        ViewRect box = l.status;
        box.top += i * l.lineStep;
        box.bottom += i * l.lineStep;
        TextBox(p, lm, box, QString::fromLatin1(kStatusLabels[i]), kLeft | kTop);
    }
    p.end();

    DashedGrid(background_);
    QPainter frame(&background_);
    const ViewRect& c = l.chart;
    frame.fillRect(c.left, c.top, c.right - c.left + 1, 1, kWhite);
    frame.fillRect(c.left, c.bottom, c.right - c.left + 1, 1, kWhite);
    frame.fillRect(c.left, c.top, 1, c.bottom - c.top + 1, kWhite);
    frame.fillRect(c.right, c.top, 1, c.bottom - c.top + 1, kWhite);

    frame.setPen(kWhite);
    frame.setFont(defaultFont_.font);
    for (int i = 0; i < 5; ++i) {
        const int y = GridLineY(l, i);
        const ViewRect box{c.right + 2, y - cell_.height / 2, l.width, y + cell_.height / 2};
        TextBox(frame, defaultFont_.metrics, box, Number(10 * i + 10), kLeft | kVCentre);
    }
}

void ViewPainter::Compose(const GnssState& shown, const std::array<std::string, 10>& values, int selected) {
    if (frame_.isNull()) return;
    std::memcpy(frame_.bits(), background_.constBits(), static_cast<std::size_t>(background_.sizeInBytes()));
    QPainter p(&frame_);
    PaintValues(p, values);
    PaintTabs(p, selected);
    PaintSky(p, shown, selected);
    PaintBars(p, shown, selected);
    p.end();
    // The grid goes over the bars again.
    DashedGrid(frame_);
}

void ViewPainter::PaintValues(QPainter& p, const std::array<std::string, 10>& values) {
    p.setPen(kWhite);
    const int ascent = valueFont_.metrics.ascent();
    const Font* current = &valueFont_;
    p.setFont(current->font);
    for (int i = 0; i < kStatusLines; ++i) {
        const QString text = QString::fromUtf8(values[i].data(), static_cast<qsizetype>(values[i].size()));
        const FittedText fitted = ValueFont(i, text);
        // A smaller value keeps the line's baseline.
        ViewRect box = layout_.status;
        box.left += kValueIndent;
        box.top += i * layout_.lineStep + ascent - fitted.font->metrics.ascent();
        box.bottom += i * layout_.lineStep;
        if (fitted.font != current) p.setFont((current = fitted.font)->font);
        TextBox(p, fitted.font->metrics, box, text, kRight | kTop, fitted.width);
    }
}

ViewPainter::FittedText ViewPainter::ValueFont(int line, const QString& text) {
    const int room = valueRoom_[line];
    const int width = valueFont_.metrics.horizontalAdvance(text);
    if (width <= room) return {&valueFont_, width};
    // A moving receiver changes its position's last digits only now and
    // then; an unchanged text keeps its height without measuring again.
    FittedValue& last = fitted_[line];
    if (last.height == 0 || last.text != text) {
        const int height = std::max(1, LargestFittingHeight(layout_.v, 1, room, [&](int h) {
            return valueFonts_.At(h).metrics.horizontalAdvance(text);
        }));
        last = {text, height, valueFonts_.At(height).metrics.horizontalAdvance(text)};
    }
    return {&valueFonts_.At(last.height), last.width};
}

ViewPainter::FittedText ViewPainter::PrnFont(int prn, int room) {
    // The same few numbers come back every second, and the room changes
    // only with the count: each number is fitted once per room.
    if (room != prnRoom_ || prnFits_.size() > kMaxPrnFits) {
        prnFits_.clear();
        prnRoom_ = room;
    }
    auto [it, fresh] = prnFits_.try_emplace(prn);
    if (!fresh) return it->second;
    const QString text = Number(prn);
    const int width = defaultFont_.metrics.horizontalAdvance(text);
    if (width <= room) return it->second = {&defaultFont_, width};
    const int height = LargestFittingHeight(kDefaultFontPixels, kSmallestPrnPixels, room, [&](int h) {
        return prnFonts_.At(h).metrics.horizontalAdvance(text);
    });
    if (height == 0) return it->second = {nullptr, 0};
    const Font& font = prnFonts_.At(height);
    return it->second = {&font, font.metrics.horizontalAdvance(text)};
}

void ViewPainter::PaintTabs(QPainter& p, int selected) {
    p.setFont(tabFont_.font);
    for (int i = 0; i < 4; ++i) {
        p.setPen(i == selected ? kGreen : kRed);
        TextBox(p, tabFont_.metrics, tabs_[i], QString::fromLatin1(kTabNames[i]), kLeft | kTop);
    }
}

void ViewPainter::PaintSky(QPainter& p, const GnssState& shown, int selected) {
    const SatelliteEntry* table = SatTable(shown, selected);
    const int n = UsableSatCount(shown, selected);
    const int s = layout_.markerSize;
    p.setFont(satFont_.font);
    for (int i = 0; i < n; ++i) {
        const SatelliteEntry& e = table[i];
        if (e.prn == 0) continue;
        const ViewPoint corner = MarkerCorner(layout_.skyCentre, layout_.skyRadius, e.azimuth, e.elevation);
        const QColor& colour = e.used == 1 ? kBlue : kRed;
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(QRect(corner.x - s, corner.y - s, s, s));
        p.setPen(kWhite);
        TextBox(p, satFont_.metrics, {corner.x - s, corner.y - s + 1, corner.x, corner.y + 1}, Number(e.prn),
                kHCentre | kVCentre);
    }
    p.setBrush(Qt::NoBrush);
}

void ViewPainter::PaintBars(QPainter& p, const GnssState& shown, int selected) {
    const SatelliteEntry* table = SatTable(shown, selected);
    const int n = UsableSatCount(shown, selected);
    const int w = BarHalfWidth(layout_.chart, n);
    const int room = PrnLabelRoom(w);
    const int bottom = layout_.chart.bottom;
    const int c = cell_.height;
    p.setFont(defaultFont_.font);
    for (int i = 0; i < n; ++i) {
        const SatelliteEntry& e = table[i];
        if (e.prn == 0) continue;
        const BarPair bars = Bars(layout_, w, i, e.snr1, e.snr2);
        const bool used = e.used != 0;
        Rectangle(p, bars.first, kWhite, used ? kGreen : kRed);
        Rectangle(p, bars.second, kWhite, used ? kBlue : kRed);
        const int x = bars.slotLeft;
        p.setPen(kGrey);
        if (e.snr1 > 0) {
            TextBox(p, defaultFont_.metrics, {x, bottom + 1 - c - 5, x + w - 1, bottom}, Number(e.snr1),
                    kHCentre | kVCentre);
        }
        if (e.snr2 > 0) {
            TextBox(p, defaultFont_.metrics, {x + w, bottom + 1 - c - 5, x + 2 * w - 3, bottom}, Number(e.snr2),
                    kHCentre | kVCentre);
        }
        const FittedText prn = PrnFont(e.prn, room);
        if (prn.font == nullptr) continue;
        p.setPen(kWhite);
        if (prn.font != &defaultFont_) p.setFont(prn.font->font);
        TextBox(p, prn.font->metrics, {x, bottom + 2, x + w - 1, bottom + 2 + c}, Number(e.prn), kHCentre | kVCentre,
                prn.width);
        if (prn.font != &defaultFont_) p.setFont(defaultFont_.font);
    }
}

}  // namespace sextara::gui
