#include "decode/Crc32.h"

#include <array>

namespace sextara {
namespace {

// Eight tables so that the loop takes eight bytes per step (slicing-by-8):
// every received byte of the binary makes goes through here, and the
// one-table loop alone would cap decoding well below the wanted throughput.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables MakeTables() {
    CrcTables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        tables[0][i] = c;
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint32_t prev = tables[k - 1][i];
            tables[k][i] = (prev >> 8) ^ tables[0][prev & 0xFF];
        }
    }
    return tables;
}

constexpr CrcTables kTables = MakeTables();

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    const auto& t = kTables;
    std::uint32_t crc = 0;
    while (size >= 8) {
        const std::uint32_t lo = crc ^ Le32(data);
        const std::uint32_t hi = Le32(data + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        data += 8;
        size -= 8;
    }
    while (size-- > 0) crc = t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace sextara
