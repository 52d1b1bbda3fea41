// The sextara-sim command: its first output line, its own end, its end on a
// signal, and its refusals. Every child is reaped within a bound, killed if
// it outstays it.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tools/SimPtyClient.h"

extern char** environ;

namespace sextara::sim {
namespace {

using namespace std::chrono_literals;
using simtest::kPatience;
using simtest::PtyClient;

const std::string kCapture = SEXTARA_TEST_DATA "/nmea/gpsd/hab-gpspi.log";

class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        args.insert(args.begin(), SEXTARA_SIM_BIN);
        int out[2];
        if (::pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        stdout_ = out[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0) ::close(stdout_);
    }

    // The first line of standard output, "" when it closed or time ran out.
    std::string FirstLine() {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{stdout_, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0) continue;
            char c;
            if (::read(stdout_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line.push_back(c);
        }
        return {};
    }

    // The exit code, or -1 when the process had to be killed or died of a
    // signal.
    int Wait() {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        int status = 0;
        while (pid_ > 0) {
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                pid_ = -1;
                return -1;
            }
            std::this_thread::sleep_for(10ms);  // polling the child, not pacing the test
        }
        return -1;
    }

    void Signal(int sig) const { ::kill(pid_, sig); }
    bool Started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
};

TEST(SimCommand, PrintsTheDeviceFirstAndStopsByItself) {
    SimProcess sim({"--make", "enHemis", "--baud", "19200", "--duration", "0.5", kCapture});
    ASSERT_TRUE(sim.Started());
    const std::string device = sim.FirstLine();
    EXPECT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    EXPECT_EQ(sim.Wait(), 0);
}

TEST(SimCommand, StreamsAndAnswersUntilSignalled) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        SimProcess sim({"--make", "enNovtel", "--baud", "57600", "--rate", "20000", kCapture});
        const std::string device = sim.FirstLine();
        ASSERT_FALSE(device.empty());
        PtyClient client(device);
        ASSERT_TRUE(client.SetBaud(57600));
        ASSERT_TRUE(client.ReadAtLeast(100));
        ASSERT_TRUE(client.Write("log version\r\n"));
        EXPECT_TRUE(client.ReadUntil("#VERSIONA,"));
        sim.Signal(sig);
        EXPECT_EQ(sim.Wait(), 0);
    }
}

TEST(SimCommand, RefusesBadArgumentsWithExitCode2) {
    const std::vector<std::vector<std::string>> cases = {
        {"--baud", "9600", kCapture},
        {"--make", "enNOVTEL", "--baud", "9600", kCapture},
        {"--make", "enNovtel", kCapture},
        {"--make", "enNovtel", "--baud", "12345", kCapture},
        {"--make", "enNovtel", "--baud", "9600"},
        {"--make", "enNovtel", "--baud", "9600", "/nonexistent/capture.log"},
        {"--make", "enNovtel", "--baud", "9600", "--realtime", "--rate", "100", kCapture},
        {"--make", "enNovtel", "--baud", "9600", "--duration", "0", kCapture},
        {"--make", "enNovtel", "--baud", "9600", "--duration", "forever", kCapture},
        {"--make", "enNovtel", "--baud", "9600", "--record", "/nonexistent/dir/rec.bin", kCapture},
        {"--make", "enNovtel", "--baud", "9600", "--colour", kCapture},
    };
    for (const auto& args : cases) {
        std::string line;
        for (const auto& a : args) line += a + " ";
        SCOPED_TRACE(line);
        SimProcess sim(args);
        EXPECT_EQ(sim.FirstLine(), "");
        EXPECT_EQ(sim.Wait(), 2);
    }
}

}  // namespace
}  // namespace sextara::sim
