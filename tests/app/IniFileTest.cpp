#include <gtest/gtest.h>

#include "app/IniFile.h"
#include "support/TempFiles.h"

namespace sextara {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

IniFile LoadText(TempDir& dir, const std::string& text) {
    WriteBytes(dir.File("config.ini"), text);
    IniFile ini;
    EXPECT_TRUE(ini.Load(dir.File("config.ini")));
    return ini;
}

// The literal matching rules: what existing files hold and what is (or is
// not) found in them.
TEST(IniFile, LookupRules) {
    struct Row {
        const char* name;
        const char* file;
        const char* section;
        const char* key;
        std::string expected;  // "<default>" when not found
    };
    const Row rows[] = {
        {"plain", "[PORT]\nGPSPort=5\n", "PORT", "GPSPort", "5"},
        {"crlf", "[PORT]\r\nGPSPort=5\r\n", "PORT", "GPSPort", "5"},
        {"last line without end", "[PORT]\nGPSPort=5", "PORT", "GPSPort", "5"},
        {"spaces around equals", "[PORT]\nGPSPort = 5\n", "PORT", "GPSPort", "<default>"},
        {"space after key only", "[PORT]\nGPSPort =5\n", "PORT", "GPSPort", "<default>"},
        {"space in value kept", "[PORT]\nGPSPort= 5\n", "PORT", "GPSPort", " 5"},
        {"key case matters", "[PORT]\ngpsport=5\n", "PORT", "GPSPort", "<default>"},
        {"section case matters", "[port]\nGPSPort=5\n", "PORT", "GPSPort", "<default>"},
        {"header with comment", "[PORT] ; receiver\nGPSPort=5\n", "PORT", "GPSPort", "<default>"},
        {"header with space", "[PORT] \nGPSPort=5\n", "PORT", "GPSPort", "<default>"},
        {"value comment cut, space kept", "[BOARDTYPE]\nType=enHemis ; x\n", "BOARDTYPE", "Type", "enHemis "},
        {"empty value", "[PORT]\nGPSPort=\n", "PORT", "GPSPort", ""},
        {"value with equals", "[COMMAP]\nCOM3=a=b\n", "COMMAP", "COM3", "a=b"},
        {"commented-out entry", "[PORT]\n;GPSPort=5\n", "PORT", "GPSPort", "<default>"},
        {"equals only in comment", "[PORT]\nGPSPort;=5\n", "PORT", "GPSPort", "<default>"},
        {"other section", "[LANG]\nGPSPort=5\n[PORT]\nGPSBaud=9600\n", "PORT", "GPSPort", "<default>"},
        {"search stops at next header", "[PORT]\n[X]\nGPSPort=5\n", "PORT", "GPSPort", "<default>"},
        {"stops at a header with comment", "[PORT]\n[X] ;c\nGPSPort=5\n", "PORT", "GPSPort", "<default>"},
        {"first of two sections", "[PORT]\nA=1\n[PORT]\nGPSPort=5\n", "PORT", "GPSPort", "<default>"},
        {"first of two keys", "[PORT]\nGPSPort=5\nGPSPort=6\n", "PORT", "GPSPort", "5"},
        {"brackets in a value make a header", "[PORT]\nName=[a]\nGPSPort=5\n", "PORT", "GPSPort",
         "<default>"},
        {"entry before any section", "GPSPort=5\n[PORT]\n", "PORT", "GPSPort", "<default>"},
    };
    for (const Row& row : rows) {
        TempDir dir;
        IniFile ini = LoadText(dir, row.file);
        EXPECT_EQ(ini.GetString(row.section, row.key, "<default>"), row.expected) << row.name;
    }
}

TEST(IniFile, NumbersAsTheCLibraryReadsThem) {
    struct Row {
        const char* value;
        int asInt;
        bool asBool;
    };
    const Row rows[] = {
        {"115200", 115200, true}, {" -3", -3, true}, {"12abc", 12, true},
        {"abc", 0, false},        {"", 0, false},    {"99999999999", INT32_MAX, true},
    };
    for (const Row& row : rows) {
        TempDir dir;
        IniFile ini = LoadText(dir, std::string("[S]\nK=") + row.value + "\n");
        EXPECT_EQ(ini.GetInt("S", "K", 42), row.asInt) << row.value;
        EXPECT_EQ(ini.GetBool("S", "K", true), row.asBool) << row.value;
    }
    IniFile empty;
    EXPECT_EQ(empty.GetInt("S", "K", 57600), 57600);
    EXPECT_TRUE(empty.GetBool("S", "K", true));
    EXPECT_FALSE(empty.GetBool("S", "K", false));
}

TEST(IniFile, DoublesRoundTripAndDefaultsPassThroughText) {
    TempDir dir;
    IniFile ini = LoadText(dir, "");
    ini.SetDouble("GGA", "Lat", 31.123456789012345);
    EXPECT_EQ(ini.GetString("GGA", "Lat", ""), "31.12345678901234435898");
    EXPECT_DOUBLE_EQ(ini.GetDouble("GGA", "Lat", 0.0), 31.123456789012345);
    // A missing key gives its default as 11 significant digits.
    EXPECT_DOUBLE_EQ(ini.GetDouble("GGA", "Lon", 121.123456789012), 121.12345679);
    ini.SetString("GGA", "Bad", "north");
    EXPECT_EQ(ini.GetDouble("GGA", "Bad", 5.0), 0.0);
}

TEST(IniFile, SaveKeepsEverythingElseAndWritesCrLf) {
    TempDir dir;
    const std::string original =
        "; written by the installer\n"
        "[PORT]\n"
        "GPSPort=3 ; receiver COM port\n"
        "GPSBaud=57600\n"
        "\n"
        "[VENDOR]\n"
        "Serial=AB-1234\n"
        "   free text line\n"
        "[BOARDTYPE]\n"
        "Type=enOther\n";
    IniFile ini = LoadText(dir, original);
    ini.SetInt("PORT", "GPSPort", 5);
    ini.SetString("BOARDTYPE", "Type", "enNovtel");
    ASSERT_TRUE(ini.Save(dir.File("config.ini")));
    EXPECT_EQ(ReadBytes(dir.File("config.ini")),
              "; written by the installer\r\n"
              "[PORT]\r\n"
              "GPSPort=5; receiver COM port\r\n"
              "GPSBaud=57600\r\n"
              "\r\n"
              "[VENDOR]\r\n"
              "Serial=AB-1234\r\n"
              "   free text line\r\n"
              "[BOARDTYPE]\r\n"
              "Type=enNovtel\r\n");
}

TEST(IniFile, NewKeysGoUnderTheHeaderInReverseAndNewSectionsAtTheEnd) {
    TempDir dir;
    IniFile ini = LoadText(dir, "[PORT]\nGPSPort=3\n[LANG]\nLanguage=1\n");
    ini.SetInt("PORT", "DiffPort", 6);
    ini.SetInt("PORT", "DiffBaud", 57600);
    ini.SetString("BOARDTYPE", "Type", "enHemis");
    ini.SetInt("BOARDTYPE", "Spare", 1);
    ASSERT_TRUE(ini.Save(dir.File("out.ini")));
    EXPECT_EQ(ReadBytes(dir.File("out.ini")),
              "[PORT]\r\nDiffBaud=57600\r\nDiffPort=6\r\nGPSPort=3\r\n"
              "[LANG]\r\nLanguage=1\r\n"
              "[BOARDTYPE]\r\nSpare=1\r\nType=enHemis\r\n");
}

// A line of any length is one line: split into pieces, a save would write it
// back as several lines, some of them turned into entries or headers.
TEST(IniFile, LongLinesSurviveWhole) {
    TempDir dir;
    const std::string longComment = "; " + std::string(400, 'c') + "[x]=y";
    const std::string longValue(300, 'v');
    const std::string original = longComment + "\r\n[SITE]\r\nNote=" + longValue + " ;" +
                                 std::string(260, 'n') + "\r\nName=" + std::string(253, 'a') + "=b\r\n";
    IniFile ini = LoadText(dir, original);
    ASSERT_EQ(ini.Lines().size(), 4u);
    EXPECT_EQ(ini.GetString("SITE", "Note", ""), longValue + " ");
    EXPECT_EQ(ini.GetString("SITE", "Name", ""), std::string(253, 'a') + "=b");
    ASSERT_TRUE(ini.Save(dir.File("config.ini")));
    EXPECT_EQ(ReadBytes(dir.File("config.ini")), original);
}

TEST(IniFile, UpdatedValueMayContainAnything) {
    TempDir dir;
    IniFile ini = LoadText(dir, "[S]\nK=1 ;c\n");
    ini.SetString("S", "K", "[x]");
    EXPECT_EQ(ini.GetString("S", "K", ""), "[x]");
    ini.SetString("S", "New", "[y]");
    EXPECT_EQ(ini.GetString("S", "New", ""), "[y]");
    EXPECT_EQ(ini.GetString("S", "K", ""), "[x]");
}

TEST(IniFile, DeleteKey) {
    TempDir dir;
    IniFile ini = LoadText(dir, "[A]\nK=1\n[B]\nK=2\n");
    EXPECT_FALSE(ini.DeleteKey("C", "K"));
    EXPECT_TRUE(ini.DeleteKey("B", "K"));
    EXPECT_FALSE(ini.DeleteKey("B", "K"));
    EXPECT_EQ(ini.GetString("A", "K", ""), "1");
    ASSERT_TRUE(ini.Save(dir.File("config.ini")));
    EXPECT_EQ(ReadBytes(dir.File("config.ini")), "[A]\r\nK=1\r\n[B]\r\n");
}

TEST(IniFile, FailedSaveLeavesTheFileAndEmptiesTheStore) {
    TempDir dir;
    const std::string original = "[PORT]\r\nGPSPort=3\r\n";
    IniFile ini = LoadText(dir, original);
    ini.SetString("PORT", "Filler", std::string(1000, 'f'));
    {
        test::FileSizeLimit limit(original.size());
        EXPECT_FALSE(ini.Save(dir.File("config.ini")));
    }
    EXPECT_TRUE(ini.Lines().empty());
    EXPECT_EQ(ReadBytes(dir.File("config.ini")), original);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"config.ini"});
    // A file that cannot be read loads nothing, a folder included.
    EXPECT_FALSE(ini.Load(dir.Path()));
    EXPECT_FALSE(ini.Load(dir.File("missing.ini")));
}

}  // namespace
}  // namespace sextara
