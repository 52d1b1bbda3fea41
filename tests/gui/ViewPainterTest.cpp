#include "gui/ViewPainter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "decode/GnssDecoder.h"
#include "decode/ReceiverMakes.h"
#include "platform/AtomicFile.h"
#include "ui/StatusFormat.h"

namespace sextara::gui {
namespace {

GnssState DecodeWhole(const std::string& capture, const char* make) {
    GnssState state{};
    std::string bytes;
    EXPECT_EQ(platform::ReadWholeFile(std::string(SEXTARA_TEST_DATA) + "/" + capture, bytes, 1u << 20),
              platform::FileRead::Ok);
    auto decoder = MakeDecoder(ReceiverTypeFromConfigName(make), &state);
    decoder->Input(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                   static_cast<std::uint32_t>(bytes.size()));
    return state;
}

bool Lit(QRgb p) {
    return qRed(p) > 40 || qGreen(p) > 40 || qBlue(p) > 40;
}

struct Span {
    int first, last;
};

// Rows from top to bottom (exclusive) in which the image has ink at x >= left.
std::vector<Span> InkRows(const QImage& image, int left, int top, int bottom) {
    std::vector<Span> runs;
    for (int y = std::max(top, 0); y < bottom; ++y) {
        bool ink = false;
        for (int x = left; x < image.width() && !ink; ++x) ink = Lit(image.pixel(x, y));
        if (!ink) continue;
        if (!runs.empty() && runs.back().last == y - 1) {
            runs.back().last = y;
        } else {
            runs.push_back({y, y});
        }
    }
    return runs;
}

// Labels come from the background; a value is what the frame adds to it.
void StatusTextStaysApart(const QImage& frame, const QImage& background, const ViewLayout& l) {
    const ViewRect& s = l.status;
    const std::vector<Span> labels = InkRows(background, s.left, 0, l.chart.top);
    ASSERT_EQ(labels.size(), 10u);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        int labelRight = -1, valueLeft = frame.width();
        for (int y = labels[i].first; y <= labels[i].last; ++y) {
            for (int x = s.left; x < frame.width(); ++x) {
                if (Lit(background.pixel(x, y))) labelRight = std::max(labelRight, x);
                if (frame.pixel(x, y) != background.pixel(x, y)) valueLeft = std::min(valueLeft, x);
            }
        }
        EXPECT_GE(valueLeft - labelRight - 1, 2) << "line " << i;  // a space's width, at least two columns
        EXPECT_LT(valueLeft, frame.width()) << "line " << i;
    }
    // The tenth line ends above the chart: no text in the chart above its
    // highest grid line, the bars' tops aside.
    for (int y = l.chart.top + 1; y < GridLineY(l, 4) - 3; ++y) {
        for (int x = s.left; x < l.chart.right; ++x) EXPECT_FALSE(Lit(frame.pixel(x, y))) << x << "," << y;
    }
}

void TabsStayLeftOfThePanel(const QImage& frame, const ViewLayout& l) {
    int passing = 0;
    for (int y = 0; y < l.chart.top; ++y) {
        for (int x = l.status.left; x < frame.width(); ++x) {
            const QRgb p = frame.pixel(x, y);
            passing += (qRed(p) > 100 || qGreen(p) > 100) && qBlue(p) < 60;
        }
    }
    EXPECT_EQ(passing, 0);
}

// Every number under the bars is drawn, and two blank columns part it from
// its neighbours' (one is only the gap between two digits of a number). Each
// slot is 2w wide, the number centred under its first bar.
void SatelliteNumbersStayApart(const QImage& frame, const ViewLayout& l, const GnssState& state) {
    const int n = UsableSatCount(state, 0);
    const int w = BarHalfWidth(l.chart, n);
    ASSERT_GT(w, 0);
    std::map<int, Span> ink;  // by slot
    for (int x = 0; x < frame.width(); ++x) {
        bool lit = false;
        for (int y = l.chart.bottom + 1; y < frame.height() && !lit; ++y) lit = Lit(frame.pixel(x, y));
        if (!lit) continue;
        const int slot = (x - (l.chart.left + (w - 1) / 2 - w) + 2 * w) / (2 * w) - 1;
        auto [it, fresh] = ink.try_emplace(slot, Span{x, x});
        it->second.last = x;
    }
    int numbered = 0;
    for (int i = 0; i < n; ++i) numbered += state.gpsSats[i].prn != 0;
    EXPECT_EQ(static_cast<int>(ink.size()), numbered);
    for (auto it = ink.begin(); std::next(it) != ink.end(); ++it) {
        EXPECT_LT(it->second.last + 3, std::next(it)->second.first) << "slot " << it->first;
    }
}

// Real captures west of 100 degrees: "105°09'12.107"W" and "121°18'..."W" are the
// widest values the panel shows, and the SkyTraq one lists the SBAS satellite 193.
TEST(ViewPainter, TextNeverRunsIntoTextOnWesternCaptures) {
    const struct {
        const char* capture;
        const char* make;
    } captures[] = {{"nmea/hazer/simplertk2b_base.dat", "enBlox9P"},
                    {"nmea/gpsd/skytraq-fix.log", "enSkyTraq"}};
    for (const auto& c : captures) {
        const GnssState state = DecodeWhole(c.capture, c.make);
        ASSERT_LT(state.longitude, -100);
        int spinner = 0;
        const auto values = FormatStatus(state, {}, spinner);
        for (const QSize size : {QSize(240, 320), QSize(320, 240), QSize(480, 640)}) {
            for (int language : {0, 1}) {
                SCOPED_TRACE(testing::Message() << c.capture << " " << size.width() << "x" << size.height()
                                                << " language " << language);
                ViewPainter painter;
                painter.SetLanguage(language);
                painter.Resize(size);
                painter.Compose(state, values, 0);
                const ViewLayout l = ComputeViewLayout(size.width(), size.height());
                StatusTextStaysApart(painter.Frame(), painter.Background(), l);
                TabsStayLeftOfThePanel(painter.Frame(), l);
                SatelliteNumbersStayApart(painter.Frame(), l, state);
            }
        }
    }
}

}  // namespace
}  // namespace sextara::gui
