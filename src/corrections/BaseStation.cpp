#include "corrections/BaseStation.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <span>

namespace sextara::corrections {
namespace {

// Reads big-endian bit fields in order, as RTCM 3 packs them. A read past
// the end gives 0 and marks the reader overrun.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint64_t Unsigned(unsigned bits) {
        if (bits > 64 || bits > bytes_.size() * 8 - position_) {
            overrun_ = true;
            return 0;
        }
        std::uint64_t value = 0;
        for (unsigned i = 0; i < bits; ++i, ++position_) {
            value = (value << 1) | ((bytes_[position_ / 8] >> (7 - position_ % 8)) & 1u);
        }
        return value;
    }
    // Two's complement of the given width.
    std::int64_t Signed(unsigned bits) {
        const std::uint64_t raw = Unsigned(bits);
        if (bits == 0 || bits >= 64) return static_cast<std::int64_t>(raw);
        const std::uint64_t sign = std::uint64_t{1} << (bits - 1);
        return static_cast<std::int64_t>(raw ^ sign) - static_cast<std::int64_t>(sign);
    }
    void Skip(unsigned bits) { Unsigned(bits); }
    bool Overrun() const { return overrun_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
    bool overrun_ = false;
};

constexpr int kStationArp = 1005;
constexpr int kStationArpWithHeight = 1006;
constexpr double kDf025Metres = 0.0001;  // DF025..DF027 and DF028 resolution

// WGS 84.
constexpr double kSemiMajorM = 6378137.0;
constexpr double kFlattening = 1.0 / 298.257223563;
constexpr double kEccentricity2 = kFlattening * (2.0 - kFlattening);
constexpr double kDegPerRad = 180.0 / std::numbers::pi;

}  // namespace

// 1005 (19 bytes) and 1006 (21 bytes), the station of
// tests/data/rtcm3/pygpsdata-NTRIP-USCL00CHL0.log:
//   3E E0 00 03 84 1A 86 92 BF B4 4B 4B F4 FA B7 DC 37 62 8A 01 57
// DF002 message number (12 bits), DF003 station id (12), DF021 ITRF year (6),
// GPS/GLONASS/Galileo/reference-station flags (4), DF025 ARP ECEF X (38,
// signed, 0.0001 m), oscillator flag and a reserved bit (2), DF026 Y (38),
// quarter-cycle indicator (2), DF027 Z (38); 1006 adds DF028 antenna height
// (16, unsigned, 0.0001 m).
std::optional<BaseStation> DecodeBaseStation(const Rtcm3Frame& frame) {
    if (frame.messageNumber != kStationArp && frame.messageNumber != kStationArpWithHeight)
        return std::nullopt;
    BitReader bits(frame.payload);
    BaseStation base;
    base.messageNumber = static_cast<int>(bits.Unsigned(12));
    base.stationId = static_cast<int>(bits.Unsigned(12));
    bits.Skip(6 + 4);
    base.ecefXM = static_cast<double>(bits.Signed(38)) * kDf025Metres;
    bits.Skip(2);
    base.ecefYM = static_cast<double>(bits.Signed(38)) * kDf025Metres;
    bits.Skip(2);
    base.ecefZM = static_cast<double>(bits.Signed(38)) * kDf025Metres;
    if (base.messageNumber == kStationArpWithHeight) {
        base.antennaHeightM = static_cast<double>(bits.Unsigned(16)) * kDf025Metres;
    }
    if (bits.Overrun()) return std::nullopt;
    EcefToGeodetic(base.ecefXM, base.ecefYM, base.ecefZM, base.latDeg, base.lonDeg, base.heightM);
    return base;
}

void EcefToGeodetic(double x, double y, double z, double& latDeg, double& lonDeg, double& heightM) {
    // Fixed-point iteration on the latitude; from the surface up to orbit it
    // settles below 1e-12 rad (well under a millimetre) in a few rounds. The
    // height formula holds at the poles too, where p is 0.
    const double p = std::hypot(x, y);
    double lat = std::atan2(z, p * (1.0 - kEccentricity2));
    double n = kSemiMajorM;
    for (int round = 0; round < 10; ++round) {
        const double sinLat = std::sin(lat);
        n = kSemiMajorM / std::sqrt(1.0 - kEccentricity2 * sinLat * sinLat);
        const double next = std::atan2(z + kEccentricity2 * n * sinLat, p);
        const bool settled = std::fabs(next - lat) < 1e-14;
        lat = next;
        if (settled) break;
    }
    const double sinLat = std::sin(lat);
    n = kSemiMajorM / std::sqrt(1.0 - kEccentricity2 * sinLat * sinLat);
    latDeg = lat * kDegPerRad;
    lonDeg = std::atan2(y, x) * kDegPerRad;
    heightM = p * std::cos(lat) + z * sinLat - kSemiMajorM * kSemiMajorM / n;
}

void GeodeticToEcef(double latDeg, double lonDeg, double heightM, double& x, double& y, double& z) {
    const double lat = latDeg / kDegPerRad, lon = lonDeg / kDegPerRad;
    const double sinLat = std::sin(lat);
    const double n = kSemiMajorM / std::sqrt(1.0 - kEccentricity2 * sinLat * sinLat);
    x = (n + heightM) * std::cos(lat) * std::cos(lon);
    y = (n + heightM) * std::cos(lat) * std::sin(lon);
    z = (n * (1.0 - kEccentricity2) + heightM) * sinLat;
}

double BaselineKm(const BaseStation& base, double latDeg, double lonDeg, double heightM) {
    double bx, by, bz, rx, ry, rz;
    GeodeticToEcef(base.latDeg, base.lonDeg, base.heightM, bx, by, bz);
    GeodeticToEcef(latDeg, lonDeg, heightM, rx, ry, rz);
    return std::sqrt((rx - bx) * (rx - bx) + (ry - by) * (ry - by) + (rz - bz) * (rz - bz)) / 1000.0;
}

}  // namespace sextara::corrections
