// Main view drawing: one frame (background copy, ten values, tabs, sky plot,
// signal chart, then the copy to the screen) with 20 satellites, and the
// background with its anti-aliased rings, at handheld and desktop sizes.

#include <benchmark/benchmark.h>

#include <cstdlib>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "gui/ViewPainter.h"
#include "ui/StatusFormat.h"

namespace {

using namespace sextara;

GnssState TwentySatellites() {
    GnssState s{};
    s.fixQuality = kFixFixed;
    s.latitude = -45.877591500;
    s.longitude = 170.500124833;
    s.gpsCount = 20;
    s.satellitesTotal = 20;
    for (int i = 0; i < 20; ++i) {
        s.gpsSats[i] = {i + 1, (i * 7) % 90, (i * 37) % 360, 20 + i, 15 + i, static_cast<std::uint8_t>(i % 2)};
    }
    return s;
}

void Frame(benchmark::State& state) {
    const QSize size(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    gui::ViewPainter painter;
    painter.Resize(size);
    const GnssState s = TwentySatellites();
    StatusInputs inputs;
    int spinner = 0;
    QImage screen(size, QImage::Format_RGB32);
    for (auto _ : state) {
        painter.Compose(s, FormatStatus(s, inputs, spinner), 0);
        QPainter p(&screen);
        p.drawImage(0, 0, painter.Frame());
    }
}
BENCHMARK(Frame)->Args({240, 320})->Args({320, 240})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

// Layout, fonts and the whole background, as after a resize or a language change.
void Background(benchmark::State& state) {
    gui::ViewPainter painter;
    painter.Resize(QSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    int language = 0;
    for (auto _ : state) painter.SetLanguage(language ^= 1);
}
BENCHMARK(Background)->Args({240, 320})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

// The two rings alone, pixel by pixel.
void Rings(benchmark::State& state) {
    QImage image(1920, 1080, QImage::Format_RGB32);
    image.fill(Qt::black);
    gui::ImageSurface surface(image);
    for (auto _ : state) {
        for (int r : {280, 140}) SmoothDraw::Ellipse(surface, 490 - r, 280 - r, 490 + r, 280 + r, Rgb(255, 255, 255));
    }
}
BENCHMARK(Rings)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
