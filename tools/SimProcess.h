#pragma once

// A sextara-sim child process for the demos of sextara and sextara-headless.
// Header-only: the tools share it without a library of their own.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/Paths.h"

extern char** environ;

namespace sextara::tools {

// A sextara-sim child process; stopped and reaped on destruction.
class SimProcess {
public:
    SimProcess() = default;
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;
    ~SimProcess() { Stop(); }

    // Starts program with args; devicePath gets the first line it prints.
    bool Start(const std::string& program, const std::vector<std::string>& args, std::string& devicePath) {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        if (rc != 0) {
            close(pipeFds[0]);
            pid_ = -1;
            return false;
        }
        out_ = pipeFds[0];
        // The first line is the device path; give the simulator a few seconds.
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char c;
            if (read(out_, &c, 1) != 1) break;
            if (c == '\n') {
                devicePath = line;
                return !line.empty();
            }
            line += c;
        }
        return false;
    }

    // The demos' receiver: the sextara-sim beside this program as make at
    // 115200 baud, playing the capture one epoch a second for
    // durationSeconds; says so on stdout.
    bool StartDemo(const std::string& make, const std::string& capture, int durationSeconds,
                   std::string& devicePath) {
        if (!Start(platform::ProgramDirectory() + "/sextara-sim",
                   {"--make", make, "--baud", "115200", "--epochs", "--duration",
                    std::to_string(durationSeconds), capture},
                   devicePath)) {
            return false;
        }
        std::printf("Demo: simulated %s receiver at 115200 baud on %s, streaming %s\n", make.c_str(),
                    devicePath.c_str(), capture.c_str());
        std::fflush(stdout);
        return true;
    }

    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 50 && waitpid(pid_, &status, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            if (waitpid(pid_, &status, WNOHANG) == 0) {
                kill(pid_, SIGKILL);
                waitpid(pid_, &status, 0);
            }
            pid_ = -1;
        }
        if (out_ >= 0) close(out_);
        out_ = -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace sextara::tools
