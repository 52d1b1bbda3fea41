#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "platform/RegistryStore.h"
#include "support/TempFiles.h"

namespace sextara::platform {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

struct LogCapture {
    std::vector<std::string> lines;
    LogFunction Function() {
        return [this](const char* message) { lines.emplace_back(message); };
    }
};

// Texts that a line-based file could mangle come back byte for byte from a
// fresh store, long ones included: nothing reads into a fixed buffer.
TEST(RegistryStore, TextsSurviveTheFileWhole) {
    const std::string texts[] = {
        "",
        std::string(300, 'N') + "-longer-than-any-read-room",
        "quote \" backslash \\ semicolon ; equals = hash #",
        "line\nbreak\r\nand\ttab",
        std::string("nul\0byte", 8) + "\x01\x7f",
        "  leading and trailing spaces  ",
        "[not a key]",
        "北京 CORS 站",
    };
    TempDir dir;
    {
        RegistryStore store(dir.File("registry.ini"), {});
        auto key = store.CreateKey("software\\GPS\\GPS");
        ASSERT_TRUE(key);
        for (std::size_t i = 0; i < std::size(texts); ++i) {
            ASSERT_TRUE(key->SetString("Text" + std::to_string(i), texts[i]));
        }
        ASSERT_TRUE(key->SetDword("Negative", 0xffffffffu));
    }
    LogCapture log;
    RegistryStore reread(dir.File("registry.ini"), log.Function());
    auto key = reread.OpenKey("software\\GPS\\GPS");
    ASSERT_TRUE(key);
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        EXPECT_EQ(key->QueryString("Text" + std::to_string(i)), texts[i]) << i;
    }
    EXPECT_EQ(key->QueryDword("Negative"), 0xffffffffu);
    EXPECT_TRUE(log.lines.empty());
}

// A file edited by hand: CR LF, spaces, comments, a key split in two, names
// in another case, and a value asked for with the other type.
TEST(RegistryStore, HandEditedFileIsRead) {
    TempDir dir;
    WriteBytes(dir.File("registry.ini"),
               "; edited by hand\r\n"
               "\r\n"
               "  [software\\Brellmark]  \r\n"
               "# interval code\r\n"
               "\"INTERVAL\" = dword:A\r\n"
               "\"LOGNAME\"=\"Site 7\"   \r\n"
               "[software\\GPS\\GPS]\n"
               "\"Mount\"=\"RTCM3\"\n"
               "[SOFTWARE\\brellmark]\n"
               "\"cutoff\"=dword:0000000f\n");
    LogCapture log;
    RegistryStore store(dir.File("registry.ini"), log.Function());
    auto key = store.OpenKey("software\\Brellmark");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->QueryDword("INTERVAL"), 10u);
    EXPECT_EQ(key->QueryString("LogName"), "Site 7");
    EXPECT_EQ(key->QueryDword("CUTOFF"), 15u);
    EXPECT_FALSE(key->QueryDword("LOGNAME"));
    EXPECT_FALSE(key->QueryString("CUTOFF"));
    EXPECT_EQ(store.OpenKey("software\\GPS\\GPS")->QueryString("Mount"), "RTCM3");
    EXPECT_TRUE(log.lines.empty());

    // A rewrite keeps the spelling that each name was created with.
    ASSERT_TRUE(key->SetDword("CutOff", 5));
    EXPECT_NE(ReadBytes(dir.File("registry.ini")).find("\"cutoff\"=dword:00000005"), std::string::npos);
}

// One bad line makes the whole file untrustworthy: every key reads as
// missing, one line goes to the log, and the next save replaces the file.
TEST(RegistryStore, CorruptFileReadsAsNoKeysWithALogLine) {
    const std::string corrupt[] = {
        "\"LOGNAME\"=\"value before any key\"\n",
        "[software\\Brellmark]\nLOGNAME=unquoted\n",
        "[software\\Brellmark]\n\"LOGNAME\"=\"unterminated\n",
        "[software\\Brellmark]\n\"LOGNAME\"=\"bad escape \\q\"\n",
        "[software\\Brellmark]\n\"LOGNAME\"=\"ok\" trailing\n",
        "[software\\Brellmark]\n\"CUTOFF\"=dword:123456789\n",
        "[software\\Brellmark]\n\"CUTOFF\"=10\n",
        "[software\\Brellmark\n",
        std::string("\x7f"
                    "ELF\x02\x01\x01\0\0\0",
                    10),
    };
    for (const std::string& text : corrupt) {
        TempDir dir;
        WriteBytes(dir.File("registry.ini"), text);
        LogCapture log;
        RegistryStore store(dir.File("registry.ini"), log.Function());
        EXPECT_FALSE(store.OpenKey("software\\Brellmark")) << text;
        EXPECT_EQ(log.lines, std::vector<std::string>{"Registry File Corrupt, Defaults Used!"}) << text;

        auto key = store.CreateKey("software\\Brellmark");
        ASSERT_TRUE(key && key->SetString("LOGNAME", "fresh"));
        RegistryStore reread(dir.File("registry.ini"), {});
        EXPECT_EQ(reread.OpenKey("software\\Brellmark")->QueryString("LOGNAME"), "fresh");
    }
}

// A store that reads badly is the user's only copy of the settings: the
// first save sets it aside unchanged under a name of its own, never over an
// earlier one, and only then writes the fresh store.
TEST(RegistryStore, UnreadableFileIsSetAsideBeforeTheFirstSave) {
    TempDir dir;
    const std::string bad[] = {
        "[software\\Brellmark]\n\"LOGNAME\"=\"Site 7\"\n\"CUTOFF\"=12\n",
        std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10),
        std::string((1 << 20) + 1, ';'),
    };
    std::vector<std::string> kept;
    for (const std::string& text : bad) {
        WriteBytes(dir.File("registry.ini"), text);
        LogCapture log;
        RegistryStore store(dir.File("registry.ini"), log.Function());
        EXPECT_EQ(ReadBytes(dir.File("registry.ini")), text) << "nothing is touched before a save";
        auto key = store.CreateKey("software\\Brellmark");
        ASSERT_TRUE(key && key->SetString("LOGNAME", "fresh"));
        ASSERT_EQ(log.lines.size(), 2u);
        const std::string prefix = "Registry File Kept As registry.ini.bad-";
        ASSERT_EQ(log.lines[1].substr(0, prefix.size()), prefix) << log.lines[1];
        const std::string name = log.lines[1].substr(std::string("Registry File Kept As ").size());
        EXPECT_EQ(ReadBytes(dir.File(name)), text);
        kept.push_back(name);
        EXPECT_EQ(RegistryStore(dir.File("registry.ini"), {}).OpenKey("software\\Brellmark")->QueryString("LOGNAME"),
                  "fresh");
    }
    EXPECT_EQ(std::set<std::string>(kept.begin(), kept.end()).size(), std::size(bad)) << "each kept apart";
    EXPECT_EQ(ReadBytes(dir.File(kept[0])), bad[0]);
}

TEST(RegistryStore, FailedSaveKeepsTheOldFileAndTheOldValue) {
    TempDir dir;
    RegistryStore store(dir.File("registry.ini"), {});
    auto key = store.CreateKey("software\\Brellmark");
    ASSERT_TRUE(key->SetString("LOGNAME", "Before"));
    const std::string before = ReadBytes(dir.File("registry.ini"));
    {
        test::FileSizeLimit limit(before.size());
        EXPECT_FALSE(key->SetString("LOGNAME", std::string(500, 'A')));
        EXPECT_FALSE(store.CreateKey("software\\GPS\\GPS"));
    }
    EXPECT_EQ(key->QueryString("LOGNAME"), "Before");
    EXPECT_FALSE(store.OpenKey("software\\GPS\\GPS"));
    EXPECT_EQ(ReadBytes(dir.File("registry.ini")), before);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"registry.ini"});
}

TEST(RegistryStore, ConcurrentWritersLoseNothing) {
    TempDir dir;
    RegistryStore store(dir.File("registry.ini"), {});
    ASSERT_TRUE(store.CreateKey("software\\GPS\\GPS"));
    constexpr int kThreads = 4;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&store, t] {
            auto key = store.OpenKey("software\\GPS\\GPS");
            for (std::uint32_t i = 0; i < 10; ++i) {
                key->SetDword("V" + std::to_string(t * 10 + i), i);
            }
        });
    }
    for (auto& writer : writers) writer.join();

    RegistryStore reread(dir.File("registry.ini"), {});
    auto key = reread.OpenKey("software\\GPS\\GPS");
    for (int v = 0; v < kThreads * 10; ++v) {
        EXPECT_EQ(key->QueryDword("V" + std::to_string(v)), static_cast<std::uint32_t>(v % 10)) << v;
    }
}

}  // namespace
}  // namespace sextara::platform
