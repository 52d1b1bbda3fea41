#include "decode/GsofDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "decode/GpsTime.h"
#include "decode/WireReader.h"
#include "platform/Debug.h"

namespace sextara {
namespace {

constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kGenoutType = 0x40;
// GENOUT page header: transmission number, page index, highest page index.
constexpr std::size_t kPageHeaderBytes = 3;

constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

// Sum of status, type, length and data bytes, modulo 256.
std::uint8_t PacketChecksum(const std::uint8_t* fromStatus, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += fromStatus[i];
    return static_cast<std::uint8_t>(sum);
}

// Position flags 2 to a fix code. Bit 0 differential, bit 1 carrier-phase
// solution, bit 2 ambiguities fixed.
std::int32_t FixFromPositionFlags(std::uint8_t flags2) {
    switch (flags2 & 0x0F) {
        case 0x0: return kFixNone;
        case 0x1: return kFixDgps;
        case 0x3: return kFixFloat;
        case 0x7: return kFixFixed;
        default:
            // Any other mix: with the phase bit in an unlisted combination the
            // solution is not trusted, otherwise it is a plain position.
            return (flags2 & 0x03) <= 1 ? kFixSingle : kFixNone;
    }
}

// Type 1, position time, e.g. 01 0A 1D 4C 8A 40 07 D0 0C 0F 07 01:
// +2 GPS time of week (U32, ms), +6 GPS week (U16), +8 satellites used,
// +9 position flags 1, +10 position flags 2, +11 initialisation counter.
void ApplyPositionTime(const WireReader& record, GnssState& state) {
    if (!record.Has(0, 11)) return;
    const CalendarTime utc = GpsWeekMsToUtc(record.U16be(6), record.U32be(2));
    state.year = utc.year;
    state.month = utc.month;
    state.day = utc.day;
    state.hour = utc.hour;
    state.minute = utc.minute;
    state.second = utc.second;
    std::int32_t fix = FixFromPositionFlags(record.U8(10));
    // Kept as field units always showed it: flags 0 with a held position north-east of (1, 1) is single.
    if (fix == kFixNone && state.latitude > 1.0 && state.longitude > 1.0) fix = kFixSingle;
    state.fixQuality = fix;
}

// Type 2, position, e.g. 02 18 then three F64: +2 latitude (radians, north
// positive), +10 longitude (radians, east positive), +18 height (metres).
void ApplyLatLonHeight(const WireReader& record, GnssState& state) {
    if (!record.Has(0, 26)) return;
    state.latitude = record.F64be(2) * kDegreesPerRadian;
    state.longitude = record.F64be(10) * kDegreesPerRadian;
    state.altitude = record.F64be(18);
}

// Type 9, DOP, e.g. 09 10 then four F32: +2 PDOP, +6 HDOP, +10 VDOP, +14 TDOP
// (not used).
void ApplyDop(const WireReader& record, GnssState& state) {
    if (!record.Has(0, 14)) return;
    state.pdop = record.F32be(2);
    state.hdop = record.F32be(6);
    state.vdop = record.F32be(10);
}

// Type 12, position sigma, e.g. 0C 26 then nine F32 and a U16: +2 position
// RMS, +6 sigma east, +10 sigma north, +14 east-north covariance, +18 sigma up
// (metres), then error ellipse, unit variance and epoch count (not used).
void ApplySigma(const WireReader& record, GnssState& state) {
    if (!record.Has(0, 22)) return;
    const float east = record.F32be(6);
    const float north = record.F32be(10);
    // Squares and sum in single precision on purpose: stored values stay
    // identical to the ones the field units have always shown.
    const float sumOfSquares = north * north + east * east;
    state.hrms = std::sqrt(static_cast<double>(sumOfSquares));
    state.vrms = record.F32be(18);
}

struct SatTable {
    SatelliteEntry* entries = nullptr;
    std::int32_t* count = nullptr;
};

// GSOF satellite system codes; QZSS (4) and others have no table.
SatTable TableForSystem(std::uint8_t system, GnssState& state) {
    switch (system) {
        case 0:  // GPS
        case 1:  // SBAS shares the GPS table
            return {state.gpsSats, &state.gpsCount};
        case 2: return {state.glonassSats, &state.glonassCount};
        case 3: return {state.galileoSats, &state.galileoCount};
        case 5: return {state.beidouSats, &state.beidouCount};
        default: return {};
    }
}

// Type 34, all satellites detailed, e.g. 22 0B 01 0C 00 4B 00 2D 00 87 A8 94 00:
// +2 satellite count S, then 10-byte blocks from +3: +0 PRN, +1 system
// (0 GPS, 1 SBAS, 2 GLONASS, 3 Galileo, 5 BeiDou), +2 flags 1 (bit 6 used in
// the position), +3 flags 2, +4 elevation (degrees), +5 azimuth (U16,
// degrees), +7 L1 SNR, +8 L2 SNR, +9 L5 SNR (dB-Hz times 4; L5 not used).
// The record may hold fewer blocks than S claims; only whole blocks are read.
void ApplyAllSatellites(const WireReader& record, GnssState& state) {
    for (SatelliteEntry* table : {state.gpsSats, state.beidouSats, state.glonassSats, state.galileoSats})
        std::fill(table, table + kSatTableSize, SatelliteEntry{});
    state.gpsCount = state.glonassCount = state.beidouCount = state.galileoCount = 0;

    constexpr std::size_t kBlockBytes = 10;
    const std::size_t claimed = record.U8(2);
    const std::size_t held = record.Size() > 3 ? (record.Size() - 3) / kBlockBytes : 0;
    const std::size_t blocks = std::min(claimed, held);
    int dropped = 0;
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::size_t at = 3 + i * kBlockBytes;
        const SatTable table = TableForSystem(record.U8(at + 1), state);
        if (table.entries == nullptr) continue;
        if (*table.count < 0 || *table.count >= kSatTableSize) {
            ++dropped;
            continue;
        }
        SatelliteEntry& entry = table.entries[*table.count];
        entry.prn = record.U8(at);
        entry.elevation = record.U8(at + 4);
        entry.azimuth = record.U16be(at + 5);
        entry.snr1 = record.U8(at + 7) / 4;
        entry.snr2 = record.U8(at + 8) / 4;
        entry.used = (record.U8(at + 2) >> 6) & 1;
        ++*table.count;
    }
    if (dropped > 0) SEXTARA_DEBUG("GSOF all-SV: %d satellites beyond a full table dropped\n", dropped);
    state.satellitesTotal = state.gpsCount + state.glonassCount + state.beidouCount + state.galileoCount;
}

}  // namespace

std::int32_t GsofDecoder::Input(const std::uint8_t* bytes, std::uint32_t count) {
    if (bytes == nullptr || count == 0) {
        SEXTARA_DEBUG("Decoder -- Decoder Input InValid Para \n");
        return 0;
    }
    // The buffer-full rule is sized for one chunk of the decoding thread;
    // longer calls are fed as a series of such chunks.
    while (count > 0) {
        const std::size_t piece = std::min<std::size_t>(count, kPieceBytes);
        InputPiece(bytes, piece);
        bytes += piece;
        count -= static_cast<std::uint32_t>(piece);
    }
    return 0;
}

// Room for count (<= kPieceBytes) new bytes: a buffer holding at most one
// chunk is emptied, a fuller one loses its oldest chunk's worth. A packet still
// waiting for its end lies within kMaxPacketBytes of the end, so only bytes
// that can never start a packet are lost.
void GsofDecoder::MakeRoomFor(std::size_t count) {
    if (fill_ + count <= kAccumulationBytes) return;
    const std::size_t drop = fill_ <= kPieceBytes ? fill_ : kPieceBytes;
    std::memmove(accumulation_, accumulation_ + drop, fill_ - drop);
    fill_ -= drop;
    scanFrom_ = scanFrom_ > drop ? scanFrom_ - drop : 0;
    counters_.droppedBytes += drop;
    SEXTARA_DEBUG("GSOF buffer full: %zu bytes dropped\n", drop);
}

void GsofDecoder::InputPiece(const std::uint8_t* bytes, std::size_t count) {
    if (etxSlotPending_) {
        etxSlotPending_ = false;
        ++bytes;
        if (--count == 0) return;
    }
    MakeRoomFor(count);
    std::memcpy(accumulation_ + fill_, bytes, count);
    fill_ += count;

    std::size_t p = scanFrom_;
    std::size_t consumedEnd = 0;
    while (p < fill_) {
        const void* stx = std::memchr(accumulation_ + p, kStx, fill_ - p);
        if (stx == nullptr) {
            p = fill_;
            break;
        }
        p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(stx) - accumulation_);
        if (fill_ - p < kHeaderBytes) break;
        if (accumulation_[p + 2] != kGenoutType) {
            ++p;
            continue;
        }
        const std::size_t length = accumulation_[p + 3];
        // Whole once the checksum is in; the ETX is not awaited.
        if (fill_ - p < kHeaderBytes + length + 1) break;
        if (PacketChecksum(accumulation_ + p + 1, length + 3) != accumulation_[p + kHeaderBytes + length]) {
            ++counters_.checksumErrors;
            SEXTARA_DEBUG("GSOF checksum error at offset %zu\n", p);
            // One byte on, not a packet: this STX may have been a data byte,
            // and its bogus length would swallow the real packet behind it.
            ++p;
            continue;
        }
        ++counters_.frames;
        HandlePage(accumulation_ + p + kHeaderBytes, length);
        // Past the ETX slot whatever byte stands there.
        p += kHeaderBytes + length + 2;
        consumedEnd = p;
    }

    if (consumedEnd == 0) {
        scanFrom_ = p;
        return;
    }
    const std::size_t held = fill_;
    if (consumedEnd > held) {
        etxSlotPending_ = true;
        consumedEnd = held;
    }
    std::memmove(accumulation_, accumulation_ + consumedEnd, held - consumedEnd);
    fill_ = held - consumedEnd;
    scanFrom_ = std::min(p, held) - consumedEnd;
}

void GsofDecoder::AbandonTransmission() {
    assembling_ = false;
    assemblyFill_ = 0;
}

// GENOUT page: +0 transmission number, +1 page index, +2 highest page index,
// then the next part of the transmission's record stream. Pages are joined
// only in order from a first page, within one transmission; anything else
// drops the transmission in progress, since splicing parts of two
// transmissions yields records that were never sent.
void GsofDecoder::HandlePage(const std::uint8_t* data, std::size_t length) {
    if (length <= kPageHeaderBytes) return;
    const std::uint8_t transmission = data[0];
    const std::uint8_t index = data[1];
    const std::uint8_t highest = data[2];
    const std::uint8_t* part = data + kPageHeaderBytes;
    const std::size_t partBytes = length - kPageHeaderBytes;

    if (index == 0) {
        assemblyFill_ = 0;
        assembling_ = true;
        transmission_ = transmission;
        highestPage_ = highest;
        nextPage_ = 0;
    } else if (!assembling_ || transmission != transmission_ || highest != highestPage_ ||
               index != nextPage_) {
        SEXTARA_DEBUG("GSOF page %u of %u (transmission %u) out of order, transmission dropped\n",
                      unsigned{index}, unsigned{highest}, unsigned{transmission});
        AbandonTransmission();
        return;
    }
    // Strictly below the cap, as always; real transmissions come nowhere near it.
    if (assemblyFill_ + partBytes >= kAssemblyBytes) {
        ++counters_.oversize;
        SEXTARA_DEBUG("GSOF transmission %u longer than %zu bytes dropped\n", unsigned{transmission},
                      kAssemblyBytes);
        AbandonTransmission();
        return;
    }
    std::memcpy(assembly_ + assemblyFill_, part, partBytes);
    assemblyFill_ += partBytes;
    if (index < highest) {
        nextPage_ = static_cast<std::uint8_t>(index + 1);
        return;
    }
    assembling_ = false;
    DecodeRecords();
}

// Record stream: type byte, length byte (bytes after it), body. A record that
// runs past the joined data ends the transmission.
void GsofDecoder::DecodeRecords() {
    constexpr std::uint8_t kAllSatellites = 34;
    std::size_t q = 0;
    while (q + 2 <= assemblyFill_) {
        const std::size_t left = assemblyFill_ - q;
        const std::uint8_t type = assembly_[q];
        const std::size_t length = assembly_[q + 1];
        if (length + 2 > left) break;
        std::size_t recordBytes = length + 2;
        if (type == kAllSatellites) {
            // The length byte carries only the low 8 bits; more than 25
            // satellites make the record longer than 255 bytes.
            const std::size_t satellites = WireReader(assembly_ + q, recordBytes).U8(2);
            if (length < 10 * satellites) recordBytes += 256;
            ApplyAllSatellites(WireReader(assembly_ + q, std::min(recordBytes, left)), *state_);
        } else {
            const WireReader record(assembly_ + q, recordBytes);
            switch (type) {
                case 1: ApplyPositionTime(record, *state_); break;
                case 2: ApplyLatLonHeight(record, *state_); break;
                case 9: ApplyDop(record, *state_); break;
                case 12: ApplySigma(record, *state_); break;
                default: break;  // 16, 27 and the rest carry nothing shown
            }
        }
        q += recordBytes;
    }
    assemblyFill_ = 0;
}

}  // namespace sextara
