// sextara: the program with its window. --demo runs it against sextara-sim
// on a bundled capture; --screenshot draws the main view into a file, without
// a display.

#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSessionManager>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "CommandLine.h"
#include "DisplayCheck.h"
#include "SimProcess.h"
#include "app/AppContext.h"
#include "app/BatteryMonitor.h"
#include "app/DialogPlacement.h"
#include "decode/ReceiverMakes.h"
#include "gui/DialogSupport.h"
#include "gui/MainWindow.h"
#include "gui/Screenshot.h"
#include "gui/SingleInstance.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"

namespace {

using namespace sextara;

constexpr std::string_view kProgram = "sextara";

// The config.ini a new user data folder starts with: the program's defaults.
constexpr const char* kDefaultConfig =
    "[PORT]\nGPSPort=3\nGPSBaud=57600\nDiffPort=4\nDiffBaud=57600\n"
    "[BOARDTYPE]\nType=enOther\n"
    "[LANG]\nLanguage=1\n"
    "[BATTERY]\nBatteryValue=20\n"
    "[COMMAP]\n";

// The demo's receiver unless --make names another.
constexpr const char* kDemoMake = "enSkyTraq";

struct Options {
    std::string home;
    int width = 0;  // 0 x 0: chosen by the screen
    int height = 0;
    bool demo = false;
    std::optional<std::string> capture;
    std::optional<std::string> make;
    gui::ScreenshotOptions shot;  // an output file: the screenshot mode
    tools::GpsdFlags gpsd;
};

// One group per mode; --capture and --make serve the demo and the picture.
// A new flag goes into its mode's group.
void AddOptions(CLI::App& app, Options& opt) {
    auto* window = app.add_option_group("Window", "the normal start: the window on the display");
    window->add_option("--home", opt.home, "data folder (config.ini, settings, Mylog.txt); also SEXTARA_HOME")
        ->type_name("DIR")
        ->check(tools::NotEmpty("needs a folder name"));
    tools::AddSizeOption(*window, "--geometry", opt.width, opt.height, 100, 10000,
                         "window size instead of full screen / 480x640");

    auto* demo = app.add_option_group("Demo",
                                      "the window against sextara-sim playing --capture as a --make "
                                      "receiver; takes the window's options");
    demo->add_flag("--demo", opt.demo, "start sextara-sim on a capture, played in real time");

    auto* capture = app.add_option_group("Capture", "for --demo and --screenshot");
    capture
        ->add_option("--capture", opt.capture,
                     "the capture: played by --demo (default: the bundled one), "
                     "decoded whole by --screenshot")
        ->type_name("FILE")
        ->check(tools::NotEmpty("needs a file name"));
    tools::AddMakeOption(*capture, opt.make, "the capture's receiver make (default with --demo: enSkyTraq)");

    auto* shot = app.add_option_group("Screenshot",
                                      "the main view drawn into a PNG file, of --capture decoded "
                                      "by --make's decoder when given; needs no display, opens "
                                      "no port and leaves the clock alone");
    shot->add_option("--screenshot", opt.shot.output, "the PNG file to write")
        ->type_name("FILE")
        ->check(tools::NotEmpty("needs a file name"));
    tools::AddSizeOption(*shot, "--size", opt.shot.width, opt.shot.height, 1, gui::kMaxScreenshotSide,
                         "the window size the view is laid out for (required)");
    tools::AddNumberOption(*shot, "--tab", opt.shot.tab, 0, 3,
                           "the selected tab: 0 GPS, 1 GLO, 2 BDS, 3 GAL (default 0)");
    tools::AddNumberOption(*shot, "--language", opt.shot.language, 0, 1, "0 Chinese, 1 English (default)")
        ->type_name("0|1");
    tools::AddGpsdOptions(app, opt.gpsd);
}

// The picture takes its own options and the capture's, none of the window's.
std::optional<std::string> ModeProblem(const CLI::App& app, const Options& opt) {
    const bool shot = app.count("--screenshot") > 0;
    for (const char* name : {"--size", "--tab", "--language"}) {
        if (!shot && app.count(name) > 0) return std::string(name) + " goes with --screenshot";
    }
    if (!shot) return std::nullopt;
    for (const char* name : {"--home", "--geometry", "--demo"}) {
        if (app.count(name) > 0) return std::string("--screenshot does not take ") + name;
    }
    if (app.count("--size") == 0) return "--screenshot needs --size WxH";
    if (opt.capture.has_value() != opt.make.has_value()) {
        return "--capture and --make go together with --screenshot";
    }
    return std::nullopt;
}

// Nullopt to go on, otherwise the exit code.
std::optional<int> ReadOptions(int argc, char** argv, Options& opt) {
    CLI::App app(
        "The GNSS receiver's window. Without options it opens the window on the display; --demo runs it "
        "against a simulated receiver; --screenshot draws the main view into a file without a display.",
        std::string(kProgram));
    tools::UseHouseRules(app);
    AddOptions(app, opt);
    if (const auto exit = tools::Parse(app, argc, argv)) return exit;
    if (const auto problem = ModeProblem(app, opt)) return tools::Fail(kProgram, *problem);
    opt.shot.capture = opt.capture.value_or("");
    if (opt.make) opt.shot.make = ReceiverTypeFromConfigName(*opt.make);
    return std::nullopt;
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

void SetUpApplication() {
    QApplication::setApplicationName(QStringLiteral("Sextara"));
    QApplication::setDesktopFileName(QStringLiteral("sextara"));
    QApplication::setWindowIcon(gui::ProgramIcon());
    QApplication::setQuitOnLastWindowClosed(false);
}

void UseDataFolder(const std::string& home) {
    const char* envHome = std::getenv("SEXTARA_HOME");
    if (!home.empty()) {
        platform::SetDataFolder(home);
    } else if (envHome == nullptr || envHome[0] == '\0') {
        platform::SetDataFolder(platform::PrepareDefaultDataFolder(kDefaultConfig));
    }
}

// The window until it closes; the application context saves config.ini when
// it goes down, after the window and the battery monitor.
int RunWindow(QApplication& application, gui::SingleInstance& instance, gui::TerminationSignals& termination,
              const Options& opt, const std::string& simDevice) {
    AppContext app;
    if (opt.gpsd.port) app.config.gpsdPort = *opt.gpsd.port;
    if (opt.gpsd.listen) app.config.gpsdListen = *opt.gpsd.listen;
    if (opt.demo) {
        app.config.GPSPort = 3;
        app.config.GPSBaud = 115200;
        app.config.receiverType = ReceiverTypeFromConfigName(opt.make.value_or(kDemoMake));
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
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (const auto exit = ReadOptions(argc, argv, opt)) return *exit;
    if (!opt.shot.output.empty()) return gui::RunScreenshot(opt.shot);
    // Qt aborts without a display; say what works instead.
    if (const std::string why = tools::MissingDisplay(); !why.empty()) {
        return tools::Fail(kProgram, why +
                                         "; without one, run sextara-headless, or sextara --screenshot FILE "
                                         "--size WxH, which needs no display");
    }

    QApplication application(argc, argv);
    SetUpApplication();
    UseDataFolder(opt.home);
    gui::SingleInstance instance;
    if (instance.AskRunningInstanceToRaise()) return 0;
    instance.Listen();
    gui::TerminationSignals termination;

    tools::SimProcess sim;
    std::string simDevice;
    if (opt.demo) {
        const std::string capture = opt.capture.value_or(DefaultCapture());
        if (capture.empty()) return tools::Fail(kProgram, "--demo needs --capture FILE");
        if (!sim.StartDemo(opt.make.value_or(kDemoMake), capture, 86400, simDevice)) {
            return tools::Fail(kProgram, "cannot start sextara-sim next to this program");
        }
    }
    const int exitCode = RunWindow(application, instance, termination, opt, simDevice);
    sim.Stop();
    return exitCode;
}
