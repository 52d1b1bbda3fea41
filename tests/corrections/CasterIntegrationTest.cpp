// The link against a real NTRIP caster: str2str of the Debian package rtklib,
// run as a caster on 127.0.0.1 and fed on its standard input.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>

#include "corrections/CorrectionLink.h"
#include "corrections/LinkHarness.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"
#include "receiver/SerialPort.h"
#include "support/PtyPair.h"
#include "support/WaitUntil.h"

extern char** environ;

namespace sextara::corrections {
namespace {

using test::WaitUntil;
using namespace std::chrono_literals;

std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

std::uint16_t FreePort() {
    test::LoopbackCaster probe(nullptr);
    return probe.Port();
}

class RealCaster {
public:
    RealCaster(const std::string& program, std::uint16_t port) : port_(port) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const std::string out = "ntripc://user:pass@:" + std::to_string(port) + "/TEST";
        const char* argv[] = {program.c_str(), "-out", out.c_str(), nullptr};
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[0]);
        input_ = fds[1];
    }
    ~RealCaster() {
        if (input_ >= 0) ::close(input_);
        if (pid_ <= 0) return;
        // It ends on a signal only after its next read of the input: no use waiting.
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    bool Listening() const {
        return pid_ > 0 && WaitUntil([&] {
                   const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                   sockaddr_in address{};
                   address.sin_family = AF_INET;
                   address.sin_port = htons(port_);
                   address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                   const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
                   ::close(fd);
                   return ok;
               }, 10s);
    }
    void Feed(const std::string& bytes) const { [[maybe_unused]] auto n = ::write(input_, bytes.data(), bytes.size()); }

private:
    std::uint16_t port_;
    pid_t pid_ = -1;
    int input_ = -1;
};

class CasterIntegration : public ::testing::Test {
protected:
    CasterIntegration() : store_(dir_.File("registry.ini"), {}), link_(store_, log_.Function(), clock_) {
        platform::SetDataFolder(dir_.Path());
        link_.SetReceiveTimeout(20ms);
        link_.SetReceiverPort(&receiver_);
        messages_.status = [this] { return link_.StatusText(); };
    }
    ~CasterIntegration() override {
        link_.StopLink();
        platform::SetDataFolder("");
    }
    void SetUp() override {
        const std::string program = FindProgram("str2str");
        if (program.empty()) GTEST_SKIP() << "str2str (Debian package rtklib) is not installed";
        const std::uint16_t port = FreePort();
        caster_ = std::make_unique<RealCaster>(program, port);
        ASSERT_TRUE(caster_->Listening());
        CasterSettings s;
        s.casterAddress = "127.0.0.1";
        s.port = port;
        s.mountPoint = "TEST";
        s.user = "user";
        s.password = "pass";
        link_.SetSettings(s);
    }
    void Use(const std::string& mount, const std::string& password) {
        CasterSettings s = link_.Settings();
        s.mountPoint = mount;
        s.password = password;
        link_.SetSettings(s);
    }

    test::TempDir dir_;
    test::ScaledClock clock_{20};
    test::RecordingLog log_;
    test::RecordingSink receiver_;
    test::RecordingMessages messages_;
    platform::RegistryStore store_;
    CorrectionLink link_;
    std::unique_ptr<RealCaster> caster_;
};

TEST_F(CasterIntegration, SourceTableFetchedStoredAndParsed) {
    ASSERT_TRUE(link_.StartSourceTableUpdate(&messages_));
    ASSERT_TRUE(WaitUntil([&] { return messages_.Count(platform::MSG_SOURCETABLE_DONE) == 1; })) << log_.All();
    ASSERT_EQ(link_.Entries().size(), 1u);
    EXPECT_EQ(link_.Entries()[0].mountPoint, "TEST");
    EXPECT_EQ(test::ReadBytes(platform::DataPath("SourceTable.dat")).substr(0, 20), "SOURCETABLE 200 OK\r\n");
}

// From the caster through the link and the receiver's serial port to the
// receiver, here the far end of a pty.
TEST_F(CasterIntegration, CorrectionsReachTheReceiverByteExact) {
    const std::string data = test::ReadData("rtcm3/testglo.rtcm3");
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    constexpr int kPortNumber = 41;
    platform::SetComDevicePath(kPortNumber, pty.SlavePath());
    SerialPort port;
    ASSERT_EQ(port.Open(kPortNumber, 115200), 1);
    ASSERT_EQ(port.StartThreads(), 1);
    link_.SetReceiverPort(&port);
    ASSERT_TRUE(link_.StartNtrip(&messages_));
    ASSERT_TRUE(WaitUntil([&] { return messages_.Count(platform::MSG_LINK_UP) == 1; })) << log_.All();
    caster_->Feed(data);
    EXPECT_TRUE(test::ToText(pty.Receive(data.size())) == data);
    link_.StopLink();
    link_.SetReceiverPort(nullptr);
    port.Close();
    platform::ClearComDevicePaths();
}

TEST_F(CasterIntegration, BadPasswordAndUnknownMount) {
    Use("TEST", "wrong");
    ASSERT_TRUE(link_.StartNtrip(&messages_));
    ASSERT_TRUE(WaitUntil([&] { return messages_.Count(platform::MSG_LINK_DOWN) == 1; }));
    EXPECT_EQ(link_.LastResult(), ConnectResult::Unauthorized);
    EXPECT_EQ(link_.StatusText(), "Unauthorized!");

    Use("NOPE", "pass");
    test::RecordingMessages messages;
    messages.status = [this] { return link_.StatusText(); };
    ASSERT_TRUE(WaitUntil([&] { return !link_.Active(); }));
    ASSERT_TRUE(link_.StartNtrip(&messages));
    ASSERT_TRUE(WaitUntil([&] { return messages.Count(platform::MSG_LINK_STATUS) > 0; }));
    EXPECT_EQ(messages.Texts(platform::MSG_LINK_STATUS).front(), "Mount point NOPE is not on the caster!");
    EXPECT_EQ(link_.LastResult(), ConnectResult::MountNotFound);
    EXPECT_TRUE(receiver_.Bytes().empty());
    link_.StopLink();  // the retrying job posts to `messages`, which ends here
}

// The caster goes away under a running connection and comes back on the
// same port: the link connects again by itself, on the check thread's
// cadence (20 s passes, here one real second each).
TEST_F(CasterIntegration, CasterKilledAndRestartedIsConnectedAgain) {
    ASSERT_TRUE(link_.StartNtrip(&messages_));
    ASSERT_TRUE(WaitUntil([&] { return messages_.Count(platform::MSG_LINK_UP) == 1; })) << log_.All();
    caster_->Feed("before");
    ASSERT_TRUE(WaitUntil([&] { return receiver_.Bytes() == "before"; })) << log_.All();

    const auto port = static_cast<std::uint16_t>(link_.Settings().port);
    caster_.reset();
    caster_ = std::make_unique<RealCaster>(FindProgram("str2str"), port);
    ASSERT_TRUE(caster_->Listening());
    int polls = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            if (++polls % 100 == 0) caster_->Feed("after");
            return receiver_.Bytes().find("after") != std::string::npos;
        },
        30s))
        << log_.All();
    EXPECT_TRUE(link_.Active());
}

std::size_t EntriesIn(const char* folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
    return count;
}

// Start and stop, connected or still connecting, leave no thread and no
// descriptor behind.
TEST_F(CasterIntegration, ThousandStartStopCyclesLeakNothing) {
    constexpr int kCycles = 1000;
    // One cycle first: a sanitizer's runtime starts a thread of its own on
    // the first threads it sees.
    test::RecordingMessages first;
    ASSERT_TRUE(link_.StartNtrip(&first));
    ASSERT_TRUE(WaitUntil([&] { return first.Count(platform::MSG_LINK_UP) == 1; }));
    link_.StopLink();
    const std::size_t fds = EntriesIn("/proc/self/fd");
    const std::size_t threads = EntriesIn("/proc/self/task");
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        test::RecordingMessages messages;
        ASSERT_TRUE(link_.StartNtrip(&messages)) << cycle;
        if (cycle % 2 == 0) {
            ASSERT_TRUE(WaitUntil([&] { return messages.Count(platform::MSG_LINK_UP) == 1; })) << cycle;
        }
        link_.StopLink();
    }
    EXPECT_EQ(EntriesIn("/proc/self/fd"), fds);
    EXPECT_EQ(EntriesIn("/proc/self/task"), threads);
    RecordProperty("fd_before_after", std::to_string(fds) + "/" + std::to_string(EntriesIn("/proc/self/fd")));
    RecordProperty("threads_before_after",
                   std::to_string(threads) + "/" + std::to_string(EntriesIn("/proc/self/task")));
}

TEST_F(CasterIntegration, StopWhileConnecting) {
    ASSERT_TRUE(link_.StartNtrip(&messages_));
    const auto start = std::chrono::steady_clock::now();
    link_.StopLink();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(link_.Active());
    EXPECT_EQ(link_.StatusText(), "User Stop");
}

}  // namespace
}  // namespace sextara::corrections
