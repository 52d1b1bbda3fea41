// sextara-headless: the application without a display. The sequence (start-up,
// tick, detection, shutdown) is AppCore's; this front end reads its options,
// drives the one-second timer, and prints what the core reports: the main
// view's ten status values each second. --demo runs it against sextara-sim on
// a bundled real capture.

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "CommandLine.h"
#include "HeadlessCorrections.h"
#include "HeadlessOutput.h"
#include "SimProcess.h"
#include "app/AppContext.h"
#include "app/AppCore.h"
#include "app/CorrectionHooks.h"
#include "app/DataForward.h"
#include "app/EventLog.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/QueueMessageSink.h"
#include "platform/SerialDevice.h"
#include "platform/SystemTime.h"
#include "platform/WakeFd.h"
#include "record/RecordFormat.h"
#include "ui/StatusFormat.h"

namespace {

using namespace sextara;

constexpr std::string_view kProgram = "sextara-headless";
// The largest rate or count a flag takes: beyond any line or run.
constexpr std::uint64_t kMaxNumber = 100'000'000;

std::atomic<bool> gStop{false};
// Ends the main loop's sleep between two ticks when a signal or a message of
// the correction job comes.
platform::WakeFd gStopWake;

void OnSignal(int) {
    gStop.store(true);
    gStopWake.Notify();
}

struct Options {
    std::string home;
    std::optional<std::string> make;
    std::optional<int> port;
    std::optional<std::string> device;
    std::optional<int> baud;
    bool detect = false;
    int seconds = 0;  // 0: until a signal
    bool demo = false;
    std::string demoCapture;
    bool record = false;
    std::optional<std::string> recordFolder;
    std::optional<std::string> recordName;
    std::optional<std::string> recordMode;  // "raw" or "normal"
    bool forward = false;
    std::optional<std::string> dataDevice;
    bool syncClock = false;
    bool json = false;
    tools::CorrectionJob corrections;
    tools::GpsdFlags gpsd;
};

// LAT,LON in signed decimal degrees, nothing after.
std::optional<std::pair<double, double>> ReadLatLon(std::string_view text) {
    double lat = 0, lon = 0;
    char tail = 0;
    if (std::sscanf(std::string(text).c_str(), "%lf,%lf%c", &lat, &lon, &tail) != 2) return std::nullopt;
    return std::make_pair(lat, lon);
}

// The common flags first, then one group per job: a new flag goes into its
// job's group.
void AddOptions(CLI::App& app, Options& opt) {
    using tools::AddNumberOption;
    app.add_option("--home", opt.home, "data folder (config.ini, settings, Mylog.txt); also SEXTARA_HOME")
        ->type_name("DIR")
        ->check(tools::NotEmpty("needs a folder name"));
    tools::AddMakeOption(app, opt.make, "receiver make by configuration name (default: config.ini Type)");
    AddNumberOption(app, "--port", opt.port, 1, 255,
                    "COM number of the receiver (default: config.ini GPSPort)");
    app.add_option("--device", opt.device, "device behind that COM number, e.g. /dev/ttyUSB0")
        ->type_name("PATH");
    AddNumberOption(app, "--baud", opt.baud, 1, kMaxNumber, "baud rate (default: config.ini GPSBaud)");
    app.add_flag("--detect", opt.detect, "find the receiver's baud rate by probing before opening");
    AddNumberOption(app, "--seconds", opt.seconds, 0, kMaxNumber,
                    "stop after N seconds (default: until SIGINT/SIGTERM; 20 with --demo)");
    app.add_flag("--demo", opt.demo, "start sextara-sim on a bundled capture and run against it");
    app.add_option("--capture", opt.demoCapture, "the capture --demo plays (default: the bundled one)")
        ->type_name("FILE");

    auto* record = app.add_option_group("Record", "the receiver's data into a file; progress each second");
    record->add_flag("--record", opt.record, "record once the receiver's port is open");
    record->add_option("--record-folder", opt.recordFolder, "its folder (default: the program's)")
        ->type_name("DIR");
    record->add_option("--record-name", opt.recordName, "its base name (default: stored)")->type_name("NAME");
    record->add_option("--record-mode", opt.recordMode, "raw or normal (default: stored)")
        ->type_name("MODE")
        ->check(CLI::IsMember({"raw", "normal"}));

    auto* forward = app.add_option_group("Forward", "the current GGA to the data port (COM1) once a second");
    forward->add_flag("--forward", opt.forward, "send it, for this run only");
    forward->add_option("--data-device", opt.dataDevice, "device behind COM1")->type_name("PATH");

    auto* clock = app.add_option_group("Clock", "the system clock from GNSS time");
    clock->add_flag("--sync-clock", opt.syncClock,
                    "set it at the first fix (needs CAP_SYS_TIME; not with --demo)");

    tools::CorrectionJob& job = opt.corrections;
    auto* caster =
        app.add_option_group("Corrections", "one job per run; caster values override the stored ones");
    caster->add_flag("--ntrip", job.ntrip, "NTRIP client (waits for a fix unless a typed position is used)");
    caster->add_flag("--tcp", job.tcp, "TCP client to the caster address and port");
    caster->add_flag("--sourcetable", job.sourceTable, "fetch and store the caster's source table, print it");
    caster->add_option("--caster", job.caster, "caster address")->type_name("ADDR");
    AddNumberOption(*caster, "--caster-port", job.casterPort, 1, 65535, "caster port");
    caster->add_option("--mount", job.mount, "mount point");
    caster->add_option("--user", job.user, "user name");
    caster->add_option("--password", job.password, "password");
    caster->add_flag("--tls", job.tls, "TLS to the caster (port 443 unless one is given or stored)");
    caster->add_option("--ca-file", job.caFile, "PEM file of the CA that signed the caster's certificate")
        ->type_name("FILE")
        ->check(CLI::ExistingFile);
    caster->add_flag("--json", opt.json, "one JSON object a line on stdout (STATUS, CORRECTIONS); texts on stderr");
    tools::AddReadOption(*caster, "--typed-position", job.typedPosition, ReadLatLon,
                         "needs LAT,LON in decimal degrees",
                         "position for the caster, south and west negative")
        ->type_name("LAT,LON");

    auto* portClient =
        app.add_option_group("Port client", "corrections from a serial port into the receiver");
    AddNumberOption(*portClient, "--port-client", job.portClient, 1, 255, "COM number they come in on");
    AddNumberOption(*portClient, "--port-client-baud", job.portClientBaud, 1, kMaxNumber, "its baud rate")
        ->capture_default_str();
    tools::AddGpsdOptions(app, opt.gpsd);
}

// Nullopt to go on, otherwise the exit code.
std::optional<int> ReadOptions(int argc, char** argv, Options& opt) {
    CLI::App app(
        "The application without a display: the receiver's status once a second, "
        "recording, forwarding and corrections.",
        std::string(kProgram));
    tools::UseHouseRules(app);
    AddOptions(app, opt);
    if (const auto exit = tools::Parse(app, argc, argv)) return exit;
    if (opt.syncClock && opt.demo) {
        return tools::Fail(kProgram, "--sync-clock needs a live receiver, not --demo");
    }
    if (opt.corrections.JobCount() > 1) {
        return tools::Fail(kProgram, "--ntrip, --tcp, --sourcetable and --port-client are one job each");
    }
    return std::nullopt;
}

void InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void UseDataFolder(const std::string& home) {
    if (!home.empty()) platform::SetDataFolder(home);
    if (const std::string why = platform::CheckDataFolder(); !why.empty()) {
        const std::string line =
            "Data folder " + platform::DataFolder() + " " + why + ": settings and the log will not be kept";
        std::fprintf(stderr, "sextara-headless: %s\n", line.c_str());
        AppendLog(line.c_str());
    }
}

// The demo's receiver, and the port, rate and make that reach it unless the
// flags chose others. Nullopt to go on, otherwise the exit code.
std::optional<int> StartDemo(Options& opt, tools::SimProcess& sim) {
    if (opt.seconds == 0) opt.seconds = 20;
    if (opt.demoCapture.empty()) return tools::Fail(kProgram, "--demo needs --capture FILE");
    if (!opt.make) opt.make = "enSkyTraq";
    std::string devicePath;
    if (!sim.StartDemo(*opt.make, opt.demoCapture, opt.seconds + 10, devicePath,
                       tools::JsonOutput() ? stderr : stdout)) {
        return tools::Fail(kProgram, "cannot start sextara-sim next to this program");
    }
    opt.device = devicePath;
    if (!opt.port) opt.port = 3;
    if (!opt.baud) opt.baud = 115200;
    return std::nullopt;
}

void ApplyOptions(AppContext& app, const Options& opt) {
    if (opt.port) app.config.GPSPort = *opt.port;
    if (opt.baud) app.config.GPSBaud = *opt.baud;
    if (opt.make) app.config.receiverType = ReceiverTypeFromConfigName(*opt.make);
    if (opt.device) platform::SetComDevicePath(app.config.GPSPort, *opt.device);
    if (opt.dataDevice) platform::SetComDevicePath(kDataPortNumber, *opt.dataDevice);
    if (opt.recordMode) app.registry.recordDataType = *opt.recordMode == "raw" ? kRecordRaw : kRecordNormal;
    if (opt.gpsd.port) app.config.gpsdPort = *opt.gpsd.port;
    if (opt.gpsd.listen) app.config.gpsdListen = *opt.gpsd.listen;
    // Forwarding for this run only: Run puts the stored switch back at exit.
    if (opt.forward) app.registry.dataTransfer = 1;
}

AppHooks MakeHooks(AppContext& app, const Options& opt) {
    AppHooks hooks;
    AddCorrectionHooks(app, hooks);
    hooks.portOpenFailed = [](const std::string& message, const std::string& reason) {
        std::fprintf(stderr, "sextara-headless: %s (%s)\n", message.c_str(), reason.c_str());
    };
    // Only a live receiver sets the clock, never a replayed capture.
    if (opt.syncClock) hooks.armClockSync = [&app] { app.clockSync.Arm(ClockSync::Request::Explicit); };
    return hooks;
}

void PrintStatus(const AppCore& core, const AppContext& app, ReceiverLink link, int& spinner) {
    StatusInputs in;
    in.ntripConnected = app.correctionLink.Running();
    in.receiverLost = link == ReceiverLink::Lost;
    const platform::UtcTime now = platform::CurrentUtcTime();
    in.deviceUtc = {now.year, now.month, now.day, now.hour, now.minute, now.second};
    if (tools::JsonOutput()) {
        tools::Emit(tools::StatusJson(app.gnss.Snapshot(), in));
        return;
    }
    const auto values = FormatStatus(app.gnss.Snapshot(), in, spinner);
    std::string line;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) line += "  ";
        line += kStatusLabels[i];
        line += ' ';
        line += values[i];
    }
    if (core.Gpsd().Running()) {
        const gpsd::ServerStatus gpsd = core.Gpsd().Status();
        line += "  GPSD clients " + std::to_string(gpsd.clients) + " dropped " + std::to_string(gpsd.drops);
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Shows the detection's progress while the core's worker runs, as the
// start-up dialog would, and takes the rate found into the settings as the
// dialog does. A signal stops the worker. Returns the detector's result.
int Detect(AppCore& core) {
    AppContext& app = core.Context();
    int result = -1;
    platform::QueueMessageSink sink([&](const platform::Message& m) {
        if (m.message != platform::kMsgWorkerProgress) return;
        switch (m.wParam) {
            case platform::kWorkerStatusText: tools::Say("%s", m.text.c_str()); break;
            case platform::kWorkerBaudFound: app.config.GPSBaud = static_cast<int>(m.lParam); break;
            case platform::kWorkerDetectDone: result = static_cast<int>(m.lParam); break;
            default: break;
        }
    });
    sink.SetArrivalWake(&gStopWake);
    if (!core.StartDetection(sink, app.config.GPSPort, app.config.GPSBaud, app.config.receiverType)) return 0;
    while (result < 0 && !gStop.load()) {
        gStopWake.WaitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(1));
        gStopWake.Reset();
        sink.Pump();
    }
    core.StopWorker();
    return result > 0 ? 1 : 0;
}

// Detection, the receiver's port and the recording; the exit code so far.
int StartUp(AppCore& core, const Options& opt) {
    AppContext& app = core.Context();
    if (opt.detect && !Detect(core) && !gStop.load()) {
        std::fprintf(stderr, "sextara-headless: no answer from the receiver at any baud rate\n");
    }
    if (gStop.load()) return 0;
    tools::Say("Receiver %s on COM%d (%s) at %d baud",
                std::string(ConfigNameOf(app.config.receiverType)).c_str(), app.config.GPSPort,
                platform::ComDevicePath(app.config.GPSPort).c_str(), app.config.GPSBaud);
    if (!core.Start() && !opt.corrections.sourceTable) return 1;
    if (core.Gpsd().Running()) {
        tools::Say("gpsd server listening on %s", core.Gpsd().Address().c_str());
    } else if (!core.Gpsd().LastError().empty()) {
        std::fprintf(stderr, "sextara-headless: gpsd server not started: %s\n", core.Gpsd().LastError().c_str());
    }
    if (!opt.record || gStop.load()) return 0;
    const std::string folder = opt.recordFolder ? *opt.recordFolder : app.recordFolder;
    const std::string name = opt.recordName ? *opt.recordName : app.registry.recordName;
    if (!core.StartRecording(folder, name)) {
        std::fprintf(stderr, "sextara-headless: recording not started: %s\n",
                     app.recorder.LastError().c_str());
        return 1;
    }
    tools::Say("Recording %s data to %s", app.recorder.Mode() == kRecordRaw ? "raw" : "normal",
                app.recorder.FilePath().c_str());
    return 0;
}

// The one-second timer until the time is up, a signal, or the correction job
// ends the run. Between two ticks the loop sleeps, woken by a signal or a
// message of the correction job.
int RunLoop(AppCore& core, tools::CorrectionRunner& corrections, const Options& opt) {
    AppContext& app = core.Context();
    tools::RecordPrinter recordPrinter;
    int spinner = 0;
    const auto start = std::chrono::steady_clock::now();
    auto nextTick = start;
    while (!gStop.load()) {
        const auto now = std::chrono::steady_clock::now();
        if (opt.seconds > 0 && now - start >= std::chrono::seconds(opt.seconds)) break;
        if (now >= nextTick) {
            core.Tick();
            if (opt.syncClock) {
                const int pendingBefore = app.clockSync.Pending();
                const bool armedBefore = app.clockSync.Armed();
                if (app.clockSync.OnPaint(app.gnss.Snapshot()) == 0 && pendingBefore != 0) {
                    tools::Say("System clock set from GNSS time");
                } else if (armedBefore && !app.clockSync.Armed()) {
                    tools::Say("%s", app.clockSync.LastRefusal().c_str());
                }
            }
            PrintStatus(core, app, core.Link(), spinner);
            if (opt.record) recordPrinter.Print(app.recorder);
            corrections.Tick();
            nextTick += std::chrono::seconds(1);
        }
        if (corrections.Finished()) return corrections.ExitCode();
        corrections.WaitForMessages(nextTick);
    }
    return 0;
}

// The application context lives for this call: config.ini and the settings
// are saved when it goes down.
int Run(const Options& opt) {
    AppContext app;
    app.LoadLanguage();
    const std::int32_t storedDataTransfer = app.registry.dataTransfer;
    ApplyOptions(app, opt);
    app.CreateDecoder(app.config.receiverType);
    AppCore core(app, MakeHooks(app, opt));
    int exitCode = StartUp(core, opt);
    tools::CorrectionRunner corrections(app, opt.corrections, gStopWake);
    if (exitCode == 0 && !gStop.load() && !corrections.Begin()) exitCode = 1;
    if (exitCode == 0) exitCode = RunLoop(core, corrections, opt);
    const bool wasRecording = app.recorder.IsRecording();
    corrections.End();
    core.Shutdown();
    if (wasRecording && app.recorder.FileGone()) {
        tools::Say("Record stopped: %s", app.recorder.LastEnd().c_str());
    } else if (wasRecording) {
        tools::Say("Record closed: %s, %llu bytes", app.recorder.FilePath().c_str(),
                    static_cast<unsigned long long>(app.recorder.ByteCount()));
    }
    app.registry.dataTransfer = storedDataTransfer;
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
#ifdef SEXTARA_DEMO_CAPTURE
    opt.demoCapture = SEXTARA_DEMO_CAPTURE;
#endif
    if (const auto exit = ReadOptions(argc, argv, opt)) return *exit;
    tools::SetJsonOutput(opt.json);
    InstallSignalHandlers();
    UseDataFolder(opt.home);
    tools::SimProcess sim;
    if (opt.demo) {
        if (const auto exit = StartDemo(opt, sim)) return *exit;
    }
    const int exitCode = Run(opt);
    sim.Stop();
    return exitCode;
}
