#pragma once

#include <cstdint>

namespace sextara {

// The correction client the menu opened last; only one kind runs at a time.
enum class CorrectionMode : std::int32_t {
    None = 0,
    Ntrip = 1,
    Tcp = 2,
    Port = 3,
};

}  // namespace sextara
