#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/Paths.h"
#include "support/TempFiles.h"

namespace sextara::platform {
namespace {

// --home wins over SEXTARA_HOME, which wins over the program's directory.
TEST(Paths, DataFolderPrecedence) {
    struct Row {
        const char* home;         // --home, "" for none
        const char* environment;  // SEXTARA_HOME, null for unset
        std::string folder;
    };
    const Row rows[] = {
        {"", nullptr, ProgramDirectory()},
        {"", "", ProgramDirectory()},
        {"", "/srv/sextara/", "/srv/sextara"},
        {"/data/field", "/srv/sextara", "/data/field"},
        {"/data/./field/../site/", nullptr, "/data/site"},
        {"site", nullptr, (std::filesystem::current_path() / "site").string()},
    };
    for (const Row& row : rows) {
        SetDataFolder(row.home);
        if (row.environment != nullptr) {
            ::setenv("SEXTARA_HOME", row.environment, 1);
        } else {
            ::unsetenv("SEXTARA_HOME");
        }
        EXPECT_EQ(DataFolder(), row.folder)
            << row.home << " / " << (row.environment ? row.environment : "unset");
        EXPECT_EQ(DataPath("config.ini"), row.folder + "/config.ini");
    }
    SetDataFolder("/");
    EXPECT_EQ(DataPath("Mylog.txt"), "/Mylog.txt");
    SetDataFolder("");
    ::unsetenv("SEXTARA_HOME");
    EXPECT_TRUE(std::filesystem::exists(ProgramDirectory() + "/test_platform"));
}

// Each way a data folder can fail to keep the settings and the log has its
// reason, for the one line at start.
TEST(Paths, DataFolderCheckNamesTheReason) {
    test::TempDir dir;
    test::WriteBytes(dir.File("file"), "x");
    std::filesystem::create_directory(dir.File("locked"));
    std::filesystem::permissions(dir.File("locked"), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
    const struct {
        std::string folder;
        const char* reason;
        bool full;
    } rows[] = {
        {dir.Path(), "", false},
        {dir.File("missing"), "does not exist", false},
        {dir.File("file"), "is not a folder", false},
        {dir.File("locked"), ::geteuid() == 0 ? "" : "is not writable (permission denied)", false},
        {dir.Path(), "is full", true},
    };
    for (const auto& row : rows) {
        SetDataFolder(row.folder);
        std::string reason;
        if (row.full) {
            test::FileSizeLimit limit(0);
            reason = CheckDataFolder();
        } else {
            reason = CheckDataFolder();
        }
        EXPECT_EQ(reason, row.reason) << row.folder;
    }
    SetDataFolder("");
    EXPECT_EQ(dir.Names().size(), 2u) << "no probe left behind";
}

}  // namespace
}  // namespace sextara::platform
