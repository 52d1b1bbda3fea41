#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corrections/SourceTable.h"

namespace sextara {

// The first list item of the NTRIP page.
inline constexpr std::string_view kUpdateSourceTable = "Update SourceTable";

// The mount point a list text names: items carry their distance behind the
// name ("VRS3  12.4 km"), and a mount point never holds a blank.
std::string MountPointOfListText(std::string_view text);

// The mount point list: "Update SourceTable", then every entry's mount point,
// nearest first with its distance when a position is known, else in table
// order.
std::vector<std::string> MountPointListItems(const std::vector<corrections::SourceTableEntry>& entries,
                                             const std::optional<std::pair<double, double>>& position);

// The information line of a mount point (English when language is not 0).
std::string MountPointInfoLine(const std::vector<corrections::SourceTableEntry>& entries,
                               std::string_view mountPoint, int language);

}  // namespace sextara
