#include "app/MountPointOrder.h"

#include <cstdio>

namespace sextara {
namespace {

constexpr std::size_t kMaxListText = 63;

}  // namespace

std::string MountPointOfListText(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (text.starts_with(kUpdateSourceTable)) return std::string(kUpdateSourceTable);
    const std::size_t blank = text.find(' ');
    std::string mount(text.substr(0, blank));
    if (mount.size() > kMaxListText) mount.resize(kMaxListText);
    return mount;
}

std::vector<std::string> MountPointListItems(const std::vector<corrections::SourceTableEntry>& entries,
                                             const std::optional<std::pair<double, double>>& position) {
    std::vector<std::string> items{std::string(kUpdateSourceTable)};
    if (!position) {
        for (const auto& entry : entries) items.push_back(entry.mountPoint);
        return items;
    }
    for (const auto& near : corrections::MountPointsByDistance(entries, position->first, position->second)) {
        char distance[48];
        std::snprintf(distance, sizeof distance, "  %.1f km", near.distanceKm);
        items.push_back(entries[near.entryIndex].mountPoint + distance);
    }
    return items;
}

std::string MountPointInfoLine(const std::vector<corrections::SourceTableEntry>& entries,
                               std::string_view mountPoint, int language) {
    const corrections::SourceTableEntry* found = nullptr;
    for (const auto& entry : entries) {
        if (entry.mountPoint == mountPoint) {
            found = &entry;
            break;
        }
    }
    const corrections::SourceTableEntry empty;
    const corrections::SourceTableEntry& e = found ? *found : empty;
    const bool english = language != 0;
    const char* gga = english ? (e.nmea != 0 ? "Send GGA:YES" : "Send GGA:NO") : (e.nmea != 0 ? "发送GGA:是" : "发送GGA:否");
    return std::string(gga) + (english ? "; Base:" : ";基准站:") + e.navSystem + (english ? "\n DiffType:" : "\n差分格式:") +
           e.format + "," + e.formatDetails + "\n";
}

}  // namespace sextara
