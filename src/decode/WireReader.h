#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sextara {

// Bounds-checked reads of wire fields with explicit byte order. A field that
// would run past the end reads as 0; callers check lengths first where a short
// record must be skipped rather than read as zeros.
class WireReader {
public:
    WireReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t Size() const { return size_; }
    bool Has(std::size_t offset, std::size_t length) const {
        return offset <= size_ && length <= size_ - offset;
    }

    std::uint8_t U8(std::size_t offset) const { return Has(offset, 1) ? data_[offset] : 0; }
    std::uint16_t U16le(std::size_t offset) const { return static_cast<std::uint16_t>(Le(offset, 2)); }
    std::int16_t I16le(std::size_t offset) const { return static_cast<std::int16_t>(U16le(offset)); }
    std::uint32_t U32le(std::size_t offset) const { return static_cast<std::uint32_t>(Le(offset, 4)); }
    std::int32_t I32le(std::size_t offset) const { return static_cast<std::int32_t>(U32le(offset)); }
    float F32le(std::size_t offset) const { return BitCast<float>(U32le(offset)); }
    double F64le(std::size_t offset) const { return BitCast<double>(Le(offset, 8)); }

    std::uint16_t U16be(std::size_t offset) const { return static_cast<std::uint16_t>(Be(offset, 2)); }
    std::int16_t I16be(std::size_t offset) const { return static_cast<std::int16_t>(U16be(offset)); }
    std::uint32_t U32be(std::size_t offset) const { return static_cast<std::uint32_t>(Be(offset, 4)); }
    float F32be(std::size_t offset) const { return BitCast<float>(U32be(offset)); }
    double F64be(std::size_t offset) const { return BitCast<double>(Be(offset, 8)); }

private:
    std::uint64_t Le(std::size_t offset, std::size_t length) const {
        if (!Has(offset, length)) return 0;
        std::uint64_t value = 0;
        for (std::size_t i = length; i-- > 0;) value = (value << 8) | data_[offset + i];
        return value;
    }
    std::uint64_t Be(std::size_t offset, std::size_t length) const {
        if (!Has(offset, length)) return 0;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < length; ++i) value = (value << 8) | data_[offset + i];
        return value;
    }
    template <typename T, typename U>
    static T BitCast(U bits) {
        static_assert(sizeof(T) == sizeof(U));
        T out;
        std::memcpy(&out, &bits, sizeof(T));
        return out;
    }

    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace sextara
