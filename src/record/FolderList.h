#pragma once

#include <string>
#include <vector>

namespace sextara {

// The folder browser's listing, one level at a time: a folder's children are
// read only when its item is opened, so slow or endless trees (/proc, /sys,
// network mounts) are never walked as a whole.

// Identity of a folder as the file system sees it (after symbolic links).
struct FolderId {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool operator==(const FolderId&) const = default;
};

// The folder's identity; false when it cannot be read or is no folder.
bool FolderIdOf(const std::string& path, FolderId& id);

// The browser's first level, in this order: the user's home, the mount points
// of removable media that exist (/media, /mnt, /run/media under `root`, each
// once), then the root itself. `root` is "/" outside tests.
std::vector<std::string> FolderTops(const std::string& home, const std::string& root = "/");

// The subfolders of `path`, sorted by name: names beginning with a dot are
// listed, "." and ".." never. A symbolic link to a folder is listed unless it
// leads back to `path` or to one of `ancestors` (the identities of the folders
// above it), so opening items can never go round a loop. An unreadable folder
// has no children.
std::vector<std::string> ListSubfolders(const std::string& path, const std::vector<FolderId>& ancestors);

// "/" and "usr" give "/usr"; "/home/ann" and "maps" give "/home/ann/maps".
std::string JoinFolder(const std::string& parent, const std::string& name);

}  // namespace sextara
