// sextara-headless: the application without a display. The sequence (start-up,
// tick, detection, shutdown) is AppCore's; this front end parses its
// arguments, drives the one-second timer, and prints what the core reports:
// the main view's ten status values each second. --demo runs it against
// sextara-sim on a bundled real capture.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "SimProcess.h"
#include "app/AppContext.h"
#include "app/AppCore.h"
#include "app/DataForward.h"
#include "app/CorrectionHooks.h"
#include "app/CorrectionPages.h"
#include "corrections/NetworkBringUp.h"
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
using tools::SimProcess;

std::atomic<bool> gStop{false};
// Ends the main loop's sleep between two ticks when a signal comes.
platform::WakeFd gStopWake;

void OnSignal(int) {
    gStop.store(true);
    gStopWake.Notify();
}

struct Options {
    std::optional<std::string> make;
    std::optional<int> port;
    std::optional<std::string> device;
    std::optional<int> baud;
    bool detect = false;
    bool demo = false;
    std::string home;
    int seconds = 0;  // 0: until a signal
    std::string demoCapture;
    std::string demoMake = "enSkyTraq";
    bool record = false;
    std::optional<std::string> recordFolder;
    std::optional<std::string> recordName;
    std::optional<int> recordMode;
    bool forward = false;
    std::optional<std::string> dataDevice;
    bool syncClock = false;

    // Correction jobs; the caster values override the stored ones for this
    // run only.
    bool ntrip = false;
    bool sourceTable = false;
    bool tcp = false;
    std::optional<int> portClient;
    int portClientBaud = 19200;
    std::optional<std::string> caster;
    std::optional<int> casterPort;
    std::optional<std::string> mount;
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::optional<std::pair<double, double>> typedPosition;
};

void Usage(std::FILE* to) {
    std::fputs(
        "usage: sextara-headless [--home DIR] [--make NAME] [--port N] [--device PATH]\n"
        "                        [--baud N] [--detect] [--seconds N]\n"
        "                        [--record [--record-folder DIR] [--record-name NAME]\n"
        "                                  [--record-mode raw|normal]]\n"
        "                        [--forward [--data-device PATH]] [--sync-clock]\n"
        "       sextara-headless --demo [--seconds N] [--capture FILE --make NAME]\n"
        "  --home DIR     data folder (config.ini, settings, Mylog.txt); also SEXTARA_HOME\n"
        "  --make NAME    receiver make by configuration name (default: config.ini Type)\n"
        "  --port N       COM number of the receiver (default: config.ini GPSPort)\n"
        "  --device PATH  device behind that COM number, e.g. /dev/ttyUSB0\n"
        "  --baud N       baud rate (default: config.ini GPSBaud)\n"
        "  --detect       find the receiver's baud rate by probing before opening\n"
        "  --seconds N    stop after N seconds (default: run until SIGINT/SIGTERM)\n"
        "  --demo         start sextara-sim on a bundled capture and run against it\n"
        "  --record       record the receiver's data once the port is open; status,\n"
        "                 duration and size are printed each second\n"
        "  --record-folder DIR, --record-name NAME, --record-mode raw|normal\n"
        "                 folder, base name and mode of the record file (default: the\n"
        "                 program's directory and the stored name and mode)\n"
        "  --forward      send the current GGA to the data port (COM1) once a second\n"
        "  --data-device PATH  device behind COM1\n"
        "  --sync-clock   set the system clock from the first fix (needs CAP_SYS_TIME)\n"
        "       sextara-headless [...] --ntrip|--tcp|--sourcetable [--caster ADDR] [--caster-port N]\n"
        "                        [--mount M] [--user U] [--password P] [--typed-position LAT,LON]\n"
        "       sextara-headless [...] --port-client N [--port-client-baud B]\n"
        "  --ntrip        NTRIP client with the stored caster settings (waits for a fix\n"
        "                 unless a typed position is used)\n"
        "  --tcp          TCP client to the caster address and port\n"
        "  --sourcetable  fetch and store the caster's source table, print its mount points\n"
        "  --caster ... --typed-position  override the stored caster settings for this run\n"
        "  --port-client N  corrections from COM N (default 19200 baud) into the receiver\n",
        to);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "sextara-headless: %s\n", message.c_str());
    return 2;
}

bool ParseInt(const char* text, int& out) {
    if (!text || !*text) return false;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0 || value > 100000000) return false;
    out = static_cast<int>(value);
    return true;
}

void PrintStatus(const AppContext& app, ReceiverLink link, int& spinner) {
    StatusInputs in;
    in.ntripConnected = app.correctionLink.Running();
    in.receiverLost = link == ReceiverLink::Lost;
    const platform::UtcTime now = platform::CurrentUtcTime();
    in.deviceUtc = {now.year, now.month, now.day, now.hour, now.minute, now.second};
    const auto values = FormatStatus(app.gnss.Snapshot(), in, spinner);
    std::string line;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) line += "  ";
        line += kStatusLabels[i];
        line += ' ';
        line += values[i];
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
            case platform::kWorkerStatusText:
                std::printf("%s\n", m.text.c_str());
                std::fflush(stdout);
                break;
            case platform::kWorkerBaudFound: app.config.GPSBaud = static_cast<int>(m.lParam); break;
            case platform::kWorkerDetectDone: result = static_cast<int>(m.lParam); break;
            default: break;
        }
    });
    if (!core.StartDetection(sink, app.config.GPSPort, app.config.GPSBaud, app.config.receiverType)) return 0;
    while (result < 0 && !gStop.load()) sink.WaitAndDispatch(std::chrono::milliseconds(100));
    core.StopWorker();
    return result > 0 ? 1 : 0;
}

// The recording page's three values, once a second: status with its dots,
// duration, size; and once why a recording ended by itself.
class RecordPrinter {
public:
    void Print(const RawRecorder& recorder) {
        if (recorder.IsRecording()) {
            std::printf("Record %-12s %s %s\n", RecordStatusText("Recording", phase_).c_str(),
                        RecordDurationText(recorder.Seconds()).c_str(), RecordSizeText(recorder.ByteCount()).c_str());
        } else if (!endShown_) {
            endShown_ = true;
            std::printf("Record stopped: %s (%s, %s)\n", recorder.LastEnd().c_str(),
                        RecordDurationText(recorder.Seconds()).c_str(), RecordSizeText(recorder.ByteCount()).c_str());
        }
        std::fflush(stdout);
    }

private:
    int phase_ = 0;
    bool endShown_ = false;
};

// The correction jobs as the page runs them (NtripPageModel), printing the
// page's status texts as they change and the byte counter once a second.
class Corrections {
public:
    Corrections(AppContext& app, const Options& opt)
        : app_(app),
          opt_(opt),
          model_(NtripPageModel::Deps{
              .link = app.correctionLink,
              .ensureNetwork = [](std::string_view address) { return corrections::EnsureNetwork(address); },
              .sendDiffInput = [&app] { SendDiffInputCommands(app); },
              .state = [&app] { return app.gnss.Snapshot(); },
              .saveOnStart = !Overridden(opt),
          }),
          sink_([this](const platform::Message& m) { Show(model_.OnMessage(m.message)); }) {}

    static bool Overridden(const Options& opt) {
        return opt.caster || opt.casterPort || opt.mount || opt.user || opt.password || opt.typedPosition;
    }

    // Starts the job; false when it cannot run at all.
    bool Begin() {
        if (opt_.portClient) {
            if (!app_.portClient.Open(*opt_.portClient, opt_.portClientBaud)) {
                std::fprintf(stderr, "sextara-headless: %s (%s)\n", app_.strings.String(73).c_str(),
                             app_.clientPort.LastOpenError().c_str());
                return false;
            }
            std::printf("PORT client: COM%d (%s) at %d baud\n", *opt_.portClient,
                        platform::ComDevicePath(*opt_.portClient).c_str(), opt_.portClientBaud);
            return true;
        }
        if (!opt_.ntrip && !opt_.tcp && !opt_.sourceTable) return true;
        corrections::CasterSettings s = app_.correctionLink.Settings();
        if (opt_.caster) s.casterAddress = *opt_.caster;
        if (opt_.casterPort) s.port = static_cast<std::uint32_t>(*opt_.casterPort);
        if (opt_.mount) s.mountPoint = *opt_.mount;
        if (opt_.user) s.user = *opt_.user;
        if (opt_.password) s.password = *opt_.password;
        if (opt_.typedPosition) {
            s.useTypedPosition = true;
            s.typed.latitude = std::fabs(opt_.typedPosition->first);
            s.typed.northSouth = opt_.typedPosition->first < 0 ? "S" : "N";
            s.typed.longitude = std::fabs(opt_.typedPosition->second);
            s.typed.eastWest = opt_.typedPosition->second < 0 ? "W" : "E";
        }
        if (const auto problem = corrections::ValidateCasterSettings(s)) {
            std::fprintf(stderr, "sextara-headless: %s\n", problem->c_str());
            return false;
        }
        app_.correctionLink.SetSettings(s);
        app_.correctionMode = opt_.tcp ? 2 : 1;
        model_.Open(opt_.tcp, app_.config.effectiveLanguage, &sink_);
        std::printf("%s: %s\n", opt_.tcp ? "TCP client" : opt_.sourceTable ? "Source table of" : "NTRIP client",
                    model_.GetView().address.c_str());
        started_ = TryStart();
        return !finished_ || exitCode_ == 0;
    }

    void Tick() {
        if (opt_.portClient) {
            std::printf("Received: %s\n", FormatByteTotal(app_.portClient.BytesReceived()).c_str());
            std::fflush(stdout);
            return;
        }
        if (!model_.IsOpen()) return;
        if (!started_) {
            started_ = TryStart();
            return;
        }
        model_.Tick();
        ShowStatus();
        if (model_.GetView().timer) {
            std::printf("Received: %s\n", model_.GetView().counter.c_str());
            std::fflush(stdout);
        }
    }

    void WaitForMessages(std::chrono::milliseconds wait) {
        if (model_.IsOpen()) {
            sink_.WaitAndDispatch(wait);
        } else {
            std::this_thread::sleep_for(wait);
        }
    }

    // A correction job whose messages the loop must dispatch as they come.
    bool Running() const { return model_.IsOpen(); }
    bool Finished() const { return finished_; }
    int ExitCode() const { return exitCode_; }

    void End() {
        model_.Close();
        sink_.Shutdown();
    }

private:
    // Like the page's Start; without a fix (message 60) it is tried again
    // on the next tick, the text printed once.
    bool TryStart() {
        const auto prompt = model_.Start(opt_.sourceTable ? std::string(kUpdateSourceTable)
                                                          : app_.correctionLink.Settings().mountPoint);
        if (prompt && prompt->stringId == 60) {
            if (!waitingForFix_) PrintLine(app_.strings.String(60));
            waitingForFix_ = true;
            return false;
        }
        Show(prompt);
        return true;
    }

    void Show(const std::optional<PagePrompt>& prompt) {
        ShowStatus();
        if (!prompt) return;
        PrintLine(prompt->stringId != 0 ? app_.strings.String(prompt->stringId) : prompt->text);
        if (prompt->stringId == 59 || prompt->stringId == 0) Finish(1);
        if (opt_.sourceTable && prompt->stringId == 61) {
            for (const auto& e : app_.correctionLink.Entries()) {
                std::printf("%s\t%s\t%s\t%s\t%.2f\t%.2f\t%d\n", e.mountPoint.c_str(), e.identifier.c_str(),
                            e.format.c_str(), e.navSystem.c_str(), e.latitude, e.longitude, e.nmea);
            }
            std::fflush(stdout);
            Finish(0);
        }
        if (opt_.sourceTable && prompt->stringId == 62) Finish(1);
    }

    void ShowStatus() {
        const std::string& status = model_.GetView().status;
        if (status == lastStatus_) return;
        lastStatus_ = status;
        if (!status.empty()) PrintLine("Status: " + status);
    }

    static void PrintLine(const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }

    void Finish(int code) {
        finished_ = true;
        exitCode_ = code;
    }

    AppContext& app_;
    const Options& opt_;
    NtripPageModel model_;
    platform::QueueMessageSink sink_;
    bool started_ = false;
    bool waitingForFix_ = false;
    bool finished_ = false;
    int exitCode_ = 0;
    std::string lastStatus_;
};

std::string SiblingProgram(const char* name) { return platform::ProgramDirectory() + "/" + name; }

}  // namespace

int main(int argc, char** argv) {
    Options opt;
#ifdef SEXTARA_DEMO_CAPTURE
    opt.demoCapture = SEXTARA_DEMO_CAPTURE;
#endif
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        int number = 0;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--detect") {
            opt.detect = true;
        } else if (arg == "--demo") {
            opt.demo = true;
        } else if (arg == "--record") {
            opt.record = true;
        } else if (arg == "--record-folder" && next) {
            opt.recordFolder = next;
            ++i;
        } else if (arg == "--record-name" && next) {
            opt.recordName = next;
            ++i;
        } else if (arg == "--record-mode" && next && (std::string_view(next) == "raw" || std::string_view(next) == "normal")) {
            opt.recordMode = std::string_view(next) == "raw" ? kRecordRaw : kRecordNormal;
            ++i;
        } else if (arg == "--forward") {
            opt.forward = true;
        } else if (arg == "--data-device" && next) {
            opt.dataDevice = next;
            ++i;
        } else if (arg == "--sync-clock") {
            opt.syncClock = true;
        } else if (arg == "--make" && next) {
            opt.make = next;
            ++i;
        } else if (arg == "--device" && next) {
            opt.device = next;
            ++i;
        } else if (arg == "--home" && next) {
            // An empty name would silently mean the program's own folder.
            if (next[0] == '\0') return Fail("--home needs a folder name");
            opt.home = next;
            ++i;
        } else if (arg == "--capture" && next) {
            opt.demoCapture = next;
            ++i;
        } else if (arg == "--port" && ParseInt(next, number) && number >= 1 && number <= 255) {
            opt.port = number;
            ++i;
        } else if (arg == "--baud" && ParseInt(next, number) && number > 0) {
            opt.baud = number;
            ++i;
        } else if (arg == "--ntrip") {
            opt.ntrip = true;
        } else if (arg == "--tcp") {
            opt.tcp = true;
        } else if (arg == "--sourcetable") {
            opt.sourceTable = true;
        } else if (arg == "--caster" && next) {
            opt.caster = next;
            ++i;
        } else if (arg == "--caster-port" && ParseInt(next, number)) {
            opt.casterPort = number;
            ++i;
        } else if (arg == "--mount" && next) {
            opt.mount = next;
            ++i;
        } else if (arg == "--user" && next) {
            opt.user = next;
            ++i;
        } else if (arg == "--password" && next) {
            opt.password = next;
            ++i;
        } else if (arg == "--typed-position" && next) {
            double lat = 0, lon = 0;
            char tail = 0;
            if (std::sscanf(next, "%lf,%lf%c", &lat, &lon, &tail) != 2) {
                return Fail("--typed-position needs LAT,LON in decimal degrees");
            }
            opt.typedPosition = std::make_pair(lat, lon);
            ++i;
        } else if (arg == "--port-client" && ParseInt(next, number) && number >= 1 && number <= 255) {
            opt.portClient = number;
            ++i;
        } else if (arg == "--port-client-baud" && ParseInt(next, number) && number > 0) {
            opt.portClientBaud = number;
            ++i;
        } else if (arg == "--seconds" && ParseInt(next, number)) {
            opt.seconds = number;
            ++i;
        } else {
            Usage(stderr);
            return Fail("bad argument '" + std::string(arg) + "'");
        }
    }
    if (opt.syncClock && opt.demo) return Fail("--sync-clock needs a live receiver, not --demo");
    if (int(opt.ntrip) + int(opt.tcp) + int(opt.sourceTable) + int(opt.portClient.has_value()) > 1) {
        return Fail("--ntrip, --tcp, --sourcetable and --port-client are one job each");
    }
    std::optional<ReceiverType> make;
    if (opt.make) {
        const ReceiverType type = ReceiverTypeFromConfigName(*opt.make);
        if (ConfigNameOf(type) != *opt.make) return Fail("unknown make '" + *opt.make + "'");
        make = type;
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (!opt.home.empty()) platform::SetDataFolder(opt.home);
    if (const std::string why = platform::CheckDataFolder(); !why.empty()) {
        const std::string line = "Data folder " + platform::DataFolder() + " " + why +
                                 ": settings and the log will not be kept";
        std::fprintf(stderr, "sextara-headless: %s\n", line.c_str());
        AppendLog(line.c_str());
    }

    SimProcess sim;
    if (opt.demo) {
        if (opt.seconds == 0) opt.seconds = 20;
        if (opt.demoCapture.empty()) return Fail("--demo needs --capture FILE");
        const std::string demoMake = opt.make ? *opt.make : opt.demoMake;
        std::string devicePath;
        if (!sim.Start(SiblingProgram("sextara-sim"),
                       {"--make", demoMake, "--baud", "115200", "--epochs", "--duration", std::to_string(opt.seconds + 10),
                        opt.demoCapture},
                       devicePath)) {
            return Fail("cannot start sextara-sim next to this program");
        }
        std::printf("Demo: simulated %s receiver at 115200 baud on %s, streaming %s\n", demoMake.c_str(),
                    devicePath.c_str(), opt.demoCapture.c_str());
        opt.device = devicePath;
        if (!opt.port) opt.port = 3;
        if (!opt.baud) opt.baud = 115200;
        if (!make) make = ReceiverTypeFromConfigName(demoMake);
    }

    int exitCode = 0;
    {
        AppContext app;
        app.LoadLanguage();
        if (opt.port) app.config.GPSPort = *opt.port;
        if (opt.baud) app.config.GPSBaud = *opt.baud;
        if (make) app.config.receiverType = *make;
        if (opt.device) platform::SetComDevicePath(app.config.GPSPort, *opt.device);
        if (opt.dataDevice) platform::SetComDevicePath(kDataPortNumber, *opt.dataDevice);
        if (opt.recordMode) app.registry.recordDataType = *opt.recordMode;
        // Forwarding for this run only: the stored switch is put back at exit.
        const std::int32_t storedDataTransfer = app.registry.dataTransfer;
        if (opt.forward) app.registry.dataTransfer = 1;

        app.CreateDecoder(app.config.receiverType);

        AppHooks hooks;
        AddCorrectionHooks(app, hooks);
        hooks.portOpenFailed = [](const std::string& message, const std::string& reason) {
            std::fprintf(stderr, "sextara-headless: %s (%s)\n", message.c_str(), reason.c_str());
        };
        // Only a live receiver sets the clock, never a replayed capture.
        if (opt.syncClock) hooks.armClockSync = [&app] { app.clockSync.Arm(); };
        AppCore core(app, std::move(hooks));
        if (opt.detect && !Detect(core) && !gStop.load()) {
            std::fprintf(stderr, "sextara-headless: no answer from the receiver at any baud rate\n");
        }
        if (!gStop.load()) {
            std::printf("Receiver %s on COM%d (%s) at %d baud\n",
                        std::string(ConfigNameOf(app.config.receiverType)).c_str(), app.config.GPSPort,
                        platform::ComDevicePath(app.config.GPSPort).c_str(), app.config.GPSBaud);
            if (!core.Start() && !opt.sourceTable) exitCode = 1;
        }
        if (exitCode == 0 && opt.record && !gStop.load()) {
            const std::string folder = opt.recordFolder ? *opt.recordFolder : app.recordFolder;
            const std::string name = opt.recordName ? *opt.recordName : app.registry.recordName;
            if (core.StartRecording(folder, name)) {
                std::printf("Recording %s data to %s\n", app.recorder.Mode() == kRecordRaw ? "raw" : "normal",
                            app.recorder.FilePath().c_str());
            } else {
                std::fprintf(stderr, "sextara-headless: recording not started: %s\n",
                             app.recorder.LastError().c_str());
                exitCode = 1;
            }
        }
        RecordPrinter recordPrinter;
        Corrections corrections(app, opt);
        if (exitCode == 0 && !gStop.load() && !corrections.Begin()) exitCode = 1;

        // The one-second timer. Between two ticks the loop sleeps, woken by
        // a signal; a running correction job has it look for messages every
        // 50 ms instead.
        int spinner = 0;
        const auto start = std::chrono::steady_clock::now();
        auto nextTick = start;
        while (exitCode == 0 && !gStop.load()) {
            if (opt.seconds > 0 && std::chrono::steady_clock::now() - start >= std::chrono::seconds(opt.seconds)) {
                break;
            }
            if (std::chrono::steady_clock::now() >= nextTick) {
                core.Tick();
                if (opt.syncClock) {
                    const int pendingBefore = app.clockSync.Pending();
                    if (app.clockSync.OnPaint(app.gnss.Snapshot()) == 0 && pendingBefore != 0) {
                        std::printf("System clock set from GNSS time\n");
                    }
                }
                PrintStatus(app, core.Link(), spinner);
                if (opt.record) recordPrinter.Print(app.recorder);
                corrections.Tick();
                nextTick += std::chrono::seconds(1);
            }
            if (corrections.Finished()) {
                exitCode = corrections.ExitCode();
                break;
            }
            if (corrections.Running()) {
                corrections.WaitForMessages(std::chrono::milliseconds(50));
            } else {
                gStopWake.WaitUntil(nextTick);
            }
        }
        const bool wasRecording = app.recorder.IsRecording();
        corrections.End();
        core.Shutdown();
        if (wasRecording) {
            std::printf("Record closed: %s, %llu bytes\n", app.recorder.FilePath().c_str(),
                        static_cast<unsigned long long>(app.recorder.ByteCount()));
        }
        app.registry.dataTransfer = storedDataTransfer;
    }  // AppContext goes down here: config.ini and settings saved
    sim.Stop();
    return exitCode;
}
