#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace sextara::platform {

// Replaces the file at path with contents so that a crash, a full disk or a
// failed write at any moment leaves either the old file or the new one whole:
// the bytes go to a temporary file in the same folder, are flushed to the
// disk, and only then renamed over the old file. A symbolic link is followed,
// so the file it points to is replaced, not the link. The file keeps its
// permission bits; a new one gets 0644. A forcedMode
// (0600 for a file holding a password) is applied whatever the file had.
// False on any failure, with the old file untouched and no temporary file
// left behind.
bool WriteFileAtomically(const std::string& path, std::string_view contents, int forcedMode = -1);

enum class FileRead { Ok, Missing, Failed };
// Appends the whole of a regular file to out. Missing when it does not
// exist; Failed when it cannot be read, is not a regular file or holds more
// than maxBytes (a settings file that large is not ours). Never blocks: a
// FIFO or a device in the file's place is refused without waiting on it.
FileRead ReadWholeFile(const std::string& path, std::string& out,
                       std::size_t maxBytes = std::numeric_limits<std::size_t>::max());
// True when something exists at path (a link followed) that is not a
// regular file: a folder, a FIFO, a device, a socket.
bool ExistsButNotRegular(const std::string& path);
// Renames the file at path (a link itself, not its target) to
// "<path>.bad-YYYYMMDDTHHMMSSZ" in UTC, or with "-2", "-3", ... added when
// that name is taken, so an earlier one is never overwritten. Returns the
// new name, or empty on failure (the file is then where it was).
std::string SetFileAside(const std::string& path);

}  // namespace sextara::platform
