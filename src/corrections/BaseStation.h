#pragma once

#include <optional>

#include "corrections/Rtcm3Framer.h"

namespace sextara::corrections {

// The reference station as its 1005 or 1006 message gives it. The position
// is the antenna reference point (ARP): the corrections refer to it, so the
// 1006 antenna height is kept beside it and never subtracted.
struct BaseStation {
    int stationId = 0;                           // DF003
    double latDeg = 0, lonDeg = 0, heightM = 0;  // from the ECEF antenna reference point, WGS 84 ellipsoidal
    int messageNumber = 0;                       // 1005 or 1006
    double ecefXM = 0, ecefYM = 0, ecefZM = 0;   // DF025, DF026, DF027 as sent
    std::optional<double> antennaHeightM;        // DF028 (1006 only): the ARP above the survey marker
};

// The station of a 1005 or 1006 frame; none for other messages and for a
// payload too short for its message.
std::optional<BaseStation> DecodeBaseStation(const Rtcm3Frame& frame);

// WGS 84 ECEF (m) to geodetic (deg, deg, m), exact enough for mm at the surface.
void EcefToGeodetic(double x, double y, double z, double& latDeg, double& lonDeg, double& heightM);
// WGS 84 geodetic (deg, deg, m) to ECEF (m).
void GeodeticToEcef(double latDeg, double lonDeg, double heightM, double& x, double& y, double& z);

// The straight ECEF chord in km, heights included, not the great circle: the
// RTK baseline a surveyor means is the line between the two antennas.
double BaselineKm(const BaseStation& base, double latDeg, double lonDeg, double heightM);

}  // namespace sextara::corrections
