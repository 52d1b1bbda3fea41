#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sextara::tools {

// A whole number of at most maxDigits decimal digits: no sign, no spaces, no
// suffix, so a typo in a flag's value is refused instead of read as 0.
inline bool ParseDecimal(std::string_view text, std::uint64_t& out, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return false;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    out = value;
    return true;
}

}  // namespace sextara::tools
