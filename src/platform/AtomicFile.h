#pragma once

#include <string>
#include <string_view>

namespace sextara::platform {

// Replaces the file at path with contents so that a crash, a full disk or a
// failed write at any moment leaves either the old file or the new one whole:
// the bytes go to a temporary file in the same folder, are flushed to the
// disk, and only then renamed over the old file. A symbolic link is followed,
// so the file it points to is replaced, not the link. The file keeps its
// permission bits; a new one gets 0644. False on any failure, with the old
// file untouched and no temporary file left behind.
bool WriteFileAtomically(const std::string& path, std::string_view contents);

}  // namespace sextara::platform
