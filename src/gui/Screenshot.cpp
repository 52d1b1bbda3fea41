#include "gui/Screenshot.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>

#include "decode/GnssDecoder.h"
#include "gui/ViewPainter.h"
#include "platform/AtomicFile.h"
#include "platform/SystemTime.h"
#include "decode/ReceiverMakes.h"
#include "ui/StatusFormat.h"

namespace sextara::gui {
namespace {

bool ParseInt(std::string_view text, int maxValue, int& out) {
    if (text.empty() || text.size() > 9) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value > maxValue) return false;
    out = value;
    return true;
}

bool ParseSize(std::string_view text, int& width, int& height) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    return ParseInt(text.substr(0, x), kMaxScreenshotSide, width) &&
           ParseInt(text.substr(x + 1), kMaxScreenshotSide, height) && width > 0 && height > 0;
}

int MakeByName(std::string_view name) {
    const ReceiverType type = ReceiverTypeFromConfigName(name);
    return ConfigNameOf(type) == name ? type : -1;
}

}  // namespace

bool ParseScreenshotArgs(int argc, char** argv, ScreenshotOptions& out, std::string& error) {
    out = ScreenshotOptions{};
    bool sized = false, named = false, haveMake = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need = [&](const char* what) {
            error = std::string(argv[i]) + " needs " + what;
            return false;
        };
        if (arg == "--screenshot") {
            if (!value) return need("a file name");
            out.output = value;
            named = true;
        } else if (arg == "--size") {
            if (!value || !ParseSize(value, out.width, out.height)) {
                error = "--size takes WxH, each 1.." + std::to_string(kMaxScreenshotSide);
                return false;
            }
            sized = true;
        } else if (arg == "--capture") {
            if (!value) return need("a file name");
            out.capture = value;
        } else if (arg == "--make") {
            if (!value || (out.make = MakeByName(value)) < 0) {
                error = "--make takes a make's configuration name (enNovtel ... enBlox9P)";
                return false;
            }
            haveMake = true;
        } else if (arg == "--tab") {
            if (!value || !ParseInt(value, 3, out.tab)) {
                error = "--tab takes 0 (GPS), 1 (GLO), 2 (BDS) or 3 (GAL)";
                return false;
            }
        } else if (arg == "--language") {
            if (!value || !ParseInt(value, 1, out.language)) {
                error = "--language takes 0 (Chinese) or 1 (English)";
                return false;
            }
        } else {
            error = "unknown argument '" + std::string(arg) + "'";
            return false;
        }
        ++i;
    }
    if (!named || out.output.empty()) {
        error = "--screenshot needs a file name";
        return false;
    }
    if (!sized) {
        error = "--size WxH is required";
        return false;
    }
    if (out.capture.empty() != !haveMake) {
        error = "--capture and --make go together";
        return false;
    }
    return true;
}

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

int RunScreenshot(int argc, char** argv) {
    ScreenshotOptions options;
    std::string error;
    if (!ParseScreenshotArgs(argc, argv, options, error)) {
        std::fprintf(stderr,
                     "sextara: %s\nusage: sextara --screenshot FILE --size WxH [--capture FILE --make NAME] "
                     "[--tab N] [--language 0|1]\n",
                     error.c_str());
        return 2;
    }
    std::unique_ptr<QGuiApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
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
