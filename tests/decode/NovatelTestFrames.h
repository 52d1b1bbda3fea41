#pragma once

// Builds OEM binary frames for the decoder tests: header, body, computed CRC.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "decode/Crc32.h"
#include "decode/GnssState.h"

namespace sextara::novatel_test {

using Bytes = std::vector<std::uint8_t>;

// A little-endian body filled in by offset, as the logs are laid out; the
// test host is little-endian like the wire.
class Body {
public:
    explicit Body(std::size_t size) : bytes_(size, 0) {}
    template <typename T>
    Body& Put(std::size_t at, T value) {
        if (at + sizeof value > bytes_.size()) bytes_.resize(at + sizeof value);
        std::memcpy(bytes_.data() + at, &value, sizeof value);
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

inline Bytes WithCrc(Bytes frame) {
    const std::uint32_t crc = Crc32(frame.data(), frame.size());
    for (int i = 0; i < 4; ++i) frame.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    return frame;
}

inline Bytes Frame(std::uint16_t id, const Bytes& body, std::uint16_t week = 2000, std::uint32_t ms = 0,
                   std::uint8_t headerLength = 28) {
    Bytes f = Body(28)
                  .Put<std::uint32_t>(0, 0x001244AAu | std::uint32_t{headerLength} << 24)
                  .Put(4, id)
                  .Put(8, static_cast<std::uint16_t>(body.size()))
                  .Put(14, week)
                  .Put(16, ms)
                  .bytes();
    f.insert(f.end(), body.begin(), body.end());
    return WithCrc(f);
}

inline Bytes ShortFrame(std::uint16_t id, const Bytes& body) {
    Bytes f =
        Body(12).Put<std::uint32_t>(0, 0x001344AAu | std::uint32_t(body.size()) << 24).Put(4, id).bytes();
    f.insert(f.end(), body.begin(), body.end());
    return WithCrc(f);
}

struct BestPos {
    std::uint32_t positionType = 16;
    double latitudeDeg = 0, longitudeDeg = 0, heightM = 0;
    float latSigmaM = 0, lonSigmaM = 0, heightSigmaM = 0;
};

inline Bytes BestPosFrame(const BestPos& p, std::uint16_t week = 2000, std::uint32_t ms = 0) {
    return Frame(42,
                 Body(72)
                     .Put(4, p.positionType)
                     .Put(8, p.latitudeDeg)
                     .Put(16, p.longitudeDeg)
                     .Put(24, p.heightM)
                     .Put(40, p.latSigmaM)
                     .Put(44, p.lonSigmaM)
                     .Put(48, p.heightSigmaM)
                     .bytes(),
                 week, ms);
}

inline Bytes BestPosFrame(std::uint32_t positionType, double latitudeDeg = 0) {
    return BestPosFrame(BestPos{positionType, latitudeDeg});
}

struct Channel {
    std::int16_t prn;
    std::uint32_t system;      // 0 GPS, 1 GLONASS, 2 SBAS, 4 BeiDou
    std::uint32_t signalType;  // 0 first frequency, 5 or 9 second
    float cn0DbHz;
    std::uint32_t rejection = 0;
};

inline Bytes TrackStatFrame(const std::vector<Channel>& channels, std::size_t declared) {
    Body body(16 + 40 * channels.size());
    body.Put(12, static_cast<std::uint32_t>(declared));
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const Channel& c = channels[i];
        body.Put(16 + 40 * i, c.prn)
            .Put(20 + 40 * i, c.system << 16 | c.signalType << 21)
            .Put(36 + 40 * i, c.cn0DbHz)
            .Put(48 + 40 * i, c.rejection);
    }
    return Frame(83, body.bytes());
}

inline Bytes TrackStatFrame(const std::vector<Channel>& channels) {
    return TrackStatFrame(channels, channels.size());
}

struct Look {
    std::uint16_t prn;
    double elevationDeg, azimuthDeg;
};

// SATVIS2 (1043) carries a system and its count at 12; SATVIS (48) has no
// system and its count at 8. Records of 40 bytes follow the count.
inline Bytes VisibilityFrame(std::uint16_t id, std::uint32_t system, const std::vector<Look>& looks) {
    const std::size_t countAt = id == 48 ? 8 : 12;
    Body body(countAt + 4 + 40 * looks.size());
    body.Put(0, system).Put(countAt, static_cast<std::uint32_t>(looks.size()));
    for (std::size_t i = 0; i < looks.size(); ++i) {
        const std::size_t at = countAt + 4 + 40 * i;
        body.Put(at, looks[i].prn).Put(at + 8, looks[i].elevationDeg).Put(at + 16, looks[i].azimuthDeg);
    }
    return Frame(id, body.bytes());
}

inline Bytes SatVis2Frame(std::uint32_t system, const std::vector<Look>& looks) {
    return VisibilityFrame(1043, system, looks);
}

inline Bytes SatVisFrame(const std::vector<Look>& looks) {
    return VisibilityFrame(48, 0, looks);
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct SatRow {
    int prn, snr1, snr2, used, elevation, azimuth;
};

inline void ExpectTable(const SatelliteEntry* table, int count, const std::vector<SatRow>& rows) {
    ASSERT_EQ(count, static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SatelliteEntry& e = table[i];
        const SatRow& r = rows[i];
        EXPECT_EQ((std::vector<int>{e.prn, e.snr1, e.snr2, e.used, e.elevation, e.azimuth}),
                  (std::vector<int>{r.prn, r.snr1, r.snr2, r.used, r.elevation, r.azimuth}))
            << "entry " << i;
    }
}

}  // namespace sextara::novatel_test
