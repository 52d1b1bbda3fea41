#include "ui/StatusFormat.h"

#include <cmath>
#include <cstdio>

namespace sextara {
namespace {

template <typename... Args>
std::string Printf(const char* format, Args... args) {
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

int SelectedCount(const GnssState& s, Constellation c) {
    switch (c) {
        case Constellation::Gps: return s.gpsCount;
        case Constellation::Glonass: return s.glonassCount;
        case Constellation::Beidou: return s.beidouCount;
        case Constellation::Galileo: return s.galileoCount;
    }
    return 0;
}

}  // namespace

std::string FormatDms(double degrees, const char* positive, const char* negative) {
    double magnitude = std::fabs(degrees);
    // Beyond any coordinate; keeps the integer conversions defined.
    if (!std::isfinite(magnitude) || magnitude >= 1e6) magnitude = 0.0;
    int whole = static_cast<int>(magnitude);
    const double minutesExact = (magnitude - whole) * 60;
    int minutes = static_cast<int>(minutesExact);
    double seconds = (minutesExact - minutes) * 60;
    // Seconds that print as 60.000 carry into the minutes, and those into
    // the degrees: 10.99999999 is 11°00'0.000", not 10°59'60.000".
    if (Printf("%.3f", seconds) == "60.000") {
        seconds = 0.0;
        if (++minutes == 60) {
            minutes = 0;
            ++whole;
        }
    }
    return Printf("%d\xC2\xB0%02d'%4.3f\"%s", whole, minutes, seconds, degrees >= 0 ? positive : negative);
}

const char* FixQualityText(int fixQuality) {
    switch (fixQuality) {
        case kFixSingle: return "Single";
        case kFixDgps: return "DGPS";
        case kFixFloat: return "Float";
        case kFixFixed: return "Fixed";
        default: return "N/A";
    }
}

std::array<std::string, 10> FormatStatus(const GnssState& s, const StatusInputs& in, int& spinner) {
    static constexpr const char* kSpinner[4] = {"--", "\\", "|", "/"};
    const bool fix = s.fixQuality > 0;
    const CalendarTime shown =
        fix ? CalendarTime{s.year, s.month, s.day, s.hour, s.minute, s.second} : in.deviceUtc;
    std::array<std::string, 10> out;
    out[0] = FormatDms(s.latitude, "N", "S");
    out[1] = FormatDms(s.longitude, "E", "W");
    out[2] = Printf("%.3f", s.altitude);
    out[3] = Printf("%02d:%02d:%02d", shown.hour, shown.minute, shown.second);
    out[4] = Printf("%d/%02d/%02d", shown.year, shown.month, shown.day);
    out[5] = in.receiverLost ? kReceiverLostText : FixQualityText(s.fixQuality);
    out[6] = Printf("%.3f", s.pdop);
    out[7] = Printf("%d/%d", s.satellitesTotal, SelectedCount(s, in.selected));
    out[8] = Printf("%.2f/%.2f", s.hrms, s.vrms);
    if (in.ntripConnected) {
        out[9] = Printf("%s     %d", kSpinner[((spinner % 4) + 4) % 4], s.differentialAge);
        ++spinner;
    } else {
        out[9] = "Disconnect";
    }
    return out;
}

}  // namespace sextara
