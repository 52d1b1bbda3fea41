// The window's Qt-free rules: the soft-key bar's items, dialog placement,
// window size, the About date, the battery monitor and its warning text, and
// the data folder choice.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/BatteryMonitor.h"
#include "app/DialogPlacement.h"
#include "app/ShellMenu.h"
#include "platform/Paths.h"
#include "support/TempFiles.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;

// The bars as the user reads them and the command ids traces and scripts
// see, in menu order; the rest is checked against the table itself.
TEST(ShellMenu, ItemsIdsAndLanguages) {
    std::vector<MenuAction> actions, correctionMenu;
    std::vector<std::string_view> chinese, english;
    std::vector<int> chineseIds, englishIds;
    for (const ShellMenuItem& item : ShellMenuItems()) {
        SCOPED_TRACE(item.english);
        actions.push_back(item.action);
        if (item.inCorrectionMenu) correctionMenu.push_back(item.action);
        chinese.push_back(TextOf(item, 0));
        english.push_back(TextOf(item, 1));
        chineseIds.push_back(CommandIdOf(item, 0));
        englishIds.push_back(CommandIdOf(item, 1));
        EXPECT_TRUE(item.enabled);
        EXPECT_EQ(&item, FindMenuItem(CommandIdOf(item, 0)));
        EXPECT_EQ(&item, FindMenuItem(CommandIdOf(item, 1)));
    }
    using enum MenuAction;
    EXPECT_EQ(actions, (std::vector<MenuAction>{NtripClient, TcpClient, PortClient, PortSetup, DataRecord,
                                                AdvancedSetup, About, Exit}));
    EXPECT_EQ(correctionMenu, (std::vector<MenuAction>{NtripClient, TcpClient, PortClient}));
    EXPECT_EQ(chinese, (std::vector<std::string_view>{"Ntrip Client", "TCP Client", "PORT Client", "端口设置",
                                                      "数据记录", "高级设置", "关于", "退出"}));
    EXPECT_EQ(english, (std::vector<std::string_view>{"Ntrip Client", "TCP Client", "PORT Client", "Port Setup",
                                                      "Data Record", "Advanced Setup", "About", "Exit"}));
    EXPECT_EQ(chineseIds, (std::vector<int>{32802, 32868, 32876, 32779, 32817, 32815, 32781, 32786}));
    EXPECT_EQ(englishIds, (std::vector<int>{32860, 32870, 32878, 32859, 32858, 32857, 32856, 32863}));
    EXPECT_EQ(MenuAction::Exit, FindMenuItem(kAcceleratorExit)->action);
    EXPECT_EQ(MenuAction::About, FindMenuItem(kAcceleratorAbout)->action);
    EXPECT_EQ(nullptr, FindMenuItem(12345));
    EXPECT_EQ("配置", SetupButtonText(0));
    EXPECT_EQ("Setup", SetupButtonText(1));
    EXPECT_EQ("退出", ExitButtonText(0));
    EXPECT_EQ("Exit", ExitButtonText(1));
}

TEST(ShellMenu, BuildDateIsYearMonthDay) {
    EXPECT_EQ("2019/09/25", BuildDateText("Sep 25 2019"));
    EXPECT_EQ("2026/12/08", BuildDateText("Dec  8 2026"));
    EXPECT_EQ("2024/01/01", BuildDateText("Jan  1 2024"));
    EXPECT_EQ("garbage", BuildDateText("garbage"));
}

TEST(DialogPlacement, PopupAndFullPage) {
    struct Case {
        const char* name;
        int mode, w, h, areaW, areaH;
        PlacementRect expected;
    };
    const Case cases[] = {
        {"PopupNarrowerGoesRight", kPlacePopup, 300, 200, 480, 640, {180, 220, 300, 200}},
        {"PopupAsWideTakesWidthLess4", kPlacePopup, 480, 200, 480, 640, {2, 220, 476, 200}},
        {"PopupWiderTakesWidthLess4", kPlacePopup, 700, 300, 480, 640, {2, 170, 476, 300}},
        {"FullPagePortrait", kPlaceFullPage, 300, 200, 480, 640,
         {0, kCaptionHeight - 2, 480, 640 - kMenuBarHeight - kCaptionHeight - 10}},
        {"FullPageLandscape", 1, 300, 200, 640, 480, {0, kCaptionHeight - 2, 640, 480 - kMenuBarHeight - kCaptionHeight - 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, PlaceDialog(c.mode, c.w, c.h, c.areaW, c.areaH));
    }
}

TEST(DialogPlacement, WindowSize) {
    EXPECT_EQ((WindowSizeChoice{true, 480, 640}), ChooseWindowSize(480, 640, 0, 0));
    EXPECT_EQ((WindowSizeChoice{true, 1024, 768}), ChooseWindowSize(1024, 768, 0, 0));
    EXPECT_EQ((WindowSizeChoice{false, 480, 640}), ChooseWindowSize(1920, 1080, 0, 0));
    EXPECT_EQ((WindowSizeChoice{false, 800, 480}), ChooseWindowSize(480, 640, 800, 480));
}

// A power-supply folder as the kernel shows it.
class BatteryFiles : public ::testing::Test {
protected:
    void AddSupply(const std::string& name, const std::string& type, const std::string& capacity) {
        const std::filesystem::path folder = std::filesystem::path(dir_.Path()) / name;
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "type") << type << "\n";
        if (!capacity.empty()) std::ofstream(folder / "capacity") << capacity << "\n";
    }
    test::TempDir dir_;
};

TEST_F(BatteryFiles, ThresholdsAndAvailability) {
    struct Case {
        const char* name;
        const char* type;
        const char* capacity;
        int threshold;
        bool warns;
    };
    const Case cases[] = {
        {"ZeroNeverWarns", "Battery", "0", 0, false},
        {"HundredAndOneWarnsAtFullCharge", "Battery", "100", 101, true},
        {"BelowDefault", "Battery", "19", 20, true},
        {"AtDefault", "Battery", "20", 20, false},
        {"MainsOnlyIsNotABattery", "Mains", "5", 101, false},
        {"NoCapacityIsNotAvailable", "Battery", "", 101, false},
        {"GarbageIsNotAvailable", "Battery", "lots", 101, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir_.Path() + "/BAT0");
        AddSupply("BAT0", c.type, c.capacity);
        int shown = 0;
        BatteryMonitor monitor(c.threshold, dir_.Path());
        monitor.Attach([&](const std::string&) { ++shown; });
        EXPECT_EQ(c.warns, monitor.CheckOnce());
        EXPECT_EQ(c.warns ? 1 : 0, shown);
    }
    // No power supplies at all: a desktop.
    BatteryMonitor none(101, dir_.Path() + "/missing");
    EXPECT_FALSE(none.CheckOnce());
}

TEST_F(BatteryFiles, StopEndsTheSleepingThreadAtOnce) {
    AddSupply("BAT1", "Battery", "50");
    BatteryMonitor monitor(101, dir_.Path());
    int shown = 0;
    monitor.Attach([&](const std::string&) { ++shown; });
    ASSERT_TRUE(monitor.Start("low"));
    EXPECT_FALSE(monitor.Start("again"));
    const auto before = std::chrono::steady_clock::now();
    monitor.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
    EXPECT_FALSE(monitor.Running());
    EXPECT_EQ(0, shown) << "no check before the first 30 s are up";
}

TEST(BatteryWarningText, DotsOverFourTicks) {
    BatteryWarningText text("low");
    EXPECT_EQ("low", text.Text());
    const char* expected[] = {"low .", "low ..", "low ..."};
    for (const char* line : expected) {
        EXPECT_FALSE(text.Tick());
        EXPECT_EQ(line, text.Text());
    }
    EXPECT_TRUE(text.Tick());
    EXPECT_EQ(4, text.Ticks());
}

TEST(DataFolder, ProgramDirectoryWhenWritableElseTheUsersFolder) {
    EXPECT_EQ("/opt/sx", platform::ChooseDataFolder("/opt/sx", true, "/x", "/home/u"));
    EXPECT_EQ("/x/sextara", platform::ChooseDataFolder("/usr/bin", false, "/x", "/home/u"));
    EXPECT_EQ("/home/u/.local/share/sextara", platform::ChooseDataFolder("/usr/bin", false, nullptr, "/home/u"));
    EXPECT_EQ("/home/u/.local/share/sextara", platform::ChooseDataFolder("/usr/bin", false, "", "/home/u"));
    // A relative XDG_DATA_HOME is invalid and ignored.
    EXPECT_EQ("/home/u/.local/share/sextara", platform::ChooseDataFolder("/usr/bin", false, "rel", "/home/u"));
}

}  // namespace
}  // namespace sextara
