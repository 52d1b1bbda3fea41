#include "SextaraSetupDll.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// The shortcuts an earlier installation may have left, as device paths.
constexpr const char* kShortcuts[] = {
    "\\Windows\\Start Menu\\Sextara.lnk",
    "\\Program Files\\Sextara\\Sextara.lnk",
    "\\Sextara\\Sextara.lnk",
};

std::string gRoot;  // set by SextaraSetup_SetRoot

std::string Root() {
    if (!gRoot.empty()) return gRoot;
    const char* fromEnvironment = std::getenv("SEXTARA_SETUP_ROOT");
    if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') return fromEnvironment;
    return "/";
}

// "\Program Files\Sextara\Sextara.lnk" under root "/tmp/r" is
// "/tmp/r/Program Files/Sextara/Sextara.lnk".
std::string HostPath(const std::string& root, const char* devicePath) {
    std::string path = root;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path == "/") path.clear();
    for (const char* c = devicePath; *c != '\0'; ++c) path += *c == '\\' ? '/' : *c;
    return path;
}

int Nothing() { return kSetupContinue; }

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int Install_Init(void*, int, int, const char*) {
    const std::string root = Root();
    // A missing or undeletable shortcut changes nothing: the installation
    // goes on in any case.
    for (const char* shortcut : kShortcuts) ::unlink(HostPath(root, shortcut).c_str());
    return kSetupContinue;
}

__attribute__((visibility("default"))) int Install_Exit(void*, const char*, std::uint16_t, std::uint16_t,
                                                        std::uint16_t, std::uint16_t, std::uint16_t) {
    return Nothing();
}

__attribute__((visibility("default"))) int Uninstall_Init(void*, const char*) { return Nothing(); }

__attribute__((visibility("default"))) int Uninstall_Exit(void*) { return Nothing(); }

__attribute__((visibility("default"))) void SextaraSetup_SetRoot(const char* root) {
    gRoot = root != nullptr ? root : "";
}
}
