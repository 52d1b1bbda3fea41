#include "platform/Paths.h"

#include <unistd.h>

#include <cstdio>
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

namespace sextara::platform {

std::string ChooseDataFolder(const std::string& programDirectory, bool programDirectoryWritable,
                             const char* xdgDataHome, const char* home) {
    if (programDirectoryWritable) return programDirectory;
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/') return std::string(xdgDataHome) + "/sextara";
    const std::string base = home != nullptr && home[0] != '\0' ? home : "/tmp";
    return base + "/.local/share/sextara";
}

std::string PrepareDefaultDataFolder(const std::string& defaultConfig) {
    const std::string programDirectory = ProgramDirectory();
    const bool writable = ::access(programDirectory.c_str(), W_OK) == 0;
    const std::string folder =
        ChooseDataFolder(programDirectory, writable, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    if (folder == programDirectory) return folder;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::filesystem::path config = std::filesystem::path(folder) / "config.ini";
    if (!std::filesystem::exists(config, error)) {
        std::FILE* file = std::fopen(config.c_str(), "wx");
        if (file != nullptr) {
            std::fwrite(defaultConfig.data(), 1, defaultConfig.size(), file);
            std::fclose(file);
        }
    }
    return folder;
}

}  // namespace sextara::platform
