#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "support/TempFiles.h"

namespace sextara::platform {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

TEST(AtomicFile, ReplacesTheLinkTargetAndKeepsItsPermissions) {
    TempDir dir;
    WriteBytes(dir.File("real.ini"), "old contents, longer than the new ones");
    ::chmod(dir.File("real.ini").c_str(), 0640);
    std::filesystem::create_symlink(dir.File("real.ini"), dir.File("config.ini"));

    ASSERT_TRUE(WriteFileAtomically(dir.File("config.ini"), "new\r\n"));

    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("config.ini")));
    EXPECT_EQ(ReadBytes(dir.File("real.ini")), "new\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(dir.File("real.ini").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.Names().size(), 2u);
}

TEST(AtomicFile, FullDiskKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    const std::string old = "[software\\Brellmark]\n\"LOGNAME\"=\"Field1\"\n";
    WriteBytes(dir.File("registry.ini"), old);
    {
        test::FileSizeLimit limit(64);
        EXPECT_FALSE(WriteFileAtomically(dir.File("registry.ini"), std::string(4096, 'x')));
    }
    EXPECT_EQ(ReadBytes(dir.File("registry.ini")), old);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"registry.ini"});
    EXPECT_FALSE(WriteFileAtomically(dir.File("gone/config.ini"), "x"));
}

}  // namespace
}  // namespace sextara::platform
