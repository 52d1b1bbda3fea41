#pragma once

#include <cstdint>
#include <mutex>

namespace sextara {

// One tracked satellite as the receiver reports it. prn 0 marks an empty entry.
struct SatelliteEntry {
    std::int32_t prn = 0;
    std::int32_t elevation = 0;  // degrees above the horizon
    std::int32_t azimuth = 0;    // degrees from true north
    std::int32_t snr1 = 0;       // dB-Hz, first frequency (L1, B1, G1)
    std::int32_t snr2 = 0;       // dB-Hz, second frequency; 0 for single-frequency makes
    std::uint8_t used = 0;       // 1 when used in the position solution
};

enum FixQuality : std::int32_t {
    kFixNone = 0,
    kFixSingle = 1,
    kFixDgps = 2,
    kFixFloat = 3,
    kFixFixed = 4,
};

constexpr int kSatTableSize = 20;

// Bits of GnssState::gsvInProgress, one per constellation.
constexpr std::uint8_t kGsvGps = 1;
constexpr std::uint8_t kGsvGlonass = 2;
constexpr std::uint8_t kGsvBeidou = 4;
constexpr std::uint8_t kGsvGalileo = 8;

// The latest decoded picture of the receiver. Plain data, zero-filled at
// start; each field is overwritten by the newest sentence or message that
// carries it. Tables run GPS, BeiDou, GLONASS, Galileo; the counts run GPS,
// GLONASS, BeiDou, Galileo: a count always belongs to its own table.
struct GnssState {
    SatelliteEntry gpsSats[kSatTableSize]{};
    SatelliteEntry beidouSats[kSatTableSize]{};
    SatelliteEntry glonassSats[kSatTableSize]{};
    SatelliteEntry galileoSats[kSatTableSize]{};
    std::int32_t year = 0;
    std::int32_t month = 0;
    std::int32_t day = 0;
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    std::int32_t second = 0;
    std::int32_t fixQuality = kFixNone;
    double latitude = 0;   // decimal degrees, north positive
    double longitude = 0;  // decimal degrees, east positive
    double altitude = 0;   // metres above mean sea level
    double geoidSeparation = 0;  // metres
    double pdop = 0;
    double hdop = 0;
    double vdop = 0;
    double hrms = 0;  // metres, horizontal 1-sigma
    double vrms = 0;  // metres, vertical 1-sigma
    double latitudeSigma = 0;   // metres
    double longitudeSigma = 0;  // metres
    std::int32_t satellitesTotal = 0;
    std::int32_t gpsCount = 0;
    std::int32_t glonassCount = 0;
    std::int32_t beidouCount = 0;
    std::int32_t galileoCount = 0;
    std::int32_t differentialAge = 0;  // seconds, truncated
    // Constellations whose GSV group has begun and not yet ended: their table
    // is half rewritten (new count, later entries still old or empty), so a
    // display keeps the last whole table meanwhile. Set by the NMEA parsers,
    // and by the NovAtel decoder between a TRACKSTAT and the visibility log
    // that brings its look angles; not part of the decoded picture that the
    // tools print.
    std::uint8_t gsvInProgress = 0;
};

// The one GnssState of the process together with the lock that makes every
// reader see a whole record: the decoding thread holds it while a chunk of
// received bytes is applied, readers hold it only while they copy.
class GnssStateStore {
public:
    GnssState Snapshot() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return state_;
    }
    // For the decoding side: the record itself and the lock to hold around writes.
    GnssState* Raw() { return &state_; }
    std::mutex& Mutex() const { return mutex_; }

private:
    GnssState state_{};
    mutable std::mutex mutex_;
};

}  // namespace sextara
