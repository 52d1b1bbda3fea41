// sextara-decode run as a separate process, as a user or a script runs it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "decode/StateJson.h"
#include "support/RunProgram.h"
#include "tools/CaptureSupport.h"

namespace sextara::testing {
namespace {

namespace fs = std::filesystem;

std::string Data(const std::string& relative) {
    return TestDataDir() + "/" + relative;
}

// A CR LF capture that moves through many epochs, and a binary one.
const std::string kNmeaCapture = "nmea/gpsd/nmea-rtk.log";
const std::string kBinaryCapture = "novatel/gavlab/ParsingData2.GPS";

TEST(DecodeTool, RefusesBadArgumentsWithExitCode2AndAMessage) {
    const std::string good = Data(kNmeaCapture);
    struct Case {
        std::vector<std::string> args;
        std::string message;  // part of what stderr must say
    } cases[] = {
        {{"--make", "enGarmin", good}, "unknown make 'enGarmin'"},
        {{"--make", "ennovtel", good}, "unknown make"},  // names are case-sensitive, as in config.ini
        {{good}, "no make given"},
        {{"--make", "enOther"}, "no input files"},
        {{"--make", "enOther", Data("no/such/capture.log")}, "cannot read"},
        {{"--make", "enOther", TestDataDir()}, "cannot read"},  // a directory opens, then fails to read
        {{"--make", "enOther", good, Data("no/such/capture.log")}, "cannot read"},
        {{"--make", "enOther", "--chunk", "0", good}, "--chunk"},
        {{"--make", "enOther", "--chunk", "2049", good}, "--chunk"},
        {{"--make", "enOther", "--chunk", "12x", good}, "--chunk"},
        {{"--make", "enOther", "--emit", "every:0", good}, "--emit"},
        {{"--make", "enOther", "--emit", "sometimes", good}, "--emit"},
        {{"--make", "enOther", "--seed", "-1", good}, "--seed"},
        {{"--make", "enOther", "--verbose", good}, "unknown option"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        const ToolRun run = RunTool(c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "") << "nothing may be printed before the arguments are known to be good";
    }
}

// The expected outputs are written by this tool and checked in-process for
// every capture; here one capture per make shows that the tool still agrees.
TEST(DecodeTool, DecodesCapturesToTheirExpectedOutput) {
    std::set<std::int32_t> makesSeen;
    for (const auto& row : CaptureRows()) {
        if (!makesSeen.insert(row.make).second) continue;
        SCOPED_TRACE(row.path);
        const ToolRun run =
            RunTool({"--make", row.makeName, "--chunk", "2048", "--emit", "end", row.DataPath()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto golden = ReadText(row.GoldenPath());
        ASSERT_TRUE(golden) << "missing " << row.GoldenPath();
        EXPECT_EQ(run.out, *golden);
    }
}

// Random chunks (the default), single bytes and whole 2048-byte chunks must
// agree on a capture whose framing leaves the cuts no say.
TEST(DecodeTool, ChunkSizeDoesNotChangeTheResultOfACrLfCapture) {
    for (const auto& [make, path] :
         {std::pair{"enTrimbleNMEA", kNmeaCapture}, std::pair{"enNovtel", kBinaryCapture}}) {
        SCOPED_TRACE(path);
        const ToolRun byDefault = RunTool({"--make", make, Data(path)});
        const ToolRun single = RunTool({"--make", make, "--chunk", "1", Data(path)});
        const ToolRun whole = RunTool({"--make", make, "--chunk", "2048", Data(path)});
        ASSERT_EQ(byDefault.exitCode, 0) << byDefault.err;
        EXPECT_EQ(byDefault.Lines().size(), 1u);
        EXPECT_EQ(single.out, byDefault.out);
        EXPECT_EQ(whole.out, byDefault.out);
    }
}

TEST(DecodeTool, EmitEveryPrintsOnceForEachWholeMultipleOfNBytes) {
    const std::string path = Data(kNmeaCapture);
    const auto size = static_cast<std::size_t>(fs::file_size(path));
    struct Case {
        std::vector<std::string> args;
        std::size_t expectedLines;
    } cases[] = {
        {{"--emit", "every:1000", path}, size / 1000},
        {{"--emit", "every:1000", "--chunk", "7", path}, size / 1000},
        {{"--emit", "every:1000", "--chunk", "2048", path}, size / 1000},
        {{"--emit", "every:" + std::to_string(size), path}, 1},
        {{"--emit", "every:" + std::to_string(size + 1), path}, 0},
        // Files are one stream: the count runs across the boundary between them.
        {{"--emit", "every:1000", path, path}, 2 * size / 1000},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"--make", "enTrimbleNMEA"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun run = RunTool(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.Lines().size(), c.expectedLines) << c.args[1] << " " << c.args[2];
    }
    // The line at the very last byte is the record that `end` prints.
    const ToolRun atEnd =
        RunTool({"--make", "enTrimbleNMEA", "--emit", "every:" + std::to_string(size), path});
    const ToolRun end = RunTool({"--make", "enTrimbleNMEA", path});
    EXPECT_EQ(atEnd.out, end.out);
}

TEST(DecodeTool, EmitChangePrintsEachNewFixOnceAndEndsOnTheFinalRecord) {
    const std::string path = Data(kNmeaCapture);
    const auto size = static_cast<std::size_t>(fs::file_size(path));
    constexpr std::size_t kChunk = 256;
    const ToolRun run =
        RunTool({"--make", "enTrimbleNMEA", "--chunk", std::to_string(kChunk), "--emit", "change", path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto lines = run.Lines();
    // At most one line per chunk; a 10 Hz capture changes in almost every one.
    EXPECT_LE(lines.size(), (size + kChunk - 1) / kChunk);
    EXPECT_GE(lines.size(), size / kChunk / 2);
    const auto fixOf = [](const std::string& line) {
        const auto json = ParseJson(line);
        EXPECT_TRUE(json) << line;
        std::string key;
        for (const char* name : {"hour", "minute", "second", "fixQuality", "latitude", "longitude",
                                 "altitude", "year", "month", "day"}) {
            char text[40];
            std::snprintf(text, sizeof text, "%.17g ", json ? json->NumberOr(name, 0) : 0.0);
            key += text;
        }
        return key;
    };
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_NE(fixOf(lines[i]), fixOf(lines[i - 1])) << "line " << i << " repeats the one before";
    }
    const ToolRun end = RunTool({"--make", "enTrimbleNMEA", "--chunk", std::to_string(kChunk), path});
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back() + "\n", end.out);
}

TEST(DecodeTool, JsonKeysAreTheStateFieldNames) {
    const ToolRun run = RunTool({"--make", "enNovtel", Data(kBinaryCapture)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto json = ParseJson(run.out);
    ASSERT_TRUE(json && json->kind == Json::Kind::Object) << run.out;
    // The scalars in record order, then the four tables in record order.
    // clang-format off
    const std::vector<std::string> expected = {
        "year", "month", "day", "hour", "minute", "second", "fixQuality",
        "latitude", "longitude", "altitude", "geoidSeparation", "pdop", "hdop", "vdop", "hrms", "vrms",
        "latitudeSigma", "longitudeSigma", "satellitesTotal",
        "gpsCount", "glonassCount", "beidouCount", "galileoCount", "differentialAge",
        "gpsSats", "beidouSats", "glonassSats", "galileoSats"};
    // clang-format on
    std::vector<std::string> keys;
    for (const auto& [key, value] : json->members) keys.push_back(key);
    EXPECT_EQ(keys, expected);

    const Json* gps = json->Find("gpsSats");
    ASSERT_TRUE(gps && gps->kind == Json::Kind::Array);
    ASSERT_FALSE(gps->items.empty()) << "this capture's TRACKSTAT fills the GPS table";
    const std::vector<std::string> entryKeys = {"prn", "elevation", "azimuth", "snr1", "snr2", "used"};
    for (const Json& entry : gps->items) {
        std::vector<std::string> got;
        for (const auto& [key, value] : entry.members) got.push_back(key);
        EXPECT_EQ(got, entryKeys);
    }
    EXPECT_EQ(gps->items.size(), static_cast<std::size_t>(json->NumberOr("gpsCount", -1)));
}

TEST(DecodeTool, StatsGoToStderrAndLeaveStdoutAlone) {
    const ToolRun plain = RunTool({"--make", "enNovtel", Data(kBinaryCapture)});
    const ToolRun stats = RunTool({"--make", "enNovtel", "--stats", Data(kBinaryCapture)});
    ASSERT_EQ(stats.exitCode, 0);
    EXPECT_EQ(stats.out, plain.out);
    const auto size = fs::file_size(Data(kBinaryCapture));
    EXPECT_NE(stats.err.find("bytes " + std::to_string(size) + " frames "), std::string::npos) << stats.err;
}

// Writes the bytes to fd; false when the reader went away first.
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

ToolRun RunFed(const std::vector<std::string>& args, const std::function<void(int fd)>& feed) {
    return test::RunProgram(SEXTARA_DECODE_BIN, args, test::EnvironmentWith({}, {}),
                            std::chrono::seconds(120), feed);
}

// Mended: the inputs are streamed, no longer read whole. Standard input
// ("-") and a FIFO give exactly the lines of the file, and a stream larger
// than the memory reading it whole took (256 MiB of zeros, as from
// /dev/zero) leaves the peak resident size at a few megabytes.
TEST(DecodeTool, StreamsStandardInputAndAFifoInBoundedMemory) {
    const std::string path = Data(kNmeaCapture);
    const auto capture = ReadText(path);
    ASSERT_TRUE(capture);
    const auto on = [](const std::string& input) {
        return std::vector<std::string>{"--make", "enTrimbleNMEA", "--emit", "change", input};
    };
    const ToolRun file = RunTool(on(path));
    ASSERT_EQ(file.exitCode, 0) << file.err;
    ASSERT_GT(file.Lines().size(), 10u);

    const ToolRun piped = RunFed(on("-"), [&](int fd) { EXPECT_TRUE(WriteAll(fd, *capture)); });
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.out, file.out);

    const std::string fifo =
        (fs::temp_directory_path() / ("sextara-fifo-" + std::to_string(::getpid()))).string();
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600)) << std::strerror(errno);
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);  // waits for the reader
        if (fd < 0) return;
        WriteAll(fd, *capture);
        ::close(fd);
    });
    const ToolRun fromFifo = RunTool(on(fifo));
    writer.join();
    ::unlink(fifo.c_str());
    EXPECT_EQ(fromFifo.exitCode, 0) << fromFifo.err;
    EXPECT_EQ(fromFifo.out, file.out);

    constexpr std::size_t kMiB = std::size_t{1} << 20;
    constexpr std::size_t kStreamMiB = 256;
    const ToolRun zeros = RunFed({"--make", "enOther", "--stats", "-"}, [&](int fd) {
        const std::string block(kMiB, '\0');
        for (std::size_t i = 0; i < kStreamMiB && WriteAll(fd, block); ++i) {
        }
    });
    ASSERT_EQ(zeros.exitCode, 0) << zeros.err;
    EXPECT_NE(zeros.err.find("bytes " + std::to_string(kStreamMiB * kMiB) + " "), std::string::npos) << zeros.err;
    // A whole-input reader peaks above the stream's 256 MiB; the streaming one
    // stays near its start-up size (also under the sanitizers).
    EXPECT_LT(zeros.maxResidentKb, 64 * 1024);
}

}  // namespace
}  // namespace sextara::testing
