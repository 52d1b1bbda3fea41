#pragma once

// Builds GSOF records, GENOUT pages and framed packets byte for byte as a
// receiver sends them, with correct checksums, for tests, benchmarks and fuzz
// seeds. No real GSOF capture exists in tests/data, so every GSOF input of the
// suite comes from here. Header-only and free of project includes so that any
// target can use it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace sextara::gsof_packets {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kGenoutType = 0x40;
constexpr std::uint8_t kDefaultStatus = 0x28;  // the receiver-status byte real receivers put there
// Packet data is at most 255 bytes and each page spends 3 on its header;
// receivers fill pages to 248 bytes of record stream.
constexpr std::size_t kMaxPagePart = 252;
constexpr std::size_t kReceiverPagePart = 248;

constexpr double kPi = 3.14159265358979323846;

// Big-endian appenders: GSOF is big-endian throughout.
inline void PutU8(Bytes& out, std::uint8_t v) {
    out.push_back(v);
}
inline void PutU16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
inline void PutU32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
inline void PutF32(Bytes& out, float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    PutU32(out, bits);
}
inline void PutF64(Bytes& out, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(bits >> shift));
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A record: type, length byte, body. The length byte keeps only the low 8
// bits of the body size, as receivers do for long type-34 records.
inline Bytes Record(std::uint8_t type, const Bytes& body) {
    Bytes out{type, static_cast<std::uint8_t>(body.size() & 0xFF)};
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// Type 1, position time (body 10 bytes).
struct PositionTime {
    std::uint32_t timeOfWeekMs = 0;
    std::uint16_t week = 0;
    std::uint8_t satellitesUsed = 0;
    std::uint8_t flags1 = 0;
    std::uint8_t flags2 = 0;  // low bits: 0 none, 1 differential, 3 float, 7 fixed
    std::uint8_t initCounter = 0;
};
inline Bytes PositionTimeRecord(const PositionTime& r) {
    Bytes body;
    PutU32(body, r.timeOfWeekMs);
    PutU16(body, r.week);
    PutU8(body, r.satellitesUsed);
    PutU8(body, r.flags1);
    PutU8(body, r.flags2);
    PutU8(body, r.initCounter);
    return Record(1, body);
}

// Type 2, latitude, longitude (radians) and height (metres) (body 24 bytes).
inline Bytes LatLonHeightRecord(double latitudeRad, double longitudeRad, double heightM) {
    Bytes body;
    PutF64(body, latitudeRad);
    PutF64(body, longitudeRad);
    PutF64(body, heightM);
    return Record(2, body);
}
inline Bytes LatLonHeightDegRecord(double latitudeDeg, double longitudeDeg, double heightM) {
    return LatLonHeightRecord(latitudeDeg * kPi / 180.0, longitudeDeg * kPi / 180.0, heightM);
}

// Type 9, DOP (body 16 bytes).
inline Bytes DopRecord(float pdop, float hdop, float vdop, float tdop = 0) {
    Bytes body;
    PutF32(body, pdop);
    PutF32(body, hdop);
    PutF32(body, vdop);
    PutF32(body, tdop);
    return Record(9, body);
}

// Type 12, position sigma in metres (body 38 bytes).
struct Sigma {
    float positionRms = 0;
    float sigmaEast = 0;
    float sigmaNorth = 0;
    float covarianceEastNorth = 0;
    float sigmaUp = 0;
    float semiMajor = 0;
    float semiMinor = 0;
    float orientationDeg = 0;
    float unitVariance = 1;
    std::uint16_t epochs = 1;
};
inline Bytes SigmaRecord(const Sigma& r) {
    Bytes body;
    for (float v : {r.positionRms, r.sigmaEast, r.sigmaNorth, r.covarianceEastNorth, r.sigmaUp, r.semiMajor,
                    r.semiMinor, r.orientationDeg, r.unitVariance})
        PutF32(body, v);
    PutU16(body, r.epochs);
    return Record(12, body);
}

// Type 34, all satellites detailed: a count byte, then 10 bytes per satellite.
enum SatSystem : std::uint8_t { kGps = 0, kSbas = 1, kGlonass = 2, kGalileo = 3, kQzss = 4, kBeidou = 5 };
constexpr std::uint8_t kUsedInPosition = 0x40;  // flags 1, bit 6
struct Satellite {
    std::uint8_t prn = 0;
    std::uint8_t system = kGps;
    std::uint8_t flags1 = 0;
    std::uint8_t flags2 = 0;
    std::uint8_t elevationDeg = 0;
    std::uint16_t azimuthDeg = 0;
    std::uint8_t snrL1x4 = 0;  // dB-Hz times 4
    std::uint8_t snrL2x4 = 0;
    std::uint8_t snrL5x4 = 0;
};
inline Bytes AllSatellitesRecord(const std::vector<Satellite>& satellites) {
    Bytes body;
    PutU8(body, static_cast<std::uint8_t>(satellites.size()));
    for (const Satellite& s : satellites) {
        PutU8(body, s.prn);
        PutU8(body, s.system);
        PutU8(body, s.flags1);
        PutU8(body, s.flags2);
        PutU8(body, s.elevationDeg);
        PutU16(body, s.azimuthDeg);
        PutU8(body, s.snrL1x4);
        PutU8(body, s.snrL2x4);
        PutU8(body, s.snrL5x4);
    }
    return Record(34, body);
}

// Sum of status, type, length and data bytes, modulo 256.
inline std::uint8_t Checksum(const std::uint8_t* bytes, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<std::uint8_t>(sum);
}

// STX, status, type, length, data, checksum, ETX. Data beyond 255 bytes is
// cut: the length field is one byte.
inline Bytes Packet(const Bytes& data, std::uint8_t type = kGenoutType, std::uint8_t status = kDefaultStatus,
                    bool withEtx = true) {
    const std::size_t length = data.size() > 255 ? 255 : data.size();
    Bytes out{kStx, status, type, static_cast<std::uint8_t>(length)};
    out.insert(out.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
    out.push_back(Checksum(out.data() + 1, out.size() - 1));
    if (withEtx) out.push_back(kEtx);
    return out;
}

// GENOUT page: transmission number, page index, highest page index, part.
inline Bytes Page(std::uint8_t transmission, std::uint8_t index, std::uint8_t highest,
                  const std::uint8_t* part, std::size_t count) {
    Bytes out{transmission, index, highest};
    out.insert(out.end(), part, part + count);
    return out;
}
inline Bytes Page(std::uint8_t transmission, std::uint8_t index, std::uint8_t highest, const Bytes& part) {
    return Page(transmission, index, highest, part.data(), part.size());
}

// One transmission: the record stream cut into pages of at most partBytes,
// each framed; one packet per element so tests can drop or reorder pages.
inline std::vector<Bytes> TransmissionPackets(const Bytes& records, std::uint8_t transmission = 0,
                                              std::size_t partBytes = kReceiverPagePart) {
    if (partBytes == 0 || partBytes > kMaxPagePart) partBytes = kMaxPagePart;
    const std::size_t pages = records.empty() ? 1 : (records.size() + partBytes - 1) / partBytes;
    const auto highest = static_cast<std::uint8_t>(pages - 1);
    std::vector<Bytes> out;
    for (std::size_t i = 0; i < pages; ++i) {
        const std::size_t from = i * partBytes;
        const std::size_t count = records.size() - from < partBytes ? records.size() - from : partBytes;
        out.push_back(
            Packet(Page(transmission, static_cast<std::uint8_t>(i), highest, records.data() + from, count)));
    }
    return out;
}
inline Bytes Transmission(const Bytes& records, std::uint8_t transmission = 0,
                          std::size_t partBytes = kReceiverPagePart) {
    Bytes out;
    for (const Bytes& packet : TransmissionPackets(records, transmission, partBytes))
        out.insert(out.end(), packet.begin(), packet.end());
    return out;
}

// A plausible satellite of index i: systems in turn, spread over the sky.
inline Satellite SampleSatellite(int i) {
    static constexpr std::uint8_t kSystems[] = {kGps, kGlonass, kGalileo, kBeidou, kSbas};
    Satellite s;
    s.system = kSystems[i % 5];
    s.prn = static_cast<std::uint8_t>(s.system == kSbas ? 120 + i / 5 : 1 + i / 5 * 2 + i % 2);
    s.flags1 = static_cast<std::uint8_t>(0x01 | 0x02 | (i % 3 != 0 ? kUsedInPosition : 0));
    s.elevationDeg = static_cast<std::uint8_t>(5 + (i * 7) % 85);
    s.azimuthDeg = static_cast<std::uint16_t>((i * 37) % 360);
    s.snrL1x4 = static_cast<std::uint8_t>(4 * (30 + i % 20) + 1);
    s.snrL2x4 = static_cast<std::uint8_t>(4 * (25 + i % 15) + 3);
    return s;
}

// The record stream of one epoch as a receiver set up for this system sends
// it: position time, position, DOP, sigma and all satellites.
inline Bytes SampleEpochRecords(std::uint16_t week, std::uint32_t timeOfWeekMs, int satellites = 24) {
    std::vector<Satellite> sats;
    for (int i = 0; i < satellites; ++i) sats.push_back(SampleSatellite(i));
    PositionTime pt;
    pt.timeOfWeekMs = timeOfWeekMs;
    pt.week = week;
    pt.satellitesUsed = static_cast<std::uint8_t>(satellites * 2 / 3);
    pt.flags1 = 0x0F;
    pt.flags2 = 0x07;
    Sigma sigma;
    sigma.positionRms = 0.012f;
    sigma.sigmaEast = 0.008f;
    sigma.sigmaNorth = 0.006f;
    sigma.sigmaUp = 0.015f;
    return Concat({PositionTimeRecord(pt), LatLonHeightDegRecord(31.2, 121.5, 12.5),
                   DopRecord(1.6f, 0.9f, 1.3f), SigmaRecord(sigma), AllSatellitesRecord(sats)});
}

// `epochs` consecutive one-second epochs as framed transmissions, e.g. for a
// throughput run.
inline Bytes SampleStream(int epochs, int satellites = 24, std::uint16_t week = 2300) {
    Bytes out;
    for (int i = 0; i < epochs; ++i) {
        const Bytes t =
            Transmission(SampleEpochRecords(week, static_cast<std::uint32_t>(i) * 1000u, satellites),
                         static_cast<std::uint8_t>(i));
        out.insert(out.end(), t.begin(), t.end());
    }
    return out;
}

}  // namespace sextara::gsof_packets
