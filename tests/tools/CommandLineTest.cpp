// The four programs' command lines, run as a user runs them: refusals exit
// with 2 and say why on stderr (nothing on stdout), --help lists every
// option in its group's order, and the window without a display points to
// the two programs that need none.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decode/ReceiverMakes.h"
#include "support/RunProgram.h"
#include "support/TempFiles.h"

namespace sextara::test {
namespace {

const std::string kCapture = SEXTARA_TEST_DATA "/nmea/gpsd/hab-gpspi.log";
const std::string kHeadless = SEXTARA_HEADLESS_BIN;
const std::string kSim = SEXTARA_SIM_BIN;
const std::string kDecode = SEXTARA_DECODE_BIN;

// Without a display the window cannot start by mistake when a refusal is
// missed: it would exit with the display message instead.
std::vector<std::string> NoDisplay(std::vector<std::string> set = {}) {
    return EnvironmentWith({"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}, set);
}

std::string Joined(const std::vector<std::string>& args) {
    std::string line;
    for (const auto& a : args) line += a + " ";
    return line;
}

struct Program {
    std::string path;
    std::vector<std::string> needed;  // the arguments it needs besides the ones under test
};

std::vector<Program> Programs() {
    std::vector<Program> programs = {
        {kHeadless, {}}, {kSim, {"--baud", "9600", kCapture}}, {kDecode, {kCapture}}};
#ifdef SEXTARA_BIN
    programs.push_back({SEXTARA_BIN, {"--demo"}});
#endif
    return programs;
}

TEST(CommandLine, AnUnknownMakeIsAnsweredWithEveryValidName) {
    for (const Program& program : Programs()) {
        SCOPED_TRACE(program.path);
        std::vector<std::string> args = {"--make", "enGarmin"};
        args.insert(args.end(), program.needed.begin(), program.needed.end());
        const ProgramRun run = RunProgram(program.path, args, NoDisplay());
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("unknown make 'enGarmin'"), std::string::npos) << run.err;
        for (const ReceiverMake& row : kReceiverMakes) {
            EXPECT_NE(run.err.find(" " + std::string(row.configName)), std::string::npos) << row.configName;
        }
    }
}

TEST(CommandLine, BadArgumentsExitWithTwoAndSayWhy) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
        std::vector<std::string> says;
    };
    std::vector<Case> cases = {
        {kHeadless, {"--port", "0"}, {"--port: takes a whole number 1..255"}},
        {kHeadless, {"--port", "256"}, {"--port:"}},
        {kHeadless, {"--port", "010"}, {"--port:"}},  // never read as octal 8
        {kHeadless, {"--baud", "9600x"}, {"--baud:"}},
        {kHeadless, {"--seconds", "-1"}, {"--seconds:"}},
        {kHeadless, {"--caster-port", "65536"}, {"--caster-port:"}},
        {kHeadless, {"--typed-position", "48.1"}, {"LAT,LON"}},
        {kHeadless, {"--record-mode", "fast"}, {"--record-mode:"}},
        {kHeadless, {"--home", ""}, {"--home:"}},
        {kHeadless, {"--ntrip", "--port-client", "5"}, {"one job each"}},
        {kHeadless, {"--colour"}, {"unknown option '--colour'", "--help"}},
        {kSim, {"--make", "enNovtel", "--baud", "9600", "--rate", "0", kCapture}, {"--rate:"}},
        {kSim, {"--make", "enNovtel", "--baud", "9600", "--duration", "86401", kCapture}, {"--duration:"}},
        {kDecode, {"--make", "enOther", "--seed", "1x", kCapture}, {"--seed:"}},
        {kDecode, {"--make", "enOther", kCapture, "--colour"}, {"unknown option '--colour'", "--help"}},
#ifdef SEXTARA_BIN
        {SEXTARA_BIN, {"--geometry", "99x100"}, {"--geometry: takes WxH"}},
        {SEXTARA_BIN, {"--screenshot", "/tmp/x.png", "--size", "8193x10"}, {"--size: takes WxH"}},
        {SEXTARA_BIN,
         {"--screenshot", "/tmp/x.png", "--size", "240x320", "--demo"},
         {"does not take --demo"}},
        {SEXTARA_BIN, {"--tab", "1"}, {"--tab goes with --screenshot"}},
        {SEXTARA_BIN, {"--colour"}, {"unknown option '--colour'", "--help"}},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program + " " + Joined(c.args));
        const ProgramRun run = RunProgram(c.program, c.args, NoDisplay());
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        for (const auto& text : c.says) EXPECT_NE(run.err.find(text), std::string::npos) << run.err;
    }
}

TEST(CommandLine, HelpListsEveryOptionInItsGroupsOrder) {
    struct Case {
        std::string program;
        std::vector<std::string> options;
    };
    std::vector<Case> cases = {
        {kHeadless, {"--home",           "--make",          "--port",
                     "--device",         "--baud",          "--detect",
                     "--seconds",        "--demo",          "--capture",
                     "--record",         "--record-folder", "--record-name",
                     "--record-mode",    "--forward",       "--data-device",
                     "--sync-clock",     "--ntrip",         "--tcp",
                     "--sourcetable",    "--caster",        "--caster-port",
                     "--mount",          "--user",          "--password",
                     "--typed-position", "--port-client",   "--port-client-baud"}},
        {kSim, {"--make", "--baud", "--record", "--duration", "--link", "--realtime", "--rate", "--epochs"}},
        {kDecode, {"--make", "--chunk", "--seed", "--emit", "--stats"}},
#ifdef SEXTARA_BIN
        {SEXTARA_BIN,
         {"--home", "--geometry", "--demo", "--capture", "--make", "--screenshot", "--size", "--tab",
          "--language"}},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const ProgramRun run = RunProgram(c.program, {"--help"}, NoDisplay());
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        std::size_t at = 0;
        for (const auto& option : c.options) {
            const std::size_t found = run.out.find("  " + option + " ", at);
            ASSERT_NE(found, std::string::npos) << option << " missing or out of order in\n" << run.out;
            at = found;
        }
    }
}

#ifdef SEXTARA_BIN
// Qt would abort the window without a display; the program says what works
// instead before it touches anything, and the picture still draws.
TEST(CommandLine, TheWindowWithoutADisplayNamesTheWaysThatNeedNone) {
    TempDir dir;
    const std::string home = dir.File("home");
    // No display named, and one named that nobody serves.
    for (const auto& env : {NoDisplay(), NoDisplay({"DISPLAY=:65533"})}) {
        const ProgramRun run = RunProgram(SEXTARA_BIN, {"--home", home}, env);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("sextara-headless"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("sextara --screenshot"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        EXPECT_FALSE(std::filesystem::exists(home));
    }
    EXPECT_EQ(RunProgram(SEXTARA_BIN, {"--help"}, NoDisplay()).exitCode, 0);
    const std::string picture = dir.File("view.png");
    const ProgramRun shot =
        RunProgram(SEXTARA_BIN, {"--screenshot", picture, "--size", "240x320"}, NoDisplay());
    EXPECT_EQ(shot.exitCode, 0) << shot.err;
    EXPECT_TRUE(std::filesystem::exists(picture));
}
#endif

}  // namespace
}  // namespace sextara::test
