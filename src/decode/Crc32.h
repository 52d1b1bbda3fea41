#pragma once

#include <cstddef>
#include <cstdint>

namespace sextara {

// CRC-32 as the OEM binary logs carry it: reflected polynomial 0xEDB88320,
// initial value 0, no final inversion. Run over a whole frame including its
// four trailing CRC bytes it yields 0 for an intact frame.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size);

}  // namespace sextara
