#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "record/FolderList.h"
#include "support/TempFiles.h"

namespace sextara {
namespace {

// A tree with a dot folder, a plain file, a link to a sibling and two links
// back up the tree (a loop that a whole-tree walk would follow for ever).
TEST(FolderList, ListsOneLevelSkipsLoopsAndFiles) {
    test::TempDir dir;
    const std::string root = dir.Path();
    for (const char* folder : {"/a", "/a/b", "/a/b/c", "/.hidden", "/z"}) ASSERT_EQ(0, ::mkdir((root + folder).c_str(), 0755));
    { FILE* f = std::fopen((root + "/a/file.txt").c_str(), "w"); ASSERT_NE(nullptr, f); std::fclose(f); }
    ASSERT_EQ(0, ::symlink((root + "/a").c_str(), (root + "/a/b/c/up").c_str()));
    ASSERT_EQ(0, ::symlink(".", (root + "/a/self").c_str()));
    ASSERT_EQ(0, ::symlink((root + "/z").c_str(), (root + "/a/toz").c_str()));

    auto idOf = [](const std::string& path) {
        FolderId id;
        EXPECT_TRUE(FolderIdOf(path, id)) << path;
        return id;
    };
    struct Case {
        std::string path;
        std::vector<std::string> above;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {root, {}, {".hidden", "a", "z"}},
        {root + "/a", {root}, {"b", "toz"}},
        {root + "/a/b/c", {root, root + "/a", root + "/a/b"}, {}},
        {root + "/a/file.txt", {}, {}},
        {root + "/missing", {}, {}},
    };
    for (const Case& c : cases) {
        std::vector<FolderId> ancestors;
        for (const std::string& path : c.above) ancestors.push_back(idOf(path));
        EXPECT_EQ(c.expected, ListSubfolders(c.path, ancestors)) << c.path;
    }
    EXPECT_EQ("/usr", JoinFolder("/", "usr"));
    EXPECT_EQ(root + "/a/b", JoinFolder(root + "/a", "b"));
}

TEST(FolderList, TopsAreHomeThenMediaThenTheRoot) {
    test::TempDir dir;
    const std::string root = dir.Path();
    for (const char* folder : {"/home", "/home/ann", "/mnt", "/run", "/run/media"}) {
        ASSERT_EQ(0, ::mkdir((root + folder).c_str(), 0755));
    }
    const std::vector<std::string> expected = {root + "/home/ann", root + "/mnt", root + "/run/media", root};
    EXPECT_EQ(expected, FolderTops(root + "/home/ann", root));
    // A home that is missing, or the root itself, is not listed twice.
    EXPECT_EQ((std::vector<std::string>{root + "/mnt", root + "/run/media", root}), FolderTops(root, root));
    EXPECT_EQ((std::vector<std::string>{root + "/mnt", root + "/run/media", root}), FolderTops("", root));
}

}  // namespace
}  // namespace sextara
