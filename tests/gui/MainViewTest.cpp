#include "gui/MainView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include "ui/ViewLayout.h"

namespace sextara::gui {
namespace {

bool Is(QRgb p, int r, int g, int b) {
    return qRed(p) == r && qGreen(p) == g && qBlue(p) == b;
}

// Pixels in a rectangle whose colour is mostly the one channel asked for.
int Dominant(const QImage& image, const QRect& r, int channel) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            const int c[3] = {qRed(p), qGreen(p), qBlue(p)};
            n += c[channel] > 200 && c[(channel + 1) % 3] < 60 && c[(channel + 2) % 3] < 60;
        }
    }
    return n;
}

// Four GPS satellites apart in the sky, one-digit numbers so that the
// marker's left part stays clear of its text; the first two used.
GnssState FourSatellites() {
    GnssState s{};
    s.gpsCount = 4;
    const int azimuths[] = {0, 90, 180, 270};
    for (int i = 0; i < 4; ++i) s.gpsSats[i] = {i + 2, 45, azimuths[i], 40, 40, static_cast<std::uint8_t>(i < 2)};
    return s;
}

TEST(MainView, MarkersBarsAndTabsTakeTheirColours) {
    MainView view;
    view.resize(240, 320);
    view.SetSnapshot(FourSatellites(), {});
    const QImage& f = view.Frame();
    ASSERT_EQ(f.size(), QSize(240, 320));
    const ViewLayout l = ComputeViewLayout(240, 320);
    const ViewPoint centre = l.skyCentre;
    const int s = l.markerSize;
    const int w = BarHalfWidth(l.chart, 4);
    const int top = l.chart.bottom + 1 - BarHeight(40, l.scale);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const bool used = i < 2;
        const ViewPoint corner = MarkerCorner(centre, l.skyRadius, FourSatellites().gpsSats[i].azimuth, 45);
        const QRgb marker = f.pixel(corner.x - s + 2, corner.y - s / 2);
        EXPECT_TRUE(used ? Is(marker, 0, 0, 255) : Is(marker, 255, 0, 0));

        const int x = l.chart.left + 2 * w * i;
        EXPECT_TRUE(used ? Is(f.pixel(x + 3, top + 2), 0, 255, 0) : Is(f.pixel(x + 3, top + 2), 255, 0, 0));
        EXPECT_TRUE(used ? Is(f.pixel(x + w + 3, top + 2), 0, 0, 255) : Is(f.pixel(x + w + 3, top + 2), 255, 0, 0));
        EXPECT_TRUE(Is(f.pixel(x + 3, top), 255, 255, 255));  // the outline's top row
        EXPECT_TRUE(Is(f.pixel(x + 3, top - 1), 0, 0, 0));   // and nothing above it
        EXPECT_TRUE(Is(f.pixel(x + w - 2, top + 2), 255, 255, 255));  // right outline of a w - 1 wide bar
        EXPECT_TRUE(Is(f.pixel(x + w - 1, top + 2), 0, 0, 0));        // the gap between the two bars
    }
    for (int tab = 0; tab < 4; ++tab) {
        EXPECT_GT(Dominant(f, view.TabRect(tab), 1), tab == 0 ? 10 : -1) << tab;
        EXPECT_EQ(Dominant(f, view.TabRect(tab), 0) > 10, tab != 0) << tab;
    }
}

void Tap(QWidget& w, QPoint local) {
    // The screen position is far from the view's own: only the latter may count.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(local), QPointF(local + QPoint(700, 500)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
}

TEST(MainView, TapsSelectTabsByTheirPositionInTheView) {
    for (const QSize size : {QSize(240, 320), QSize(320, 240)}) {
        MainView view;
        view.resize(size);
        view.move(300, 200);
        view.show();
        view.SetSnapshot(FourSatellites(), {});
        const QRect bds = view.TabRect(2);
        Tap(view, QPoint(bds.left(), bds.bottom() + 1 + 39));
        EXPECT_EQ(view.SelectedTab(), 2);
        EXPECT_GT(Dominant(view.Frame(), bds, 1), 10);  // repainted green at once
        Tap(view, QPoint(bds.left(), bds.bottom() + 1 + 40 + 30));  // on the chart
        Tap(view, QPoint(size.width() / 2, size.height() - 70));
        EXPECT_EQ(view.SelectedTab(), 2);
        // In landscape GLO's slack may cover GAL's text, and the first hit
        // wins: GAL's own slack below that always selects it.
        const QRect gal = view.TabRect(3);
        Tap(view, QPoint(gal.left(), gal.bottom() + 1 + 39));
        EXPECT_EQ(view.SelectedTab(), 3);
    }
}

TEST(MainView, ResizeLaysOutAgainAndTheHookSeesFixes) {
    MainView view;
    int calls = 0;
    view.onPaintState = [&](const GnssState&) { ++calls; };
    view.resize(320, 240);
    view.show();
    GnssState s = FourSatellites();
    view.SetSnapshot(s, {});
    EXPECT_EQ(calls, 0);  // no fix
    s.fixQuality = kFixSingle;
    view.SetSnapshot(s, {});
    EXPECT_EQ(calls, 1);
    view.resize(800, 600);
    EXPECT_EQ(view.Frame().size(), QSize(800, 600));
    EXPECT_EQ(view.TabRect(0).topLeft(), QPoint(ComputeViewLayout(800, 600).tabOrigin.x,
                                                ComputeViewLayout(800, 600).tabOrigin.y));
    EXPECT_EQ(view.RenderFrame(QSize(240, 320)).size(), QSize(240, 320));
    EXPECT_EQ(view.Frame().size(), QSize(800, 600));
}

}  // namespace
}  // namespace sextara::gui
