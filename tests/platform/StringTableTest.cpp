#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "platform/StringTable.h"
#include "support/TempFiles.h"

namespace sextara::platform {
namespace {

// libLangRes.so is built next to the executables, sextara-decode among them.
std::string BuiltLibrary() {
    return (std::filesystem::path(SEXTARA_DECODE_BIN).parent_path() / "libLangRes.so").string();
}

struct LogCapture {
    std::vector<std::string> lines;
    LogFunction Function() {
        return [this](const char* message) { lines.emplace_back(message); };
    }
};

TEST(StringTable, OwnTableHoldsTheProgramsTexts) {
    struct Row {
        int id;
        const char* text;
    };
    const Row rows[] = {
        {1, "Sextara"},
        {2, "SEXTARA"},
        {11, "提示"},
        {55, "串口初始化失败,请检查端口是否被占用!"},
        {73, "打开端口失败,请检查端口是否被占用!"},
        {86, "板卡:%s,编译:%s"},
        {93, "电量过低,继续使用会造成系统不稳定"},
        {74, ""},
        {105, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StringTable::OwnString(row.id), row.text) << row.id;
    }
}

// Each language's library load, as the start-up runs it: the effective
// language, the table in use and the log line when English cannot be had.
TEST(StringTable, LanguageFollowsTheLibraryLoad) {
    test::TempDir scratch;
    test::WriteBytes(scratch.File("libLangRes.so"), "not a shared library");
    struct Row {
        const char* name;
        int language;
        std::vector<std::string> candidates;
        int effective;
        const char* title;  // string 11
        bool logged;
    };
    const Row rows[] = {
        {"chinese asked", 0, {BuiltLibrary()}, 0, "提示", false},
        {"english from the first place", 1, {BuiltLibrary()}, 1, "Notice", false},
        {"english after a missing one", 1, {scratch.File("none.so"), BuiltLibrary()}, 1, "Notice", false},
        {"library missing", 1, {scratch.File("none.so")}, 0, "提示", true},
        {"file that is no library", 1, {scratch.File("libLangRes.so")}, 0, "提示", true},
        {"library without the table", 1, {"libm.so.6"}, 0, "提示", true},
    };
    for (const Row& row : rows) {
        StringTable table;
        LogCapture log;
        EXPECT_EQ(table.LoadLanguageFrom(row.language, row.candidates, log.Function()), row.effective)
            << row.name;
        EXPECT_EQ(table.EffectiveLanguage(), row.effective) << row.name;
        EXPECT_EQ(table.String(11), row.title) << row.name;
        const std::vector<std::string> expectedLog =
            row.logged ? std::vector<std::string>{"Load LanguageRes Failed!\n"} : std::vector<std::string>{};
        EXPECT_EQ(log.lines, expectedLog) << row.name;
    }
}

TEST(StringTable, FormatFillsTheConversionsInBothLanguages) {
    StringTable chinese;
    chinese.LoadLanguageFrom(0, {}, {});
    EXPECT_EQ(chinese.Format(75, 3, 57600), "打开端口3成功,检测波特率57600");
    EXPECT_EQ(chinese.Format(86, "NovAtel", "2019/09/25"), "板卡:NovAtel,编译:2019/09/25");

    StringTable english;
    ASSERT_EQ(english.LoadLanguageFrom(1, {BuiltLibrary()}, {}), 1);
    EXPECT_EQ(english.Format(78, 115200), "Baud rate 115200 found!");
    EXPECT_EQ(english.Format(999), "");
}

// Both tables are formatted with the same arguments, so every id must exist
// in both with the same conversions in the same order; a mismatch would read
// the wrong argument type.
TEST(StringTable, EnglishCoversEveryIdWithTheSameConversions) {
    StringTable english;
    ASSERT_EQ(english.LoadLanguageFrom(1, {BuiltLibrary()}, {}), 1);
    const std::regex conversion("%[-+ #0]*[0-9]*(\\.[0-9]+)?[a-zA-Z%]");
    const auto conversions = [&](const std::string& text) {
        std::vector<std::string> found;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), conversion);
             it != std::sregex_iterator(); ++it) {
            found.push_back(it->str());
        }
        return found;
    };
    for (int id = 0; id <= 110; ++id) {
        const std::string own(StringTable::OwnString(id));
        const std::string translated = english.String(id);
        EXPECT_EQ(own.empty(), translated.empty()) << id;
        EXPECT_EQ(conversions(own), conversions(translated)) << id;
    }
}

}  // namespace
}  // namespace sextara::platform
