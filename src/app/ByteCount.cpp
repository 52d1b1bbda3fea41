#include "app/ByteCount.h"

#include <cstdio>

namespace sextara {

std::string FormatByteTotal(std::uint32_t total) {
    char text[64];
    if (total <= 1024) {
        std::snprintf(text, sizeof text, "  %lu B", static_cast<unsigned long>(total));
    } else if (total < 1048576) {
        std::snprintf(text, sizeof text, "  %.2f KB", total / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "  %.3f MB", total / 1048576.0);
    }
    return text;
}

}  // namespace sextara
