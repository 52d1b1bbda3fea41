#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/Paths.h"

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

}  // namespace
}  // namespace sextara::platform
