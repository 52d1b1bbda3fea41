#include "platform/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string ReasonOfErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return "is not writable (permission denied)";
        case EROFS: return "is read-only";
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return "is full";
        default: return std::string("cannot be written (") + std::strerror(error) + ")";
    }
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

std::string CheckDataFolder() {
    const std::string folder = DataFolder();
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return errno == ENOENT ? "does not exist" : std::string("cannot be reached (") + std::strerror(errno) + ")";
    }
    if (!S_ISDIR(info.st_mode)) return "is not a folder";
    struct statvfs volume {};
    if (::statvfs(folder.c_str(), &volume) == 0) {
        if ((volume.f_flag & ST_RDONLY) != 0) return "is read-only";
        if (volume.f_bavail == 0) return "is full";
    }
    // Permissions alone do not tell (root, ACLs, quotas): a real write does.
    std::string probe = folder + "/.sextara-probe-XXXXXX";
    const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) return ReasonOfErrno(errno);
    const char bytes[512] = {};
    ssize_t written;
    do {
        written = ::write(fd, bytes, sizeof bytes);
    } while (written < 0 && errno == EINTR);
    const int error = written == static_cast<ssize_t>(sizeof bytes) ? 0 : (written < 0 ? errno : ENOSPC);
    ::close(fd);
    ::unlink(probe.c_str());
    return error == 0 ? std::string() : ReasonOfErrno(error);
}

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
