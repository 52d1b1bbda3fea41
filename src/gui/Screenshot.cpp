#include "gui/Screenshot.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>

#include "decode/GnssDecoder.h"
#include "gui/ViewPainter.h"
#include "platform/AtomicFile.h"
#include "platform/SystemTime.h"
#include "ui/StatusFormat.h"

namespace sextara::gui {

int WriteScreenshot(const ScreenshotOptions& o, std::string& error) {
    GnssState state{};
    if (!o.capture.empty()) {
        // A capture for a picture is minutes of data, never gigabytes.
        constexpr std::size_t kMaxCaptureBytes = 256u << 20;
        std::string bytes;
        if (platform::ReadWholeFile(o.capture, bytes, kMaxCaptureBytes) != platform::FileRead::Ok) {
            error = "cannot read capture '" + o.capture + "'";
            return 2;
        }
        auto decoder = MakeDecoder(o.make, &state);
        if (!decoder) {
            error = "no decoder for make " + std::to_string(o.make);
            return 2;
        }
        constexpr std::size_t kChunk = 2048;  // as the decoding thread hands bytes over
        for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
            const std::size_t n = std::min(kChunk, bytes.size() - at);
            decoder->Input(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at, static_cast<std::uint32_t>(n));
        }
    }
    StatusInputs inputs;
    const platform::UtcTime now = platform::CurrentUtcTime();
    inputs.deviceUtc = {now.year, now.month, now.day, now.hour, now.minute, now.second};
    inputs.selected = static_cast<Constellation>(o.tab);
    int spinner = 0;
    ViewPainter painter;
    painter.SetLanguage(o.language);
    painter.Resize(QSize(o.width, o.height));
    painter.Compose(state, FormatStatus(state, inputs, spinner), o.tab);
    if (!painter.Frame().save(QString::fromStdString(o.output), "PNG")) {
        error = "cannot write '" + o.output + "'";
        return 2;
    }
    return 0;
}

int RunScreenshot(const ScreenshotOptions& options) {
    std::string error;
    std::unique_ptr<QGuiApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        // A picture needs no display: offscreen also when the environment
        // names a display platform that is not there.
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int appArgc = 1;
        static char name[] = "sextara";
        static char* appArgv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(appArgc, appArgv);
    }
    const int code = WriteScreenshot(options, error);
    if (code != 0) std::fprintf(stderr, "sextara: %s\n", error.c_str());
    return code;
}

}  // namespace sextara::gui
