// sextara-headless --gpsd-port fed by sextara-sim on a real pty, read by
// Debian's own clients: gpspipe (gpsd-clients) and a python3-gps script, both
// at once. Every TPV and SKY they report must be a state the record passes
// through while the capture plays, heard from its start or from any sentence.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gpsd/GpsdTestSupport.h"
#include "support/TempFiles.h"
#include "support/WaitUntil.h"

extern char** environ;

namespace sextara::gpsd {
namespace {

using nlohmann::json;
using test::WaitUntil;

const char* const kGpspipe = "/usr/bin/gpspipe";
const char* const kPython = "/usr/bin/python3";

// A child with its output in a file; stopped with SIGTERM at the end.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& outPath) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (outPath + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() { Stop(); }
    bool Started() const { return pid_ > 0; }
    // The exit code once it ended by itself within the deadline, else -1.
    int Wait() {
        int status = 0;
        if (pid_ <= 0 || !WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, std::chrono::seconds(60))) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

bool Runs(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

std::vector<json> JsonLines(const std::string& path) {
    std::vector<json> objects;
    std::istringstream in(test::ReadBytes(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) objects.push_back(json::parse(line));
    }
    return objects;
}

// Every state of the record while the capture plays (twice, as the
// simulator loops it): the fixes by time, the whole skies.
struct Passage {
    std::map<std::string, std::set<std::pair<double, double>>> fixes;
    std::set<std::vector<test::SkyRow>> skies;

    void Add(const GnssState& s) {
        char time[32];
        std::snprintf(time, sizeof time, "%04d-%02d-%02dT%02d:%02d:%02d.000Z", s.year, s.month, s.day, s.hour,
                      s.minute, s.second);
        if (s.fixQuality > 0) fixes[time].insert({s.latitude, s.longitude});
        if (s.gsvInProgress == 0) skies.insert(test::SkyRowsOf(s));
    }
};

// The program opens the port while the capture already plays, so it hears
// it from wherever the line then is, and its first epochs know only what came
// since: satellites stay unused until their system's GSA has come round. A
// record started at any sentence is followed for a few epochs (an epoch of
// the captures is about 2 KB); the states it takes at each line's end are
// all it can show, because a record changes only as a sentence ends.
constexpr std::size_t kLateStartBytes = 8192;

void AddLateStarts(const std::string& bytes, std::int32_t make, Passage& p) {
    const std::string looped = bytes + bytes;
    for (std::size_t start = 0; start < bytes.size(); ++start) {
        if (bytes[start] != '$') continue;
        GnssStateStore store;
        DecoderHost host(store);
        host.CreateDecoder(make);
        const std::size_t end = std::min(start + kLateStartBytes, looped.size());
        for (std::size_t at = start; at < end;) {
            const std::size_t line = std::min(looped.find('\n', at), end - 1) + 1;
            host.Feed(reinterpret_cast<const std::uint8_t*>(looped.data() + at), static_cast<std::uint32_t>(line - at));
            p.Add(store.Snapshot());
            at = line;
        }
    }
}

Passage PlayedThrough(const std::string& capture, std::int32_t make) {
    const std::string bytes = test::ReadBytes(test::DataFile(capture));
    GnssStateStore store;
    DecoderHost host(store);
    host.CreateDecoder(make);
    Passage p;
    for (int pass = 0; pass < 2; ++pass) {
        for (const char c : bytes) {
            host.Feed(reinterpret_cast<const std::uint8_t*>(&c), 1);
            p.Add(store.Snapshot());
        }
    }
    AddLateStarts(bytes, make, p);
    return p;
}

struct PeerCase {
    const char* capture;
    const char* make;
    std::int32_t makeCode;
    // How the simulator paces it. A SKY goes out at the first moment of its
    // epoch with no GSV group half received. At the line's rate an NMEA
    // capture packs six epochs into a second, and a decoder that a loaded
    // machine holds back may see no such moment for three epochs, when the
    // tables go out as they stand. A receiver sends one epoch a second and
    // then pauses, as "--epochs" plays it.
    const char* pace;
};

class GpsdPeersTest : public testing::TestWithParam<PeerCase> {};

TEST_P(GpsdPeersTest, GpspipeAndPythonGpsReadTheRecordOfALiveReceiver) {
    if (!Runs(std::string(kGpspipe) + " -h") || !Runs(std::string(kPython) + " -c 'import gps'")) {
        GTEST_SKIP() << "gpsd-clients or python3-gps missing (scripts/deps.sh test installs them)";
    }
    const PeerCase& c = GetParam();
    test::TempDir home;
    Child sim({SEXTARA_SIM_BIN, "--make", c.make, "--baud", "115200", c.pace, "--duration", "120",
               test::DataFile(c.capture)},
              home.File("sim.out"));
    std::string device;
    ASSERT_TRUE(WaitUntil([&] {
        const std::string out = test::ReadBytes(home.File("sim.out"));
        if (out.find('\n') == std::string::npos) return false;
        device = out.substr(0, out.find('\n'));
        return true;
    }));
    const int port = FreePort();
    Child headless({SEXTARA_HEADLESS_BIN, "--home", home.Path(), "--make", c.make, "--port", "3", "--device", device,
                    "--baud", "115200", "--gpsd-port", std::to_string(port), "--seconds", "90"},
                   home.File("headless.out"));
    ASSERT_TRUE(WaitUntil([&] { return Accepts(port); })) << test::ReadBytes(home.File("headless.out.err"));

    const std::string server = "127.0.0.1:" + std::to_string(port);
    Child pipe({kGpspipe, "-w", "-n", "30", server}, home.File("gpspipe.out"));
    Child python({kPython, SEXTARA_GPS_CLIENT_PY, "127.0.0.1", std::to_string(port), "5"}, home.File("python.out"));
    EXPECT_EQ(pipe.Wait(), 0) << test::ReadBytes(home.File("gpspipe.out.err"));
    EXPECT_EQ(python.Wait(), 0) << test::ReadBytes(home.File("python.out.err"));

    const Passage passage = PlayedThrough(c.capture, c.makeCode);
    std::map<std::string, int> counted;
    auto check = [&](const json& o, const std::string& who) {
        const std::string cls = o.value("class", "");
        ++counted[who + " " + cls];
        if (cls == "TPV" && o.value("mode", 0) >= 2) {
            const std::pair<double, double> at{o["lat"].get<double>(), o["lon"].get<double>()};
            if (!o.contains("time")) {
                // A client that connects before the receiver has named the
                // date gets fixes without a time: found among every fix.
                EXPECT_TRUE(std::any_of(passage.fixes.begin(), passage.fixes.end(),
                                        [&](const auto& fix) { return fix.second.count(at) == 1; }))
                    << who << " " << o.dump();
                return;
            }
            const auto fixes = passage.fixes.find(o.value("time", ""));
            ASSERT_NE(fixes, passage.fixes.end()) << who << " " << o.dump();
            EXPECT_EQ(fixes->second.count(at), 1u) << who << " " << o.dump();
        } else if (cls == "SKY") {
            const std::vector<test::SkyRow> rows =
                who == "gpspipe" ? test::SkyRowsOf(o) : o["satellites"].get<std::vector<test::SkyRow>>();
            EXPECT_EQ(passage.skies.count(rows), 1u) << who << " " << o.dump();
        }
    };
    for (const json& o : JsonLines(home.File("gpspipe.out"))) check(o, "gpspipe");
    for (const json& o : JsonLines(home.File("python.out"))) check(o, "python");
    EXPECT_EQ(counted["gpspipe VERSION"], 1);
    EXPECT_EQ(counted["gpspipe DEVICES"], 1);
    EXPECT_GE(counted["gpspipe TPV"], 5);
    EXPECT_GE(counted["gpspipe SKY"], 5);
    EXPECT_GE(counted["python TPV"], 5);
    EXPECT_GE(counted["python SKY"], 5);

    headless.Stop();
    const std::string status = test::ReadBytes(home.File("headless.out"));
    EXPECT_NE(status.find("gpsd server listening on " + server), std::string::npos) << status;
    EXPECT_NE(status.find("GPSD clients"), std::string::npos) << status;
}

INSTANTIATE_TEST_SUITE_P(Captures, GpsdPeersTest,
                         testing::Values(
                             PeerCase{"novatel/gavlab/ParsingData2.GPS", "enNovtel", enNovtel, "--realtime"},
                             PeerCase{"nmea/gpsd/ublox-zed-f9p-nmea.log", "enBlox9P", enBlox9P, "--epochs"}),
                         [](const testing::TestParamInfo<PeerCase>& info) {
                             return std::string(info.param.make);
                         });

}  // namespace
}  // namespace sextara::gpsd
