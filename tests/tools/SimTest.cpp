// The simulated receiver against a plain POSIX client on its slave device:
// streaming only at the receiver's rate, probe answers per make, the reset
// and baud commands, recording, and its lifetime. Nothing here measures
// speed; every check is about which bytes arrive and in what order, with
// deadlines only as a bound.

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "decode/Crc32.h"
#include "sim/ReceiverSim.h"
#include "tools/SimPtyClient.h"

namespace sextara::sim {
namespace {

using namespace std::chrono_literals;
using simtest::kPatience;
using simtest::PtyClient;

const std::string kNmeaCapture = SEXTARA_TEST_DATA "/nmea/gpsd/hab-gpspi.log";
const std::string kNovatelBinaryCapture =
    SEXTARA_TEST_DATA "/novatel/novatel_gps_driver/bestpos-bestvel-psrdop2-sync.tcp-payload.gps";

const std::string kTrimbleProbe{
    "\x17\x00\x02\x00\x64\x11\x01\x00\x00\x03\x00\x01\x00\x07\x08\x07\x00\x03\x00\x00\x00\x00\x00\x93\x03",
    25};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/sextara-sim-test-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Waits until the simulator has taken `count` bytes and then run `slices`
// more slices: anything it was going to answer has been sent by then.
void LetItDigest(const ReceiverSim& sim, std::uint64_t count, std::uint64_t slices = 5) {
    ASSERT_TRUE(sim.WaitForRecorded(count, kPatience));
    const std::uint64_t from = sim.Stats().slices;
    ASSERT_TRUE(sim.WaitFor([&](const ReceiverSimStats& s) { return s.slices >= from + slices; }, kPatience));
}

// True when `stream` is an unbroken run of the capture played in a loop.
bool IsLoopedRun(const std::string& capture, const std::string& stream, std::size_t* startOut = nullptr) {
    if (capture.empty() || stream.empty()) return false;
    for (std::size_t start = 0; start < capture.size(); ++start) {
        bool same = true;
        for (std::size_t i = 0; i < stream.size() && same; ++i) {
            same = stream[i] == capture[(start + i) % capture.size()];
        }
        if (same) {
            if (startOut) *startOut = start;
            return true;
        }
    }
    return false;
}

TEST(ReceiverSim, StreamsTheCaptureInALoopAtItsRate) {
    const std::string capture = ReadFile(kNmeaCapture);
    ASSERT_GT(capture.size(), 1000u);
    ReceiverSimOptions options;
    options.baud = 115200;
    options.captureFiles = {kNmeaCapture};
    ReceiverSim sim(options);
    const std::string device = sim.Start();
    ASSERT_FALSE(device.empty()) << sim.Error();

    PtyClient client(device);
    ASSERT_TRUE(client.IsOpen());
    ASSERT_TRUE(client.SetBaud(115200));
    ASSERT_TRUE(client.ReadAtLeast(2 * capture.size() + 100));
    EXPECT_TRUE(IsLoopedRun(capture, client.Received()));
    EXPECT_GE(sim.Stats().captureLoops, 1u);
}

TEST(ReceiverSim, IsDeafAndSilentAtAnotherRate) {
    ReceiverSimOptions options;
    options.make = enNovtel;
    options.baud = 115200;
    options.captureFiles = {kNmeaCapture};
    ReceiverSim sim(options);
    const std::string device = sim.Start();
    ASSERT_FALSE(device.empty()) << sim.Error();

    PtyClient client(device);
    ASSERT_TRUE(client.SetBaud(9600));
    // A slice that looked at the line before the switch may still be on its
    // way; two slices later none is, and the purge drops it.
    const std::uint64_t from = sim.Stats().slices;
    ASSERT_TRUE(sim.WaitFor([&](const ReceiverSimStats& s) { return s.slices >= from + 2; }, kPatience));
    client.Purge();

    const std::string probe = "log version\r\n";
    ASSERT_TRUE(client.Write(probe));
    LetItDigest(sim, probe.size());
    EXPECT_EQ(client.Drain(), "");
    ReceiverSimStats stats = sim.Stats();
    EXPECT_EQ(stats.lineBaud, 9600);
    EXPECT_EQ(stats.probesAnswered, 0u);
    EXPECT_EQ(stats.bytesIgnored, probe.size());
    EXPECT_GT(stats.idleSlices, 0u);

    ASSERT_TRUE(client.SetBaud(115200));
    ASSERT_TRUE(client.Write(probe));
    EXPECT_TRUE(client.ReadUntil("#VERSIONA,"));
    EXPECT_EQ(sim.Stats().probesAnswered, 1u);
}

TEST(ReceiverSim, RecordsEveryByteReceivedAtAnyRate) {
    TempDir dir;
    const std::string recordPath = dir.File("received.bin");
    {
        std::ofstream earlier(recordPath, std::ios::binary);
        earlier << "earlier run\n";
    }
    ReceiverSimOptions options;
    options.make = enHemis;
    options.baud = 19200;
    options.recordPath = recordPath;
    ReceiverSim sim(options);
    const std::string device = sim.Start();
    ASSERT_FALSE(device.empty()) << sim.Error();

    PtyClient client(device);
    const std::string noise("\x00\xff\x55 at the wrong rate\r\n", 23);
    const std::string show = "$JSHOW\r\n";
    ASSERT_TRUE(client.SetBaud(9600));
    ASSERT_TRUE(client.Write(noise));
    ASSERT_TRUE(sim.WaitForRecorded(noise.size(), kPatience));
    ASSERT_TRUE(client.SetBaud(19200));
    ASSERT_TRUE(client.Write(show));
    ASSERT_TRUE(client.ReadUntil("$>JSHOW,"));

    const std::string expected = noise + show;
    EXPECT_EQ(sim.BytesRecorded(), expected.size());
    const auto kept = sim.RecordedBytes();
    EXPECT_EQ(std::string(kept.begin(), kept.end()), expected);
    EXPECT_EQ(ReadFile(recordPath), "earlier run\n" + expected);
}

// A receiver's answers carry valid checksums: the CRC-32 of a NovAtel ASCII
// log, the XOR of an NMEA sentence. Lines without one pass.
bool ChecksumHolds(const std::string& line) {
    const std::size_t star = line.rfind('*');
    if (star == std::string::npos || line.empty()) return true;
    const std::string body = line.substr(1, star - 1);
    const std::string given = line.substr(star + 1);
    char expected[16];
    if (line[0] == '#') {
        std::snprintf(expected, sizeof expected, "%08x",
                      Crc32(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
    } else {
        unsigned sum = 0;
        for (unsigned char ch : body) sum ^= ch;
        std::snprintf(expected, sizeof expected, "%02X", sum);
    }
    return given == expected;
}

struct ProbeCase {
    const char* name;
    ReceiverType make;
    std::string probe;
    const char* answer;  // nullptr: the make does not answer this probe
};

void PrintTo(const ProbeCase& c, std::ostream* os) {
    *os << c.name;
}

class ProbeAnswers : public ::testing::TestWithParam<ProbeCase> {};

// Each probe is first sent at a rate the receiver is not at, where it must
// go unanswered, then at the receiver's own rate.
TEST_P(ProbeAnswers, OnlyAtTheReceiversRate) {
    const ProbeCase& c = GetParam();
    ReceiverSimOptions options;
    options.make = c.make;
    options.baud = 38400;
    ReceiverSim sim(options);
    const std::string device = sim.Start();
    ASSERT_FALSE(device.empty()) << sim.Error();
    PtyClient client(device);

    ASSERT_TRUE(client.SetBaud(9600));
    ASSERT_TRUE(client.Write(c.probe));
    LetItDigest(sim, c.probe.size());
    EXPECT_EQ(client.Drain(), "");

    ASSERT_TRUE(client.SetBaud(38400));
    ASSERT_TRUE(client.Write(c.probe));
    if (c.answer) {
        const std::string line = client.ReadLineFrom(c.answer);
        ASSERT_FALSE(line.empty()) << "got: " << client.Received();
        EXPECT_TRUE(ChecksumHolds(line)) << line;
        EXPECT_EQ(sim.Stats().probesAnswered, 1u);
    } else {
        LetItDigest(sim, 2 * c.probe.size());
        EXPECT_EQ(sim.Stats().probesAnswered, 0u);
        for (const char* foreign : {"VERSION", "$>JSHOW", "$PTNL"}) {
            EXPECT_EQ(client.Drain().find(foreign), std::string::npos) << foreign;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    ReceiverSim, ProbeAnswers,
    ::testing::Values(ProbeCase{"NovatelLogVersion", enNovtel, "log version\r\n", "#VERSIONA,"},
                      ProbeCase{"NovatelResendWithoutLineFeed", enNovtel, "log version\r", "#VERSIONA,"},
                      ProbeCase{"CompassLogVersion", enCompass, "log version\r\n", "#VERSIONA,"},
                      ProbeCase{"HemisphereShow", enHemis, "$JSHOW\r\n", "$>JSHOW,"},
                      ProbeCase{"HemisphereResendWithoutLineFeed", enHemis, "$JSHOW\r", "$>JSHOW,"},
                      ProbeCase{"TrimbleProbeAmidOtherBytes", enTrimble,
                                "\x01\x02\x03" + kTrimbleProbe + "\x17\x00", "$PTNL,GGK,"},
                      ProbeCase{"TrimbleNmeaBoard", enTrimbleNMEA, kTrimbleProbe, "$PTNL,GGK,"},
                      ProbeCase{"HemisphereIgnoresNovatelProbe", enHemis, "log version\r\n", nullptr},
                      ProbeCase{"NovatelIgnoresTrimbleProbe", enNovtel, kTrimbleProbe, nullptr},
                      ProbeCase{"UbloxAnswersNoProbe", enBlox8T, "log version\r\n$JSHOW\r\n", nullptr},
                      ProbeCase{"PlainNmeaAnswersNoProbe", enOther, kTrimbleProbe, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// One exchange of a restore: the line's rate, what the program sends, the
// answer it waits for (nullptr: none) and the receiver's rate afterwards.
struct Step {
    int lineBaud;
    std::string send;
    const char* answer;
    int baudAfter;
};

struct RestoreCase {
    const char* name;
    ReceiverType make;
    int startBaud;
    std::vector<Step> steps;
};

void PrintTo(const RestoreCase& c, std::ostream* os) {
    *os << c.name;
}

class RestoreFlow : public ::testing::TestWithParam<RestoreCase> {};

TEST_P(RestoreFlow, FollowsResetAndBaudCommands) {
    const RestoreCase& c = GetParam();
    ReceiverSimOptions options;
    options.make = c.make;
    options.baud = c.startBaud;
    options.resetDelay = 50ms;
    ReceiverSim sim(options);
    const std::string device = sim.Start();
    ASSERT_FALSE(device.empty()) << sim.Error();
    PtyClient client(device);

    std::uint64_t sent = 0;
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        SCOPED_TRACE("step " + std::to_string(i) + ": " + step.send);
        ASSERT_TRUE(client.SetBaud(step.lineBaud));
        ASSERT_TRUE(client.Write(step.send));
        sent += step.send.size();
        if (step.answer) {
            EXPECT_TRUE(client.ReadUntil(step.answer)) << "got: " << client.Received();
        } else {
            LetItDigest(sim, sent);
            EXPECT_EQ(client.Drain(), "");
        }
        EXPECT_TRUE(
            sim.WaitFor([&](const ReceiverSimStats& s) { return s.baud == step.baudAfter; }, kPatience))
            << "at " << sim.Baud();
    }
}

INSTANTIATE_TEST_SUITE_P(
    ReceiverSim, RestoreFlow,
    ::testing::Values(RestoreCase{"Novatel",
                                  enNovtel,
                                  57600,
                                  {
                                      {57600, "unlogall\r\n", "<OK", 57600},
                                      {57600, "FRESET\r\nFRESET\r\n", nullptr, 9600},
                                      {57600, "log version\r\n", nullptr, 9600},
                                      {9600, "log version\r\n", "#VERSIONA,", 9600},
                                      {9600, "unlogall\r\n", "<OK", 9600},
                                      {9600, "nmeatalker auto\r\n", "<OK", 9600},
                                      {9600, "com com2 57600\r\n", "<OK", 9600},
                                      {9600, "com com1 57600\r\ncom com1 57600\r\n", nullptr, 57600},
                                      {57600, "log version\r", "#VERSIONA,", 57600},
                                      {57600, "saveconfig\r\n", "<OK", 57600},
                                  }},
                      RestoreCase{"Compass",
                                  enCompass,
                                  57600,
                                  {
                                      {57600, "FRESET\r\n", nullptr, 115200},
                                      {115200, "log version\r\n", "VERSION", 115200},
                                      {115200, "unlogall\r\n", "OK!", 115200},
                                      {115200, "com com2 57600\r\n", "OK!", 115200},
                                      {115200, "com com1 57600\r\n", nullptr, 57600},
                                      {57600, "saveconfig\r\n", "OK!", 57600},
                                  }},
                      RestoreCase{"Hemisphere",
                                  enHemis,
                                  57600,
                                  {
                                      {57600, "$JRESET\r\n$JRESET\r\n", nullptr, 19200},
                                      {19200, "$JSHOW\r\n", "$>JSHOW,BAUD,19200", 19200},
                                      {19200, "$JOFF\r\n", "$>", 19200},
                                      {19200, "$JBAUD,57600,OTHER\r\n", "$>JBAUD,57600,OTHER", 19200},
                                      {19200, "$JBAUD,57600\r\n$JBAUD,57600\r\n", nullptr, 57600},
                                      {57600, "$JSHOW\r", "$>JSHOW,BAUD,57600", 57600},
                                      {57600, "$JSAVE\r\n", "$> Save Complete", 57600},
                                  }},
                      // No reset command of its own: the words mean nothing to it.
                      RestoreCase{"UbloxStaysPut",
                                  enBlox6T,
                                  38400,
                                  {
                                      {38400, "FRESET\r\n$JRESET\r\ncom com1 57600\r\n", nullptr, 38400},
                                  }}),
    [](const auto& info) { return std::string(info.param.name); });

struct BoundaryCase {
    const char* name;
    std::string capture;
};

void PrintTo(const BoundaryCase& c, std::ostream* os) {
    *os << c.name;
}

class AnswerPlacement : public ::testing::TestWithParam<BoundaryCase> {};

// An answer goes into the stream between two frames, never inside one, and
// the capture carries on after it where it left off.
TEST_P(AnswerPlacement, LandsBetweenFrames) {
    const std::string capture = ReadFile(GetParam().capture);
    ASSERT_GT(capture.size(), 1000u);
    ReceiverSimOptions options;
    options.make = enNovtel;
    options.baud = 115200;
    options.captureFiles = {GetParam().capture};
    ReceiverSim sim(options);
    const std::string device = sim.Start();
    ASSERT_FALSE(device.empty()) << sim.Error();
    PtyClient client(device);
    ASSERT_TRUE(client.SetBaud(115200));

    // Several probes at different points of the capture.
    for (int probe = 0; probe < 5; ++probe) {
        SCOPED_TRACE("probe " + std::to_string(probe));
        client.Forget();
        ASSERT_TRUE(client.ReadAtLeast(300 + 97 * static_cast<std::size_t>(probe)));
        ASSERT_TRUE(client.Write("log version\r\n"));
        ASSERT_FALSE(client.ReadLineFrom("#VERSIONA,").empty());
        ASSERT_TRUE(client.ReadAtLeast(client.Received().size() + 200));

        const std::string& stream = client.Received();
        const std::size_t begin = stream.find("\r\n<OK\r\n[COM1]#VERSIONA,");
        ASSERT_NE(begin, std::string::npos);
        const std::size_t end = stream.find("\r\n", stream.find("#VERSIONA,")) + 2;
        const std::string around = stream.substr(0, begin) + stream.substr(end);
        std::size_t start = 0;
        ASSERT_TRUE(IsLoopedRun(capture, around, &start));
        const std::size_t at = (start + begin) % capture.size();
        const bool lineEnded = at == 0 || capture[at - 1] == '\n';
        const bool binaryFrameNext = capture.compare(at, 3, "\xAA\x44\x12") == 0;
        EXPECT_TRUE(lineEnded || binaryFrameNext) << "answer at capture offset " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(ReceiverSim, AnswerPlacement,
                         ::testing::Values(BoundaryCase{"NmeaLines", kNmeaCapture},
                                           BoundaryCase{"NovatelBinaryLogs", kNovatelBinaryCapture}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReceiverSim, StopsByItselfAndTakesItsLinkAlong) {
    TempDir dir;
    const std::string link = dir.File("gps0");
    ReceiverSimOptions options;
    options.captureFiles = {kNmeaCapture};
    options.linkPath = link;
    options.duration = 300ms;
    ReceiverSim sim(options);
    const std::string device = sim.Start();
    ASSERT_FALSE(device.empty()) << sim.Error();
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), device);

    PtyClient client(link);
    ASSERT_TRUE(client.IsOpen());
    ASSERT_TRUE(client.SetBaud(115200));
    ASSERT_TRUE(client.ReadAtLeast(10));

    ASSERT_TRUE(sim.WaitForExit(kPatience));
    EXPECT_FALSE(sim.Running());
    // The receiver is gone: the line hangs up and the link goes with it.
    pollfd pfd{client.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, static_cast<int>(kPatience.count())), 1);
    EXPECT_NE(pfd.revents & POLLHUP, 0);
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
    sim.Stop();
}

TEST(ReceiverSim, OutlivesTheProgramClosingAndReopeningThePort) {
    ReceiverSimOptions options;
    options.make = enNovtel;
    options.captureFiles = {kNmeaCapture};
    ReceiverSim sim(options);
    const std::string device = sim.Start();
    ASSERT_FALSE(device.empty()) << sim.Error();

    PtyClient client(device);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(client.Open(device));
        ASSERT_TRUE(client.SetBaud(115200));
        ASSERT_TRUE(client.ReadAtLeast(200));
        ASSERT_TRUE(client.Write("log version\r\n"));
        EXPECT_TRUE(client.ReadUntil("#VERSIONA,"));
        client.Close();
        // Some slices run with nobody on the line.
        const std::uint64_t from = sim.Stats().slices;
        ASSERT_TRUE(sim.WaitFor([&](const ReceiverSimStats& s) { return s.slices >= from + 3; }, kPatience));
        EXPECT_TRUE(sim.Running());
    }
    EXPECT_EQ(sim.Stats().probesAnswered, 3u);
}

TEST(ReceiverSim, RefusesWhatItCannotSimulate) {
    TempDir dir;
    struct Bad {
        const char* why;
        ReceiverSimOptions options;
    };
    std::vector<Bad> cases(4);
    cases[0].why = "unsupported rate";
    cases[0].options.baud = 12345;
    cases[1].why = "unreadable capture";
    cases[1].options.captureFiles = {dir.File("missing.log")};
    cases[2].why = "no time limit";
    cases[2].options.duration = 0ms;
    cases[3].why = "link over a regular file";
    { std::ofstream(dir.File("taken")) << "x"; }
    cases[3].options.linkPath = dir.File("taken");
    for (auto& c : cases) {
        ReceiverSim sim(c.options);
        EXPECT_EQ(sim.Start(), "") << c.why;
        EXPECT_FALSE(sim.Error().empty()) << c.why;
        EXPECT_FALSE(sim.Running()) << c.why;
    }
    EXPECT_EQ(ReadFile(dir.File("taken")), "x");
}

}  // namespace
}  // namespace sextara::sim
