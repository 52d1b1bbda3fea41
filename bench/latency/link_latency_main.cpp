// link-latency: an NTRIP connection streaming corrections (a real RTCM 3
// capture, looped) at a chosen rate from a caster on loopback into the
// receiver port. Prints the latency from the caster's send of each 200-byte
// piece to the link's write of its last byte to the receiver (p50, p99, max),
// the bytes that reached the port against the bytes sent, the CPU time of the
// process per second of streaming, and the resident size every 10 s.
//   link-latency [SECONDS] [BYTES_PER_S]   (default 180 s at 2000 B/s)

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corrections/CorrectionLink.h"
#include "platform/Paths.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kFrame = 200;
constexpr long kDefaultBytesPerSecond = 2000;

std::mutex gLock;
std::vector<Clock::time_point> gSent;
std::vector<double> gLatencyMs;

class TimingSink final : public sextara::ByteSink {
public:
    std::uint32_t Write(const std::uint8_t*, std::uint32_t length) override {
        const auto now = Clock::now();
        std::lock_guard<std::mutex> hold(gLock);
        const std::size_t before = bytes_ / kFrame;
        bytes_ += length;
        for (std::size_t frame = before; frame < bytes_ / kFrame && frame < gSent.size(); ++frame) {
            gLatencyMs.push_back(std::chrono::duration<double, std::milli>(now - gSent[frame]).count());
        }
        return length;
    }
    std::size_t Bytes() const {
        std::lock_guard<std::mutex> hold(gLock);
        return bytes_;
    }

private:
    std::size_t bytes_ = 0;
};

std::string ReadCorrections() {
    std::ifstream in(std::string(SEXTARA_TEST_DATA) + "/rtcm3/testglo.rtcm3", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

long ResidentKb() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 180;
    const long rate = argc > 2 ? std::clamp(std::atol(argv[2]), 10L, 10'000'000L) : kDefaultBytesPerSecond;
    const auto framePeriod = std::chrono::microseconds(1'000'000L * static_cast<long>(kFrame) / rate);
    const std::string corrections = ReadCorrections();
    if (corrections.size() < kFrame) {
        std::fprintf(stderr, "link-latency: cannot read %s/rtcm3/testglo.rtcm3\n", SEXTARA_TEST_DATA);
        return 1;
    }
    // The bench's own records, reserved up front, so the resident size shows the link alone.
    const std::size_t frames = static_cast<std::size_t>(seconds) * static_cast<std::size_t>(rate) / kFrame + 100;
    gSent.reserve(frames);
    gLatencyMs.reserve(frames);
    const std::string folder = std::filesystem::temp_directory_path() / ("link-latency-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    sextara::platform::SetDataFolder(folder);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0) {
        std::perror("listen");
        return 1;
    }
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);

    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> sentBytes{0};
    std::thread caster([&] {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        ::send(fd, "ICY 200 OK\r\n", 12, MSG_NOSIGNAL);
        std::size_t at = 0;
        auto next = Clock::now();
        while (!stop.load()) {
            std::this_thread::sleep_until(next);
            next += framePeriod;
            std::string frame = corrections.substr(at, kFrame);
            at = (at + kFrame) % corrections.size();
            if (frame.size() < kFrame) frame += corrections.substr(0, kFrame - frame.size());
            {
                std::lock_guard<std::mutex> hold(gLock);
                gSent.push_back(Clock::now());
            }
            if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) break;
            sentBytes += frame.size();
            // The client's GGA sentences; read so that they never fill a buffer.
            pollfd entry{fd, POLLIN, 0};
            while (::poll(&entry, 1, 0) == 1 && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
            }
        }
        ::close(fd);
    });

    {
        sextara::platform::RegistryStore store(folder + "/registry.ini", {});
        sextara::corrections::CorrectionLink link(store, {});
        TimingSink sink;
        link.SetReceiverPort(&sink);
        sextara::corrections::CasterSettings settings;
        settings.casterAddress = "127.0.0.1";
        settings.port = ntohs(address.sin_port);
        settings.mountPoint = "BENCH";
        settings.useTypedPosition = true;
        link.SetSettings(settings);
        link.StartNtrip(nullptr);

        const double cpuStart = CpuSeconds();
        const auto start = Clock::now();
        std::printf("resident KB:");
        for (int second = 0; second < seconds; ++second) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            std::uint8_t drained[2048];
            link.DrainReceived(drained, sizeof drained);  // the page's tick
            if (second % 10 == 0) std::printf(" %ld", ResidentKb());
            std::fflush(stdout);
        }
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = CpuSeconds() - cpuStart;
        const std::uint64_t sent = sentBytes.load();
        const std::size_t reached = sink.Bytes();
        std::printf(" %ld\n", ResidentKb());
        link.StopLink();
        stop = true;
        caster.join();

        std::lock_guard<std::mutex> hold(gLock);
        std::vector<double> sorted = gLatencyMs;
        std::sort(sorted.begin(), sorted.end());
        if (sorted.empty()) {
            std::printf("no frames arrived\n");
            return 1;
        }
        auto at = [&](double q) { return sorted[static_cast<std::size_t>(q * (sorted.size() - 1))]; };
        std::printf(
            "stream %ld B/s: sent %llu bytes (%.0f B/s), reached the port %zu bytes (%.0f B/s, %.1f%%)\n",
            rate, static_cast<unsigned long long>(sent), sent / wall, reached, reached / wall,
            100.0 * static_cast<double>(reached) / std::max<double>(1, static_cast<double>(sent)));
        std::printf("pieces of %zu bytes: %zu of %zu reached the port\n", kFrame, sorted.size(),
                    gSent.size());
        std::printf("latency ms: p50 %.2f  p99 %.2f  max %.2f\n", at(0.5), at(0.99), sorted.back());
        std::printf("cpu: %.3f s in %.0f s (%.3f%% of one core)\n", cpu, wall, 100.0 * cpu / wall);
    }
    ::close(listener);
    std::filesystem::remove_all(folder);
    return 0;
}
