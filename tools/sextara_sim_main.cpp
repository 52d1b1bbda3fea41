// sextara-sim: a simulated receiver on a pty. Prints the device to open on
// its first line, streams the captures at the line's byte rate, answers the
// detection probes and follows the reset and baud commands of its make, and
// stops by itself after the duration, on SIGINT, SIGTERM or SIGHUP.

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include "CommandLine.h"
#include "decode/ReceiverMakes.h"
#include "sim/ReceiverSim.h"

namespace {

using namespace sextara;

// A day: long enough for any soak run, short enough that a forgotten
// simulator goes away by itself.
constexpr double kMaxDurationSeconds = 86400.0;

void Usage(std::FILE* to) {
    std::fputs(
        "usage: sextara-sim --make NAME --baud N [--record FILE] [--duration SECONDS]\n"
        "                   [--link PATH] [--realtime|--rate BYTES_PER_S] [--epochs]\n"
        "                   CAPTURE...\n"
        "  --make NAME      receiver make by configuration name: enNovtel enCompass enHemis\n"
        "                   enBlox6T enBlox8T enTrimble enTrimbleNMEA enSkyTraq enOther\n"
        "                   enDA_Vo enDorir_Iv enBlox9P\n"
        "  --baud N         the rate the receiver is at (1200 ... 921600)\n"
        "  --record FILE    append every byte received to FILE\n"
        "  --duration S     stop after S seconds (default 600, at most 86400)\n"
        "  --link PATH      make PATH a symbolic link to the device while running\n"
        "  --realtime       stream at the line's rate, baud / 10 bytes per second (default)\n"
        "  --rate B         stream at B bytes per second instead\n"
        "  --epochs         NMEA captures: one epoch (sentences of one UTC time) per second\n"
        "The device path is printed on the first line of standard output. The captures\n"
        "are streamed one after the other, looping, only while the program has the line\n"
        "at the receiver's rate.\n",
        to);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "sextara-sim: %s\n", message.c_str());
    return 2;
}

bool ParseWhole(std::string_view text, std::uint64_t& out) { return tools::ParseDecimal(text, out, 12); }

bool ParseSeconds(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(value > 0.0) || value > kMaxDurationSeconds) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    sim::ReceiverSimOptions options;
    bool haveMake = false;
    bool haveBaud = false;
    bool realtime = false;
    bool haveRate = false;
    double seconds = 600.0;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = nullptr;
        auto needs = [&] {
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--make") {
            if (!needs()) return Fail("--make needs a make name");
            haveMake = false;
            for (const auto& row : kReceiverMakes) {
                if (row.configName == value) {
                    options.make = row.type;
                    haveMake = true;
                }
            }
            if (!haveMake) return Fail(std::string("unknown make '") + value + "'");
        } else if (arg == "--baud") {
            std::uint64_t baud = 0;
            if (!needs() || !ParseWhole(value, baud) || sim::SpeedCodeOf(static_cast<int>(baud)) == 0) {
                return Fail("--baud takes a rate from 1200 to 921600");
            }
            options.baud = static_cast<int>(baud);
            haveBaud = true;
        } else if (arg == "--record") {
            if (!needs()) return Fail("--record needs a file");
            options.recordPath = value;
        } else if (arg == "--duration") {
            if (!needs() || !ParseSeconds(value, seconds)) {
                return Fail("--duration takes seconds above 0 and at most 86400");
            }
        } else if (arg == "--link") {
            if (!needs()) return Fail("--link needs a path");
            options.linkPath = value;
        } else if (arg == "--epochs") {
            options.epochs = true;
        } else if (arg == "--realtime") {
            realtime = true;
        } else if (arg == "--rate") {
            std::uint64_t rate = 0;
            if (!needs() || !ParseWhole(value, rate) || rate == 0 || rate > 100'000'000) {
                return Fail("--rate takes bytes per second from 1 to 100000000");
            }
            options.bytesPerSecond = static_cast<std::uint32_t>(rate);
            haveRate = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            Usage(stderr);
            return Fail("unknown option '" + std::string(arg) + "'");
        } else {
            options.captureFiles.emplace_back(arg);
        }
    }
    if (!haveMake) return Fail("no make given (--make NAME)");
    if (!haveBaud) return Fail("no baud rate given (--baud N)");
    if (realtime && haveRate) return Fail("--realtime and --rate exclude each other");
    if (options.captureFiles.empty()) return Fail("no capture files");
    options.duration = std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000.0 + 0.5));
    if (options.duration.count() < 1) options.duration = std::chrono::milliseconds(1);

    // Blocked before the simulator thread starts, so that it inherits the
    // mask and the signals arrive only through sigtimedwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::ReceiverSim simulator(options);
    const std::string device = simulator.Start();
    if (device.empty()) return Fail(simulator.Error());
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
