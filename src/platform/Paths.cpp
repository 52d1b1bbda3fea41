#include "platform/Paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace sextara::platform {
namespace {

std::mutex& FolderLock() {
    static std::mutex lock;
    return lock;
}

std::string& ChosenFolder() {
    static std::string folder;
    return folder;
}

std::string ReadProgramDirectory() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !exe.has_parent_path()) {
        // Without /proc (a chroot, say) the current folder is the best guess.
        return ".";
    }
    return exe.parent_path().string();
}

}  // namespace

std::string ProgramDirectory() {
    static const std::string directory = ReadProgramDirectory();
    return directory;
}

void SetDataFolder(const std::string& folder) {
    std::string resolved;
    if (!folder.empty()) {
        // Made absolute once, so a later change of the working folder cannot
        // move the settings.
        std::error_code error;
        std::filesystem::path absolute = std::filesystem::absolute(folder, error);
        resolved = error ? folder : absolute.lexically_normal().string();
        while (resolved.size() > 1 && resolved.back() == '/') {
            resolved.pop_back();
        }
    }
    std::lock_guard<std::mutex> guard(FolderLock());
    ChosenFolder() = resolved;
}

std::string DataFolder() {
    {
        std::lock_guard<std::mutex> guard(FolderLock());
        if (!ChosenFolder().empty()) {
            return ChosenFolder();
        }
    }
    const char* home = std::getenv("SEXTARA_HOME");
    if (home != nullptr && home[0] != '\0') {
        std::string folder = home;
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        return folder;
    }
    return ProgramDirectory();
}

std::string DataPath(std::string_view name) {
    std::string path = DataFolder();
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    path += name;
    return path;
}

}  // namespace sextara::platform
