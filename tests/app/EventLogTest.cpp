#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "app/EventLog.h"
#include "platform/Paths.h"
#include "support/TempFiles.h"

namespace sextara {
namespace {

LogTime FixedTime() {
    return LogTime{13, 5, 9};
}

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetDataFolder(dir_.Path());
        SetLogTimeSource(&FixedTime);
    }
    void TearDown() override {
        SetLogTimeSource(nullptr);
        platform::SetDataFolder("");
    }
    std::string LogText() const { return test::ReadBytes(dir_.File("Mylog.txt")); }

    test::TempDir dir_;
};

TEST_F(EventLogTest, EntryFormat) {
    struct Row {
        std::string message;
        LogTime time;
        std::string entry;
    };
    const Row rows[] = {
        {"Can't Open GPS Port!", {13, 5, 9}, "[13:05:09] Can't Open GPS Port!\r\n"},
        {"Load LanguageRes Failed!\n", {0, 0, 0}, "[00:00:00] Load LanguageRes Failed!\n\r\n"},
        {"", {23, 59, 59}, "[23:59:59] \r\n"},
        {std::string(498, 'm'), {1, 2, 3}, "[01:02:03] " + std::string(498, 'm') + "\r\n"},
        {std::string(498, 'm') + "CUT", {1, 2, 3}, "[01:02:03] " + std::string(498, 'm') + "\r\n"},
        {std::string(5000, 'm'), {1, 2, 3}, "[01:02:03] " + std::string(498, 'm') + "\r\n"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FormatLogEntry(row.message.c_str(), row.time), row.entry) << row.message.size();
    }
    EXPECT_EQ(FormatLogEntry(nullptr, LogTime{1, 2, 3}), "[01:02:03] \r\n");
}

TEST_F(EventLogTest, FirstEntryCreatesTheFileAndLaterOnesAppend) {
    ASSERT_FALSE(test::Exists(dir_.File("Mylog.txt")));
    AppendLog("Can't Open Port\n");
    EXPECT_EQ(LogText(), "[13:05:09] Can't Open Port\n\r\n");
    AppendLog("Open Data Transf Failed!");
    EXPECT_EQ(LogText(), "[13:05:09] Can't Open Port\n\r\n[13:05:09] Open Data Transf Failed!\r\n");
}

TEST_F(EventLogTest, UnwritableLogIsSilent) {
    platform::SetDataFolder(dir_.File("missing"));
    AppendLog("lost");
    EXPECT_FALSE(test::Exists(dir_.File("missing")));
}

TEST_F(EventLogTest, ConcurrentEntriesStayWholeLines) {
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            // Long messages, so that a torn write would show.
            const std::string padding(300, static_cast<char>('a' + t));
            for (int i = 0; i < kEach; ++i) {
                AppendLog(("T" + std::to_string(t) + " N" + std::to_string(i) + " " + padding).c_str());
            }
        });
    }
    for (auto& writer : writers) writer.join();

    std::istringstream lines(LogText());
    const std::regex entry(R"(\[13:05:09\] T(\d) N(\d+) ([a-d])\3{299}\r)");
    std::set<std::string> seen;
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, entry)) << line.substr(0, 40);
        EXPECT_EQ(match[3].str()[0], 'a' + std::stoi(match[1].str()));
        seen.insert(match[1].str() + "/" + match[2].str());
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kEach));
}

}  // namespace
}  // namespace sextara
