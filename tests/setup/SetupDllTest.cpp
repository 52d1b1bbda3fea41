#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/TempFiles.h"

namespace sextara {
namespace {

using InstallInit = int (*)(void*, int, int, const char*);
using InstallExit = int (*)(void*, const char*, std::uint16_t, std::uint16_t, std::uint16_t, std::uint16_t,
                            std::uint16_t);
using UninstallInit = int (*)(void*, const char*);
using UninstallExit = int (*)(void*);
using SetRoot = void (*)(const char*);

const char* const kShortcuts[] = {
    "Windows/Start Menu/Sextara.lnk",
    "Program Files/Sextara/Sextara.lnk",
    "Sextara/Sextara.lnk",
};

// Loaded by file and looked up by name, as the installer does.
TEST(SetupDll, InstallInitDeletesTheShortcutsThatExistAndEveryExportReturnsZero) {
    void* library = ::dlopen(SEXTARA_SETUP_DLL, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << ::dlerror();
    const auto installInit = reinterpret_cast<InstallInit>(::dlsym(library, "Install_Init"));
    const auto installExit = reinterpret_cast<InstallExit>(::dlsym(library, "Install_Exit"));
    const auto uninstallInit = reinterpret_cast<UninstallInit>(::dlsym(library, "Uninstall_Init"));
    const auto uninstallExit = reinterpret_cast<UninstallExit>(::dlsym(library, "Uninstall_Exit"));
    const auto setRoot = reinterpret_cast<SetRoot>(::dlsym(library, "SextaraSetup_SetRoot"));
    ASSERT_TRUE(installInit && installExit && uninstallInit && uninstallExit && setRoot);

    struct Case {
        bool present[3];
    };
    const Case cases[] = {{{false, false, false}}, {{false, true, false}}, {{true, true, true}}};
    for (const Case& c : cases) {
        test::TempDir root;
        for (int i = 0; i < 3; ++i) {
            const std::filesystem::path file = root.Path() + "/" + kShortcuts[i];
            std::filesystem::create_directories(file.parent_path());
            if (c.present[i]) test::WriteBytes(file.string(), "shortcut");
        }
        // Stays after every call: only the three shortcuts are the library's.
        test::WriteBytes(root.File("Sextara/Sextara.exe"), "program");
        setRoot(root.Path().c_str());

        // Removal deletes nothing.
        EXPECT_EQ(0, uninstallInit(nullptr, "\\Program Files\\Sextara"));
        EXPECT_EQ(0, uninstallExit(nullptr));
        for (int i = 0; i < 3; ++i) EXPECT_EQ(c.present[i], test::Exists(root.Path() + "/" + kShortcuts[i]));

        EXPECT_EQ(0, installInit(nullptr, 1, 0, "\\Program Files\\Sextara"));
        EXPECT_EQ(0, installExit(nullptr, "\\Program Files\\Sextara", 0, 0, 0, 0, 0));
        for (const char* shortcut : kShortcuts) EXPECT_FALSE(test::Exists(root.Path() + "/" + shortcut));
        EXPECT_TRUE(test::Exists(root.File("Sextara/Sextara.exe")));
        setRoot(nullptr);
    }
    ::dlclose(library);
}

// A package's maintainer script names the root through the environment.
TEST(SetupDll, RootFromTheEnvironment) {
    test::TempDir root;
    std::filesystem::create_directories(root.Path() + "/Sextara");
    test::WriteBytes(root.File("Sextara/Sextara.lnk"), "shortcut");
    ::setenv("SEXTARA_SETUP_ROOT", root.Path().c_str(), 1);
    void* library = ::dlopen(SEXTARA_SETUP_DLL, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << ::dlerror();
    const auto installInit = reinterpret_cast<InstallInit>(::dlsym(library, "Install_Init"));
    ASSERT_NE(nullptr, installInit);
    EXPECT_EQ(0, installInit(nullptr, 1, 1, nullptr));
    EXPECT_FALSE(test::Exists(root.File("Sextara/Sextara.lnk")));
    ::unsetenv("SEXTARA_SETUP_ROOT");
    ::dlclose(library);
}

}  // namespace
}  // namespace sextara
