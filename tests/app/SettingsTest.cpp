#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <sstream>
#include <vector>

#include "app/EventLog.h"
#include "app/Settings.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"
#include "support/HomeFolderTest.h"
#include "support/TempFiles.h"

namespace sextara {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

class SettingsTest : public test::HomeFolderTest {
protected:
    std::string Config() const { return home_.File("config.ini"); }
};

TEST_F(SettingsTest, LoadConfigReadsKeysWithTheirDefaults) {
    struct Row {
        const char* name;
        const char* file;
        int gpsPort, gpsBaud, diffPort, diffBaud;
        ReceiverType type;
        int language, battery;
    };
    const Row rows[] = {
        {"empty file", "", 3, 57600, 6, 57600, enOther, 1, 20},
        {"every key",
         "[PORT]\nGPSPort=5\nGPSBaud=115200\nDiffPort=2\nDiffBaud=19200\n[BOARDTYPE]\nType=enHemis\n"
         "[LANG]\nLanguage=0\n[BATTERY]\nBatteryValue=35\n",
         5, 115200, 2, 19200, enHemis, 0, 35},
        {"spaces around equals", "[PORT]\nGPSPort = 5\n", 3, 57600, 6, 57600, enOther, 1, 20},
        {"header with comment", "[PORT] ; receiver\nGPSPort=5\n", 3, 57600, 6, 57600, enOther, 1, 20},
        {"type with comment", "[BOARDTYPE]\nType=enHemis ; x\n", 3, 57600, 6, 57600, enOther, 1, 20},
        {"type in other case", "[BOARDTYPE]\nType=enNOVTEL\n", 3, 57600, 6, 57600, enOther, 1, 20},
        {"last make", "[BOARDTYPE]\r\nType=enBlox9P\r\n", 3, 57600, 6, 57600, enBlox9P, 1, 20},
        {"language any number", "[LANG]\nLanguage=7\n", 3, 57600, 6, 57600, enOther, 1, 20},
        {"language text", "[LANG]\nLanguage=English\n", 3, 57600, 6, 57600, enOther, 0, 20},
    };
    for (const Row& row : rows) {
        WriteBytes(Config(), row.file);
        ConfigSettings settings;
        ASSERT_TRUE(LoadConfig(Config(), settings)) << row.name;
        EXPECT_EQ(settings.GPSPort, row.gpsPort) << row.name;
        EXPECT_EQ(settings.GPSBaud, row.gpsBaud) << row.name;
        EXPECT_EQ(settings.DiffPort, row.diffPort) << row.name;
        EXPECT_EQ(settings.DiffBaud, row.diffBaud) << row.name;
        EXPECT_EQ(settings.receiverType, row.type) << row.name;
        EXPECT_EQ(settings.language, row.language) << row.name;
        EXPECT_EQ(settings.effectiveLanguage, row.language) << row.name;
        EXPECT_EQ(settings.batteryValue, row.battery) << row.name;
    }
}

TEST_F(SettingsTest, WithoutConfigIniNothingIsReadOrWritten) {
    ConfigSettings settings;
    settings.GPSPort = 7;
    EXPECT_FALSE(LoadConfig(Config(), settings));
    EXPECT_EQ(settings.GPSPort, 7);
    EXPECT_EQ(settings.DiffPort, 4);
    EXPECT_FALSE(SaveConfig(Config(), settings));
    EXPECT_FALSE(test::Exists(Config()));
}

// A config.ini that cannot be used is reported once, leaves the defaults and
// is not rewritten at exit, so whatever is in it can still be recovered.
TEST_F(SettingsTest, UnusableConfigGivesDefaultsALogLineAndNoSave) {
    struct Row {
        const char* name;
        std::string contents;
        bool makeDirectory;
        const char* logLine;
    };
    const Row rows[] = {
        {"zero bytes inside", std::string("[PORT]\nGPSPort=5\n\0\0\x01garbage", 24), false,
         "Config File Garbled, Defaults Used!"},
        {"a folder named config.ini", "", true, "Config File Unreadable, Defaults Used!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(Config());
        std::filesystem::remove(home_.File("Mylog.txt"));
        if (row.makeDirectory) {
            std::filesystem::create_directory(Config());
        } else {
            WriteBytes(Config(), row.contents);
        }
        ConfigSettings settings;
        EXPECT_FALSE(LoadConfig(Config(), settings));
        EXPECT_EQ(settings.GPSPort, 3);
        EXPECT_NE(Log().find(row.logLine), std::string::npos) << Log();
        settings.GPSPort = 9;
        EXPECT_FALSE(SaveConfig(Config(), settings));
        if (!row.makeDirectory) {
            EXPECT_EQ(ReadBytes(Config()), row.contents);
        }
    }
}

// A FIFO in a settings or log file's place (a device node behaves alike) is
// refused with a log line; opening it the usual way would wait for a writer
// or reader forever, with the program hung at start and deaf to SIGTERM.
TEST_F(SettingsTest, FilesThatAreNotRegularAreRefusedWithoutWaiting) {
    struct Row {
        const char* file;
        std::function<void()> use;
        const char* logLine;  // nullptr: the log itself is the FIFO
    };
    const Row rows[] = {
        {"config.ini", [&] { ConfigSettings settings; EXPECT_FALSE(LoadConfig(Config(), settings)); },
         "Config File Unreadable, Defaults Used! (not a regular file)"},
        {"registry.ini",
         [&] {
             platform::RegistryStore store(home_.File("registry.ini"), AppendLog);
             RegistrySettings settings;
             EXPECT_FALSE(LoadRegistrySettings(store, settings));
         },
         "Registry File Unreadable, Defaults Used! (not a regular file)"},
        {"Mylog.txt", [] { AppendLog("into a FIFO"); }, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::string fifo = home_.File(row.file);
        std::filesystem::remove(fifo);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
        auto done = std::async(std::launch::async, row.use);
        if (done.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
            ADD_FAILURE() << "blocked on the FIFO";
            // Both ends at once: releases an open waiting for either.
            ::close(::open(fifo.c_str(), O_RDWR | O_NONBLOCK));
        }
        done.wait();
        struct stat info {};
        EXPECT_TRUE(::stat(fifo.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) << "left as it was";
        if (row.logLine != nullptr) {
            EXPECT_NE(Log().find(row.logLine), std::string::npos) << Log();
        }
        std::filesystem::remove(fifo);
    }
}

// Matching stays exact, but an edit that only blanks, letter case or an
// editor's byte-order mark keep from matching gets one line naming it.
TEST_F(SettingsTest, HandEditsThatAlmostMatchAreNamedInTheLog) {
    struct Row {
        const char* file;
        std::vector<std::string> lines;  // what the log gets, in order
    };
    const std::string tail = " must be written exactly (no blanks, other case or byte-order mark)";
    const Row rows[] = {
        {"[PORT]\nGPSPort=5\n[BOARDTYPE]\nType=enHemis\n[VENDOR]\ngpsport = 1\n[port2]\n", {}},
        {"[PORT]\nGPSPort = 5\n", {"config.ini line 2 \"GPSPort = 5\" not used: key GPSPort of [PORT]" + tail}},
        {"[LANG]\r\n language=0\r\n", {"config.ini line 2 \" language=0\" not used: key Language of [LANG]" + tail}},
        {"\xEF\xBB\xBF[PORT]\nGPSPort=5\n[port]\n[ BATTERY ] ; warn\n",
         {"config.ini line 1 \"\xEF\xBB\xBF[PORT]\" not used: section [PORT]" + tail,
          "config.ini line 3 \"[port]\" not used: section [PORT]" + tail,
          "config.ini line 4 \"[ BATTERY ] ; warn\" not used: section [BATTERY]" + tail}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        WriteBytes(Config(), row.file);
        std::filesystem::remove(home_.File("Mylog.txt"));
        ConfigSettings settings;
        ASSERT_TRUE(LoadConfig(Config(), settings));
        std::vector<std::string> logged;
        std::istringstream log(Log());
        for (std::string line; std::getline(log, line);) logged.push_back(line.substr(11, line.size() - 12));
        EXPECT_EQ(logged, row.lines);
    }
}

TEST_F(SettingsTest, PortOrRateThatCannotBeUsedFallsBackWithALogLine) {
    WriteBytes(Config(), "[PORT]\nGPSPort=0\nGPSBaud=fast\n");
    ConfigSettings settings;
    EXPECT_TRUE(LoadConfig(Config(), settings));
    EXPECT_EQ(settings.GPSPort, 3);
    EXPECT_EQ(settings.GPSBaud, 57600);
    EXPECT_NE(Log().find("Config GPSPort Invalid, Default Used!"), std::string::npos);
    EXPECT_NE(Log().find("Config GPSBaud Invalid, Default Used!"), std::string::npos);
}

TEST_F(SettingsTest, SaveConfigKeepsCommentsForeignSectionsAndOrder) {
    WriteBytes(Config(),
               "; Sextara settings\n"
               "[PORT]\n"
               "GPSPort=3 ; COM number\n"
               "[VENDOR]\n"
               "Owner=Survey team 4\n"
               "[COMMAP]\n"
               "COM3=/dev/ttyUSB0\n"
               "[BOARDTYPE]\n"
               "Type=enOther\n"
               "[BATTERY]\n"
               "BatteryValue=15\n");
    ConfigSettings settings;
    ASSERT_TRUE(LoadConfig(Config(), settings));
    settings.GPSPort = 4;
    settings.GPSBaud = 115200;
    settings.receiverType = static_cast<ReceiverType>(42);
    settings.language = 0;
    settings.batteryValue = 99;
    ASSERT_TRUE(SaveConfig(Config(), settings));
    EXPECT_EQ(ReadBytes(Config()),
              "; Sextara settings\r\n"
              "[PORT]\r\n"
              "DiffBaud=57600\r\n"
              "DiffPort=6\r\n"
              "GPSBaud=115200\r\n"
              "GPSPort=4; COM number\r\n"
              "[VENDOR]\r\n"
              "Owner=Survey team 4\r\n"
              "[COMMAP]\r\n"
              "COM3=/dev/ttyUSB0\r\n"
              "[BOARDTYPE]\r\n"
              "Type=enOther\r\n"
              "[BATTERY]\r\n"
              "BatteryValue=15\r\n"
              "[LANG]\r\n"
              "Language=0\r\n");
}

TEST_F(SettingsTest, ComMapFeedsTheSerialLayer) {
    WriteBytes(Config(),
               "[COMMAP]\n"
               "COM3=/dev/ttyUSB0\n"
               " COM12 = /dev/serial/by-id/usb-receiver-if00 \n"
               "COM4=\n"
               "COM0=/dev/null\n"
               "COMX=/dev/null\n"
               "LPT1=/dev/lp0\n"
               "[OTHER]\n"
               "COM5=/dev/ttyACM0\n");
    ConfigSettings settings;
    ASSERT_TRUE(LoadConfig(Config(), settings));
    EXPECT_EQ(settings.comDevicePaths,
              (std::map<int, std::string>{{3, "/dev/ttyUSB0"}, {12, "/dev/serial/by-id/usb-receiver-if00"}}));
    // Loading leaves the process-wide map alone; the caller installs it.
    EXPECT_EQ(platform::ComDevicePath(3), "/dev/ttyS2");
    platform::InstallComDevicePaths(settings.comDevicePaths);
    EXPECT_EQ(platform::ComDevicePath(3), "/dev/ttyUSB0");
    EXPECT_EQ(platform::ComDevicePath(12), "/dev/serial/by-id/usb-receiver-if00");
    EXPECT_EQ(platform::ComDevicePath(5), "/dev/ttyS4");
}

TEST_F(SettingsTest, RegistryFirstStartUsesDefaultsAndCreatesTheKeyAtExit) {
    platform::RegistryStore store(home_.File("registry.ini"), AppendLog);
    RegistrySettings settings;
    EXPECT_FALSE(LoadRegistrySettings(store, settings));
    EXPECT_EQ(settings.recordName, "LogRawName");
    EXPECT_EQ(settings.recordInterval, 3);
    EXPECT_EQ(settings.cutoffAngle, 10);
    EXPECT_EQ(settings.dataTransfer, 0);

    ASSERT_TRUE(SaveRegistrySettings(store, settings));
    // The file a person would open to check the settings.
    const std::string file = ReadBytes(home_.File("registry.ini"));
    EXPECT_EQ(file.substr(file.find("\n[") + 1),
              "[software\\Brellmark]\n\"LOGNAME\"=\"LogRawName\"\n\"LOGTYPE\"=dword:00000000\n"
              "\"INTERVAL\"=dword:00000003\n\"CUTOFF\"=dword:0000000a\n\"DATATRANSF\"=dword:00000000\n");
    EXPECT_FALSE(test::Exists(home_.File("Mylog.txt")));
}

TEST_F(SettingsTest, RegistrySettingsRoundTripWithALongName) {
    RegistrySettings saved;
    saved.recordName = "Bridge_North_Abutment_Monitoring_Point_07_站点";
    saved.recordDataType = 1;
    saved.recordInterval = 9;
    saved.cutoffAngle = -5;
    saved.dataTransfer = 1;
    {
        platform::RegistryStore store(home_.File("registry.ini"), AppendLog);
        ASSERT_TRUE(SaveRegistrySettings(store, saved));
    }
    platform::RegistryStore store(home_.File("registry.ini"), AppendLog);
    RegistrySettings loaded;
    ASSERT_TRUE(LoadRegistrySettings(store, loaded));
    EXPECT_GT(saved.recordName.size(), 32u);
    EXPECT_EQ(loaded.recordName, saved.recordName);
    EXPECT_EQ(loaded.recordDataType, 1);
    EXPECT_EQ(loaded.recordInterval, 9);
    EXPECT_EQ(loaded.cutoffAngle, -5);
    EXPECT_EQ(loaded.dataTransfer, 1);
}

TEST_F(SettingsTest, RegistryNameDecidesWhetherTheNumbersCount) {
    struct Row {
        const char* name;
        const char* file;
        bool loaded;
        RegistrySettings expected;
    };
    const Row rows[] = {
        {"empty name ignores the numbers",
         "[software\\Brellmark]\n\"LOGNAME\"=\"\"\n\"INTERVAL\"=dword:9\n\"CUTOFF\"=dword:f\n", false,
         RegistrySettings{}},
        {"no name ignores the numbers", "[software\\Brellmark]\n\"CUTOFF\"=dword:f\n", false,
         RegistrySettings{}},
        {"name given, missing numbers keep theirs",
         "[software\\Brellmark]\n\"LOGNAME\"=\"A\"\n\"CUTOFF\"=dword:f\n", true,
         RegistrySettings{"A", 0, 3, 15, 0}},
        {"other key only", "[software\\GPS\\GPS]\n\"LOGNAME\"=\"A\"\n", false, RegistrySettings{}},
    };
    for (const Row& row : rows) {
        WriteBytes(home_.File("registry.ini"), row.file);
        platform::RegistryStore store(home_.File("registry.ini"), AppendLog);
        RegistrySettings settings;
        settings.recordName = "from an earlier run";
        EXPECT_EQ(LoadRegistrySettings(store, settings), row.loaded) << row.name;
        EXPECT_EQ(settings.recordName, row.expected.recordName) << row.name;
        EXPECT_EQ(settings.recordInterval, row.expected.recordInterval) << row.name;
        EXPECT_EQ(settings.cutoffAngle, row.expected.cutoffAngle) << row.name;
    }
    EXPECT_FALSE(test::Exists(home_.File("Mylog.txt")));
}

TEST_F(SettingsTest, CorruptRegistryFileGivesDefaultsAndALogLine) {
    SetLogTimeSource([] { return LogTime{8, 0, 1}; });
    WriteBytes(home_.File("registry.ini"), "[software\\Brellmark]\n\"LOGNAME\"=\"Site\n\"CUTOFF\"=dword:5\n");
    platform::RegistryStore store(home_.File("registry.ini"), AppendLog);
    RegistrySettings settings;
    EXPECT_FALSE(LoadRegistrySettings(store, settings));
    EXPECT_EQ(settings.recordName, "LogRawName");
    EXPECT_EQ(settings.cutoffAngle, 10);
    EXPECT_EQ(Log(), "[08:00:01] Registry File Corrupt, Defaults Used!\r\n");
    SetLogTimeSource(nullptr);
}

TEST_F(SettingsTest, RegistrySaveThatCannotCreateTheKeyIsLogged) {
    SetLogTimeSource([] { return LogTime{8, 0, 2}; });
    platform::RegistryStore store(home_.File("gone/registry.ini"), AppendLog);
    EXPECT_FALSE(SaveRegistrySettings(store, RegistrySettings{}));
    EXPECT_EQ(Log(), "[08:00:02] SaveFileName Create Key Unsuccessfully\r\n");
    SetLogTimeSource(nullptr);
}

}  // namespace
}  // namespace sextara
