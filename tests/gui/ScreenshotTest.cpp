#include "gui/Screenshot.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <vector>

#include "support/RunProgram.h"
#include "ui/ViewLayout.h"

namespace sextara::gui {
namespace {

// The program's screenshot mode, as a script runs it; error gets its stderr.
int Shoot(const std::vector<std::string>& args, std::string& error) {
    const test::ProgramRun run = test::RunProgram(SEXTARA_BIN, args);
    error = run.err;
    return run.exitCode;
}

const std::string kCapture = std::string(SEXTARA_TEST_DATA) + "/nmea/gpsd/ublox-zed-f9p-nmea.log";

TEST(Screenshot, RealCaptureInBothOrientations) {
    QTemporaryDir dir;
    for (const auto& [w, h] : {std::pair{240, 320}, std::pair{320, 240}}) {
        SCOPED_TRACE(w);
        const std::string file = dir.filePath("view.png").toStdString();
        std::string error;
        ASSERT_EQ(Shoot({"--screenshot", file, "--size", std::to_string(w) + "x" + std::to_string(h), "--capture",
                       kCapture, "--make", "enBlox9P", "--tab", "1", "--language", "0"},
                      error),
                  0)
            << error;
        const QImage image(QString::fromStdString(file));
        ASSERT_EQ(image.size(), QSize(w, h));
        const ViewLayout l = ComputeViewLayout(w, h);
        const ViewRect& c = l.chart;
        for (const auto& [x, y] : {std::pair{c.left, c.top}, std::pair{c.right, c.bottom}, std::pair{c.left, c.bottom}}) {
            EXPECT_EQ(image.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
        }
        EXPECT_EQ(image.pixel(c.left + 1, c.top + 1), qRgb(0, 0, 0));
        EXPECT_EQ(image.pixel(w - 1, h - 1), qRgb(0, 0, 0));  // the menu and caption rows stay free
        // GLONASS is selected: its tab has green and the capture's GLONASS satellites have bars.
        int green = 0, bars = 0;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const QRgb p = image.pixel(x, y);
                if (qGreen(p) > 200 && qRed(p) < 60 && qBlue(p) < 60) (y < c.top ? green : bars)++;
            }
        }
        EXPECT_GT(green, 10);
        EXPECT_GT(bars, 50);
    }
}

TEST(Screenshot, BadArgumentsAndUnreadableCaptureGiveTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"--screenshot", "/tmp/x.png"},
        {"--screenshot", "/tmp/x.png", "--size", "240"},
        {"--screenshot", "/tmp/x.png", "--size", "0x10"},
        {"--screenshot", "/tmp/x.png", "--size", "240x320", "--capture", kCapture},
        {"--screenshot", "/tmp/x.png", "--size", "240x320", "--capture", kCapture, "--make", "enNone"},
        {"--screenshot", "/tmp/x.png", "--size", "240x320", "--tab", "4"},
        {"--screenshot", "/tmp/x.png", "--size", "240x320", "--language", "2"},
        {"--screenshot", "/tmp/x.png", "--size", "240x320", "--port", "3"},
        {"--screenshot", "/tmp/x.png", "--size", "240x320", "--capture", "/nonexistent", "--make", "enBlox9P"},
        {"--screenshot", "/nonexistent/dir/x.png", "--size", "240x320"},
    };
    for (const auto& args : bad) {
        std::string error;
        EXPECT_EQ(Shoot(args, error), 2) << args.back();
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace sextara::gui
