#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/SystemTime.h"

namespace sextara::platform {
namespace {

std::string ResolveLink(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char target[PATH_MAX];
        if (::realpath(path.c_str(), target) != nullptr) {
            return target;
        }
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool WriteAll(int fd, std::string_view contents) {
    std::size_t done = 0;
    while (done < contents.size()) {
        const ssize_t written = ::write(fd, contents.data() + done, contents.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// Makes the rename itself durable; a folder that cannot be synced (some
// network file systems) does not fail the save, the data is already safe.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view contents, int forcedMode) {
    const std::string target = ResolveLink(path);
    std::vector<char> temporaryName(target.begin(), target.end());
    const std::string suffix = ".tmp-XXXXXX";
    temporaryName.insert(temporaryName.end(), suffix.begin(), suffix.end());
    temporaryName.push_back('\0');

    const int fd = ::mkostemp(temporaryName.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    }
    if (forcedMode >= 0) {
        mode = static_cast<mode_t>(forcedMode);
    }
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, contents) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temporaryName.data(), target.c_str()) == 0) {
        SyncFolder(FolderOf(target));
        return true;
    }
    ::unlink(temporaryName.data());
    return false;
}

bool ExistsButNotRegular(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

std::string SetFileAside(const std::string& path) {
    const UtcTime now = CurrentUtcTime();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, ".bad-%04d%02d%02dT%02d%02d%02dZ", now.year, now.month, now.day, now.hour,
                  now.minute, now.second);
    const std::string base = path + stamp;
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::string target = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        // RENAME_NOREPLACE would close the gap between the check and the
        // rename, but not every file system has it; one program per data
        // folder makes the gap harmless.
        struct stat info {};
        if (::lstat(target.c_str(), &info) == 0 || errno != ENOENT) continue;
        if (::rename(path.c_str(), target.c_str()) == 0) {
            SyncFolder(FolderOf(path));
            return target;
        }
        return {};
    }
    return {};
}

FileRead ReadWholeFile(const std::string& path, std::string& out, std::size_t maxBytes) {
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer, with
    // the program hung at start and deaf to SIGTERM. It changes nothing for
    // a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
              static_cast<std::size_t>(info.st_size) <= maxBytes;
    const std::size_t start = out.size();
    char chunk[4096];
    while (ok) {
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) {
            ok = count == 0;
            break;
        }
        out.append(chunk, static_cast<std::size_t>(count));
        ok = out.size() - start <= maxBytes;
    }
    ::close(fd);
    return ok ? FileRead::Ok : FileRead::Failed;
}

}  // namespace sextara::platform
