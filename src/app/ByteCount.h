#pragma once

#include <cstdint>
#include <string>

namespace sextara {

// "  %ld B" up to 1024, "  %.2f KB" below 1 MiB, else "  %.3f MB": the byte
// counters of the NTRIP/TCP page and the PORT client page.
std::string FormatByteTotal(std::uint32_t total);

}  // namespace sextara
