#pragma once

#include <string>

#include "decode/GnssState.h"

namespace sextara {

// One JSON object, no newline: keys are the GnssState field names, each
// satellite table an array of its first count entries (count clamped to the
// table) with the SatelliteEntry field names. Doubles are written with 17
// significant digits so that two equal states print alike.
std::string GnssStateToJson(const GnssState& state);

// A double as the record prints it (17 significant digits), so that other
// outputs of the same value compare equal with it.
std::string JsonNumber(double value);

}  // namespace sextara
