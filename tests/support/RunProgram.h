#pragma once

// One of the built programs run as a separate process, as a user or a script
// runs it: its exit code and both output streams.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace sextara::test {

struct ProgramRun {
    int exitCode = -1;  // -1 when it did not exit normally or had to be killed
    std::string out;
    std::string err;
    long maxResidentKb = 0;  // the child's peak resident size, from the kernel's accounting
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

// The environment without the variables named in unset ("DISPLAY"), plus
// the "NAME=value" entries of set.
inline std::vector<std::string> EnvironmentWith(const std::vector<std::string>& unset,
                                                const std::vector<std::string>& set) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool dropped = false;
        for (const auto& u : unset) dropped = dropped || u == name;
        for (const auto& s : set) dropped = dropped || s.substr(0, s.find('=')) == name;
        if (!dropped) env.push_back(entry);
    }
    env.insert(env.end(), set.begin(), set.end());
    return env;
}

// Output goes to files rather than pipes so that neither stream can block the
// child while the other is being drained. A program that outstays patience
// is killed and reported as -1. With feedStdin, the child's standard input is
// a pipe that feedStdin writes (SIGPIPE ignored) before it is closed.
inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::vector<std::string>& env = EnvironmentWith({}, {}),
                             std::chrono::seconds patience = std::chrono::seconds(120),
                             const std::function<void(int fd)>& feedStdin = {}) {
    static int serial = 0;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("sextara-run-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(dir);
    const std::string outPath = (dir / "out").string(), errPath = (dir / "err").string();

    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv, cenv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    std::vector<std::string> envCopy = env;
    for (auto& e : envCopy) cenv.push_back(e.data());
    cenv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    int input[2] = {-1, -1};
    if (feedStdin && ::pipe2(input, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    }
    ProgramRun run;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, cargv[0], &actions, nullptr, cargv.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << "cannot start " << program;
    if (input[0] >= 0) {
        ::close(input[0]);
        if (spawned == 0) {
            const auto previous = ::signal(SIGPIPE, SIG_IGN);
            feedStdin(input[1]);
            ::signal(SIGPIPE, previous);
        }
        ::close(input[1]);
    }
    if (spawned == 0) {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        int status = 0;
        pid_t done = 0;
        rusage usage {};
        while ((done = ::wait4(pid, &status, WNOHANG, &usage)) == 0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(
                std::chrono::milliseconds(5));  // polling the child, not pacing the test
        }
        if (done == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ADD_FAILURE() << program << " did not end within " << patience.count() << " s";
        } else if (done == pid && WIFEXITED(status)) {
            run.exitCode = WEXITSTATUS(status);
            run.maxResidentKb = usage.ru_maxrss;
        }
        std::ifstream out(outPath, std::ios::binary), err(errPath, std::ios::binary);
        run.out.assign(std::istreambuf_iterator<char>(out), {});
        run.err.assign(std::istreambuf_iterator<char>(err), {});
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return run;
}

}  // namespace sextara::test
