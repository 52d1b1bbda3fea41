#include "record/FolderList.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace sextara {

bool FolderIdOf(const std::string& path, FolderId& id) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    id.device = static_cast<unsigned long long>(info.st_dev);
    id.inode = static_cast<unsigned long long>(info.st_ino);
    return true;
}

std::vector<std::string> FolderTops(const std::string& home, const std::string& root) {
    std::vector<std::string> tops;
    std::vector<FolderId> seen;
    auto add = [&](const std::string& path) {
        FolderId id;
        if (path.empty() || !FolderIdOf(path, id)) return;
        if (std::find(seen.begin(), seen.end(), id) != seen.end()) return;
        seen.push_back(id);
        tops.push_back(path);
    };
    add(home);
    for (const char* media : {"media", "mnt", "run/media"}) add(JoinFolder(root, media));
    // The root comes last even when home or a mount point is the root itself.
    FolderId rootId;
    if (FolderIdOf(root, rootId)) {
        const auto same = std::find(seen.begin(), seen.end(), rootId);
        if (same != seen.end()) tops.erase(tops.begin() + (same - seen.begin()));
        tops.push_back(root);
    }
    return tops;
}

std::vector<std::string> ListSubfolders(const std::string& path, const std::vector<FolderId>& ancestors) {
    std::vector<std::string> names;
    FolderId self;
    if (!FolderIdOf(path, self)) return names;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (entry->d_type == DT_DIR) {
            // A real folder cannot lead back up; not looking into it also
            // keeps a dead network mount below from holding the listing.
            names.push_back(name);
            continue;
        }
        if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) continue;
        FolderId id;
        if (!FolderIdOf(JoinFolder(path, name), id)) continue;
        if (id == self || std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) continue;
        names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string JoinFolder(const std::string& parent, const std::string& name) {
    if (parent.empty() || parent.back() == '/') return parent + name;
    return parent + "/" + name;
}

}  // namespace sextara
