#pragma once

#include <array>
#include <string>

#include "decode/GnssState.h"
#include "decode/GpsTime.h"

namespace sextara {

// The ten values of the status panel, in panel order: latitude, longitude,
// altitude, time, date, fix, PDOP, satellites, RMS, NTRIP.
constexpr const char* kStatusLabels[10] = {"Lat:", "Lon:", "Alt:", "Time:", "Date:",
                                           "Fix:", "PDOP:", "SVS:", "RMS:", "NTRIP:"};

// Which constellation the panel's satellite count and the sky plot show.
enum class Constellation { Gps = 0, Glonass = 1, Beidou = 2, Galileo = 3 };

struct StatusInputs {
    Constellation selected = Constellation::Gps;
    CalendarTime deviceUtc;       // shown while there is no fix
    bool ntripConnected = false;  // spinner and differential age instead of "Disconnect"
    // The receiver's device went away: the fix value says so instead of "N/A".
    bool receiverLost = false;
};

// The fix value while the receiver is lost.
constexpr const char* kReceiverLostText = "Receiver lost";

// "31°13'48.000"N": degrees, minutes, seconds of the absolute value, then the
// hemisphere letter from the sign (0 counts as north or east). Rounding
// carries: seconds never print as 60.000.
std::string FormatDms(double degrees, const char* positive, const char* negative);
const char* FixQualityText(int fixQuality);

// One call per paint. The spinner turns one step per call while the NTRIP
// client is connected and stays while it is not.
std::array<std::string, 10> FormatStatus(const GnssState& state, const StatusInputs& inputs, int& spinner);

}  // namespace sextara
