// link-latency: an NTRIP connection streaming about 2 KB/s of corrections
// from a caster on loopback into the receiver port. Prints the latency from
// the caster's send of a 200-byte frame to the link's write of its last byte
// to the receiver (p50, p99, max), the CPU time of the process per second of
// streaming, and the resident size every 10 s.
//   link-latency [SECONDS]   (default 180)

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
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corrections/CorrectionLink.h"
#include "platform/Paths.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kFrame = 200;
constexpr auto kFramePeriod = std::chrono::milliseconds(100);

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

private:
    std::size_t bytes_ = 0;
};

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
    // The bench's own records, reserved up front, so the resident size shows the link alone.
    gSent.reserve(static_cast<std::size_t>(seconds) * 10 + 100);
    gLatencyMs.reserve(static_cast<std::size_t>(seconds) * 10 + 100);
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
        std::string frame(kFrame, '\xd3');
        auto next = Clock::now();
        while (!stop.load()) {
            std::this_thread::sleep_until(next);
            next += kFramePeriod;
            {
                std::lock_guard<std::mutex> hold(gLock);
                gSent.push_back(Clock::now());
            }
            if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) break;
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
        std::printf("frames %zu of %zu, bytes %u, %.0f B/s\n", sorted.size(), gSent.size(), link.BytesReceived(),
                    link.BytesReceived() / wall);
        std::printf("latency ms: p50 %.2f  p99 %.2f  max %.2f\n", at(0.5), at(0.99), sorted.back());
        std::printf("cpu: %.3f s in %.0f s (%.3f%% of one core)\n", cpu, wall, 100.0 * cpu / wall);
    }
    ::close(listener);
    std::filesystem::remove_all(folder);
    return 0;
}
