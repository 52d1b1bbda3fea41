#pragma once

#include <string>

namespace sextara {

// The degrees-and-minutes field of an NMEA position ("ddmm.mmmmmmm" or
// "dddmm.mmmmmmm"): whole degrees of the magnitude in degreeDigits digits,
// then minutes with two integer digits and seven decimals. The sign is the
// caller's (the N/S or E/W field). Minutes that round up to 60 carry into the
// degrees: 10.99999999999 gives "1100.0000000", never "1060.0000000".
// A value that is not finite prints as 0.
std::string FormatNmeaDegreesMinutes(double degrees, int degreeDigits);

}  // namespace sextara
