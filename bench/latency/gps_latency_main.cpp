// Measures the receive latency of the GPS data path: from the last byte of a
// GGA sentence leaving the "receiver" (a pty master played by this program)
// to the GNSS state holding that sentence's time. The path is the real one:
// serial device, reader thread, pump thread every 100 ms, decoder thread.
//
//   gps-latency [SENTENCES]   (default 300)

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "decode/GnssDecoder.h"
#include "platform/SerialDevice.h"
#include "receiver/GpsPath.h"
#include "receiver/SerialPort.h"

using namespace sextara;
using Clock = std::chrono::steady_clock;

namespace {

std::string Gga(int hour, int minute, int second) {
    char body[128];
    std::snprintf(body, sizeof body, "GPGGA,%02d%02d%02d.00,3113.7956,N,12129.4740,E,1,08,1.0,10.0,M,8.0,M,,",
                  hour, minute, second);
    unsigned checksum = 0;
    for (const char* p = body; *p; ++p) checksum ^= static_cast<unsigned char>(*p);
    char line[160];
    std::snprintf(line, sizeof line, "$%s*%02X\r\n", body, checksum);
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("pty");
        return 1;
    }
    platform::SetComDevicePath(3, ptsname(master));

    GnssStateStore store;
    DecoderHost decoders(store);
    decoders.CreateDecoder(enOther);
    SerialPort port;
    GpsPath path(port, decoders);
    if (!path.OpenGpsPort(3, 115200)) {
        std::fprintf(stderr, "cannot open the pty slave\n");
        return 1;
    }

    std::mt19937 rng(7);
    std::uniform_int_distribution<int> gapMs(150, 400);
    std::vector<double> latenciesMs;
    for (int i = 0; i < count; ++i) {
        const int stamp = i % 86400;
        const std::string line = Gga(stamp / 3600, stamp / 60 % 60, stamp % 60);
        if (write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
            std::perror("write");
            return 1;
        }
        tcdrain(master);
        const auto sent = Clock::now();
        for (;;) {
            const GnssState s = store.Snapshot();
            if (s.hour * 3600 + s.minute * 60 + s.second == stamp) break;
            if (Clock::now() - sent > std::chrono::seconds(5)) {
                std::fprintf(stderr, "sentence %d never arrived\n", i);
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        latenciesMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
        // Drain what the program wrote (nothing here) and wait a random gap
        // so sentences land at every phase of the pump period.
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs(rng)));
    }
    path.CloseGpsPort();
    std::sort(latenciesMs.begin(), latenciesMs.end());
    auto at = [&](double q) { return latenciesMs[static_cast<std::size_t>(q * (latenciesMs.size() - 1))]; };
    std::printf("sentences %zu  latency ms: min %.1f  p50 %.1f  p90 %.1f  p99 %.1f  max %.1f\n",
                latenciesMs.size(), latenciesMs.front(), at(0.5), at(0.9), at(0.99), latenciesMs.back());
    return at(0.99) <= 160.0 ? 0 : 3;
}
