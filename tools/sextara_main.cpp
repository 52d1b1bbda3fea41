// sextara: the program with its window. --demo runs it against sextara-sim
// on a bundled capture; --screenshot draws the main view into a file.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSessionManager>

#include "CommandLine.h"
#include "SimProcess.h"
#include "app/AppContext.h"
#include "app/BatteryMonitor.h"
#include "app/DialogPlacement.h"
#include "gui/DialogSupport.h"
#include "gui/MainWindow.h"
#include "gui/SingleInstance.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"

#include "gui/Screenshot.h"

namespace {

using namespace sextara;

// The config.ini a new user data folder starts with: the program's defaults.
constexpr const char* kDefaultConfig =
    "[PORT]\nGPSPort=3\nGPSBaud=57600\nDiffPort=4\nDiffBaud=57600\n"
    "[BOARDTYPE]\nType=enOther\n"
    "[LANG]\nLanguage=1\n"
    "[BATTERY]\nBatteryValue=20\n"
    "[COMMAP]\n";

struct Options {
    std::string home;
    int width = 0;
    int height = 0;
    bool demo = false;
    std::string capture;
    std::string make = "enSkyTraq";
    // The gpsd-protocol server; the port overrides config.ini's [GPSD] Port.
    std::optional<int> gpsdPort;
    std::optional<std::string> gpsdListen;
};

void Usage(std::FILE* to) {
    std::fputs(
        "usage: sextara [--home DIR] [--geometry WxH] [--gpsd-port P [--gpsd-listen ADDR]]\n"
        "       sextara --demo [--capture FILE --make NAME] [--home DIR] [--geometry WxH]\n"
#ifdef SEXTARA_HAS_SCREENSHOT
        "       sextara --screenshot ...   (the main view drawn into a file)\n"
#endif

        "  --home DIR       data folder (config.ini, settings, Mylog.txt); also SEXTARA_HOME\n"
        "  --geometry WxH   window size instead of full screen / 480x640\n"
        "  --demo           start sextara-sim on a bundled capture and run against it\n"
        "  --gpsd-port P    serve the gpsd protocol on TCP port P (0 off; default config.ini [GPSD] Port)\n"
        "  --gpsd-listen ADDR  address of that server (default 127.0.0.1)\n",
        to);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "sextara: %s\n", message.c_str());
    return 2;
}

bool ParseGeometry(std::string_view text, int& width, int& height) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    const std::string w(text.substr(0, x)), h(text.substr(x + 1));
    char* end = nullptr;
    const long wv = std::strtol(w.c_str(), &end, 10);
    if (w.empty() || *end != '\0') return false;
    const long hv = std::strtol(h.c_str(), &end, 10);
    if (h.empty() || *end != '\0' || wv < 100 || hv < 100 || wv > 10000 || hv > 10000) return false;
    width = static_cast<int>(wv);
    height = static_cast<int>(hv);
    return true;
}

bool ParsePort(std::string_view text, std::optional<int>& port) {
    std::uint64_t value = 0;
    if (!tools::ParseDecimal(text, value, 5) || value > 65535) return false;
    port = static_cast<int>(value);
    return true;
}

// The bundled capture: installed under share/sextara, else the source tree's.
std::string DefaultCapture() {
    const std::string installed = platform::ProgramDirectory() + "/../share/sextara/skytraq-dgps.log";
    std::error_code error;
    if (std::filesystem::exists(installed, error)) return installed;
#ifdef SEXTARA_DEMO_CAPTURE
    return SEXTARA_DEMO_CAPTURE;
#else
    return {};
#endif
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--screenshot") {
            return gui::RunScreenshot(argc, argv);
        }
    }
    Options opt;
    opt.capture = DefaultCapture();
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--demo") {
            opt.demo = true;
        } else if (arg == "--home" && next) {
            opt.home = next;
            ++i;
        } else if (arg == "--capture" && next) {
            opt.capture = next;
            ++i;
        } else if (arg == "--make" && next) {
            opt.make = next;
            ++i;
        } else if (arg == "--geometry" && next && ParseGeometry(next, opt.width, opt.height)) {
            ++i;
        } else if (arg == "--gpsd-port" && next && ParsePort(next, opt.gpsdPort)) {
            ++i;
        } else if (arg == "--gpsd-listen" && next && next[0] != '\0') {
            opt.gpsdListen = next;
            ++i;
        } else {
            Usage(stderr);
            return Fail("bad argument '" + std::string(arg) + "'");
        }
    }
    const ReceiverType demoMake = ReceiverTypeFromConfigName(opt.make);
    if (opt.demo && ConfigNameOf(demoMake) != opt.make) return Fail("unknown make '" + opt.make + "'");

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sextara"));
    QApplication::setDesktopFileName(QStringLiteral("sextara"));
    QApplication::setWindowIcon(gui::ProgramIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    const char* envHome = std::getenv("SEXTARA_HOME");
    if (!opt.home.empty()) {
        platform::SetDataFolder(opt.home);
    } else if (envHome == nullptr || envHome[0] == '\0') {
        platform::SetDataFolder(platform::PrepareDefaultDataFolder(kDefaultConfig));
    }

    gui::SingleInstance instance;
    if (instance.AskRunningInstanceToRaise()) return 0;
    instance.Listen();
    gui::TerminationSignals termination;

    tools::SimProcess sim;
    std::string simDevice;
    if (opt.demo) {
        if (opt.capture.empty()) return Fail("--demo needs --capture FILE");
        if (!sim.Start(platform::ProgramDirectory() + "/sextara-sim",
                       {"--make", opt.make, "--baud", "115200", "--epochs", "--duration", "86400", opt.capture},
                       simDevice)) {
            return Fail("cannot start sextara-sim next to this program");
        }
        std::printf("Demo: simulated %s receiver at 115200 baud on %s, streaming %s\n", opt.make.c_str(),
                    simDevice.c_str(), opt.capture.c_str());
        std::fflush(stdout);
    }

    int exitCode = 0;
    {
        AppContext app;
        if (opt.gpsdPort) app.config.gpsdPort = *opt.gpsdPort;
        if (opt.gpsdListen) app.config.gpsdListen = *opt.gpsdListen;
        if (opt.demo) {
            app.config.GPSPort = 3;
            app.config.GPSBaud = 115200;
            app.config.receiverType = demoMake;
            platform::SetComDevicePath(3, simDevice);
        }
        BatteryMonitor battery(app.config.batteryValue);
        gui::MainWindow::Options windowOptions;
        windowOptions.clockSync = !opt.demo;
        gui::MainWindow window(app, battery, windowOptions);

        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize screenSize = screen ? screen->size() : QSize(480, 640);
        const WindowSizeChoice size =
            ChooseWindowSize(screenSize.width(), screenSize.height(), opt.width, opt.height);
        window.resize(size.width, size.height);
        if (size.fullScreen) {
            window.showFullScreen();
        } else {
            window.show();
        }

        QObject::connect(&window, &gui::MainWindow::closed, &application, &QCoreApplication::quit);
        QObject::connect(&termination, &gui::TerminationSignals::terminationRequested, &window,
                         &gui::MainWindow::RequestClose);
        QObject::connect(&instance, &gui::SingleInstance::raiseRequested, &window, &gui::MainWindow::Raise);
        // A desktop session that ends may not wait for the close: save now.
        QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                         [&window](QSessionManager&) { window.SaveSettings(); });
        QObject::connect(&application, &QCoreApplication::aboutToQuit, &window, [&window] { window.Shutdown(); });
        exitCode = QApplication::exec();
    }  // window, battery monitor, then the application context (saving config.ini)
    sim.Stop();
    return exitCode;
}
