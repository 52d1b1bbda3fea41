#pragma once

#include <cstdint>
#include <span>

#include "decode/GnssState.h"
#include "decode/WireReader.h"

// The OEM binary logs this system reads, one handler per log; each board's
// decoder picks its own from a table by message id.
namespace sextara::novatel {

constexpr std::uint16_t kIdBestPos = 42;
constexpr std::uint16_t kIdSatVis = 48;
constexpr std::uint16_t kIdTrackStat = 83;
constexpr std::uint16_t kIdPsrDop = 174;
// A DOP log on NovAtel receivers, SATMSG on the BeiDou/GPS board.
constexpr std::uint16_t kIdDop = 911;
constexpr std::uint16_t kIdSatMsg = 911;
constexpr std::uint16_t kIdSatVis2 = 1043;

// A long-header frame with a good CRC, cut into what the handlers read.
struct Log {
    WireReader header;                   // the 28 header bytes
    std::span<const std::uint8_t> body;  // body length bytes
    std::uint16_t id;
};

using LogHandler = void (*)(GnssState& s, const Log& log);

struct LogRow {
    std::uint16_t id;
    LogHandler apply;
};

// Time from the header, position, fix and sigmas from the body.
void ApplyBestPos(GnssState& s, const Log& log);
// The same, followed by the diagnostic lines of the BeiDou/GPS board.
void ApplyBestPosTraced(GnssState& s, const Log& log);
// Rebuilds the GPS, GLONASS and BeiDou tables from the channels tracked.
void ApplyTrackStat(GnssState& s, const Log& log);
// Look angles of satellites already in the tables.
void ApplySatVis(GnssState& s, const Log& log);
void ApplySatVis2(GnssState& s, const Log& log);
// PDOP and HDOP.
void ApplyDop(GnssState& s, const Log& log);
// The BeiDou/GPS board's satellite list: rebuilds its tables whole.
void ApplySatMsg(GnssState& s, const Log& log);
// A log read by no handler: only traced.
void TraceOtherLog(GnssState& s, const Log& log);

}  // namespace sextara::novatel
