// sextara-sim: a simulated receiver on a pty. Prints the device to open on
// its first line, streams the captures at the line's byte rate, answers the
// detection probes and follows the reset and baud commands of its make, and
// stops by itself after the duration, on SIGINT, SIGTERM or SIGHUP.

#include <signal.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "CommandLine.h"
#include "decode/ReceiverMakes.h"
#include "sim/ReceiverSim.h"

namespace {

using namespace sextara;

constexpr std::string_view kProgram = "sextara-sim";
// A day: long enough for any soak run, short enough that a forgotten
// simulator goes away by itself.
constexpr double kMaxDurationSeconds = 86400.0;

struct Options {
    std::string make;
    std::optional<int> baud;
    double seconds = 600.0;
    bool realtime = false;
    std::optional<std::uint32_t> rate;
    sim::ReceiverSimOptions sim;  // make, baud, duration and rate are set from the fields above
};

// A rate the simulated receivers can be set to.
std::optional<int> ReadBaud(std::string_view text) {
    std::uint64_t baud = 0;
    if (!tools::ReadWholeNumber(text, 1, 100'000'000, baud) ||
        sim::SpeedCodeOf(static_cast<int>(baud)) == 0) {
        return std::nullopt;
    }
    return static_cast<int>(baud);
}

std::optional<double> ReadSeconds(std::string_view text) {
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end == copy.c_str() || *end != '\0' || !(value > 0.0) || value > kMaxDurationSeconds) {
        return std::nullopt;
    }
    return value;
}

void AddOptions(CLI::App& app, Options& opt) {
    tools::AddMakeOption(app, opt.make, "the receiver's make by configuration name (required)");
    tools::AddReadOption(app, "--baud", opt.baud, ReadBaud, "takes a rate from 1200 to 921600",
                         "the rate the receiver is at, 1200 ... 921600 (required)")
        ->type_name("N");
    app.add_option("--record", opt.sim.recordPath, "append every byte received to FILE")
        ->type_name("FILE")
        ->check(tools::NotEmpty("needs a file"));
    tools::AddReadOption(app, "--duration", opt.seconds, ReadSeconds,
                         "takes seconds above 0 and at most 86400",
                         "stop after S seconds (default 600, at most 86400)")
        ->type_name("S");
    app.add_option("--link", opt.sim.linkPath, "make PATH a symbolic link to the device while running")
        ->type_name("PATH")
        ->check(tools::NotEmpty("needs a path"));
    auto* realtime = app.add_flag("--realtime", opt.realtime,
                                  "stream at the line's rate, baud / 10 bytes per second (default)");
    tools::AddNumberOption(app, "--rate", opt.rate, 1, 100'000'000, "stream at N bytes per second instead")
        ->excludes(realtime);
    app.add_flag("--epochs", opt.sim.epochs,
                 "NMEA captures: one epoch (sentences of one UTC time) per second");
    app.add_option("CAPTURE", opt.sim.captureFiles, "capture files, streamed one after the other, looping")
        ->type_name("");
}

// Nullopt to go on, otherwise the exit code.
std::optional<int> ReadOptions(int argc, char** argv, Options& opt) {
    CLI::App app("A simulated receiver on a pseudo-terminal.", std::string(kProgram));
    app.footer(
        "The device path is printed on the first line of standard output. The captures\n"
        "are streamed one after the other, looping, only while the program has the line\n"
        "at the receiver's rate.");
    tools::UseHouseRules(app);
    AddOptions(app, opt);
    if (const auto exit = tools::Parse(app, argc, argv)) return exit;
    if (opt.make.empty()) return tools::Fail(kProgram, "no make given (--make NAME)");
    if (!opt.baud) return tools::Fail(kProgram, "no baud rate given (--baud N)");
    if (opt.sim.captureFiles.empty()) return tools::Fail(kProgram, "no capture files");
    opt.sim.make = ReceiverTypeFromConfigName(opt.make);
    opt.sim.baud = *opt.baud;
    if (opt.rate) opt.sim.bytesPerSecond = *opt.rate;
    opt.sim.duration = std::chrono::milliseconds(static_cast<std::int64_t>(opt.seconds * 1000.0 + 0.5));
    if (opt.sim.duration.count() < 1) opt.sim.duration = std::chrono::milliseconds(1);
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    if (const auto exit = ReadOptions(argc, argv, opt)) return *exit;

    // Blocked before the simulator thread starts, so that it inherits the
    // mask and the signals arrive only through sigtimedwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::ReceiverSim simulator(opt.sim);
    const std::string device = simulator.Start();
    if (device.empty()) return tools::Fail(kProgram, simulator.Error());
    std::printf("%s\n", device.c_str());
    std::fflush(stdout);

    while (simulator.Running()) {
        const timespec tick{0, 200'000'000};
        if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) break;
    }
    simulator.Stop();
    // For checks of what a program recorded: the stream is the captures in a
    // loop, so its length tells exactly which bytes went out.
    std::printf("sent %llu bytes\n", static_cast<unsigned long long>(simulator.Stats().bytesSent));
    std::fflush(stdout);
    return 0;
}
