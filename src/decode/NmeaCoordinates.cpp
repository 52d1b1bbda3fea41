#include "decode/NmeaCoordinates.h"

#include <cmath>
#include <cstdio>

namespace sextara {

std::string FormatNmeaDegreesMinutes(double degrees, int degreeDigits) {
    double magnitude = std::fabs(degrees);
    // Beyond any coordinate; keeps the integer conversion defined.
    if (!std::isfinite(magnitude) || magnitude >= 1e6) magnitude = 0.0;
    long whole = static_cast<long>(magnitude);
    char minutes[32];
    // Zero-padded to two integer digits by the width, so minutes that round
    // to 10 are "10.0000000", not a "0" put before them.
    std::snprintf(minutes, sizeof minutes, "%010.7f", (magnitude - static_cast<double>(whole)) * 60.0);
    if (minutes[0] == '6') {
        ++whole;
        std::snprintf(minutes, sizeof minutes, "%010.7f", 0.0);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%0*ld%s", degreeDigits, whole, minutes);
    return text;
}

}  // namespace sextara
