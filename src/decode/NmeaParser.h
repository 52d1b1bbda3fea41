#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "decode/GnssDecoder.h"

namespace sextara {

namespace nmea {
class Sentence;
struct Profile;

// Indexes the per-constellation state of a parser; not the order of the
// GnssState tables, which Table() and Count() map.
enum Constellation : int { kGps = 0, kGlonass, kBeidou, kGalileo, kConstellations };
}  // namespace nmea

// The NMEA 0183 parser family: cuts sentences out of the byte stream, checks
// their checksum when they carry one, and writes GGA, GSA, GSV, RMC, GST and
// ZDA into GnssState. The five members differ only in data (line cap,
// line-end rule, recognised sentences, GSV and GSA rules; see the profiles in
// NmeaParser.cpp); what SetDiffMode sends is the make's (ReceiverMakes.cpp).
//
// Counters: frames = sentences accepted (recognised or not); checksumErrors =
// sentences skipped for a wrong "*hh"; oversize = sentences longer than the
// line cap, and "$" runs that grew past it with no end; droppedBytes = every
// byte not part of an accepted sentence or its line end.
class NmeaParser : public GnssDecoder {
public:
    // Longest line any member accepts, and the most bytes taken from one
    // Input at a time (the decoding thread hands over at most 2048; larger
    // counts are worked through in pieces of that size).
    static constexpr std::size_t kMaxLineCap = 1024;
    static constexpr std::size_t kInputSlice = 2048;

    std::int32_t Input(const std::uint8_t* bytes, std::uint32_t count) override;

    // Bytes held for a sentence whose line end has not arrived; never more
    // than the line cap + 1.
    std::size_t PendingBytes() const { return pendingSize_; }

protected:
    NmeaParser(GnssState* state, const nmea::Profile& profile);

private:
    std::size_t Process(std::string_view text);
    void Keep(std::string_view text, std::size_t tail);
    void Cut(std::string_view text, std::size_t dollar, std::size_t end, std::size_t next);
    void DropFragments(std::string_view fragments);
    bool Handle(std::string_view line);

    void OnGga(const nmea::Sentence& s);
    void OnRmc(const nmea::Sentence& s);
    void OnZda(const nmea::Sentence& s);
    void OnGst(const nmea::Sentence& s);
    void OnGsv(const nmea::Sentence& s, int constellation);
    void OnGsvAppended(const nmea::Sentence& s);
    void OnGsa(const nmea::Sentence& s);

    // Sets or clears GnssState::gsvInProgress for a bit set of constellations.
    void MarkGroup(unsigned constellations, bool inProgress);
    SatelliteEntry* Table(int constellation);
    std::int32_t& Count(int constellation);
    int UsableCount(int constellation);
    void ClearUsed(int constellation);
    void MarkUsed(int constellation, std::int32_t prn);
    void MarkFields(const nmea::Sentence& s, int constellation);
    void ApplySystemId(const nmea::Sentence& s);
    void PlaceByNumber(const nmea::Sentence& s);
    void SetDops(const nmea::Sentence& s);

    const nmea::Profile& profile_;
    // Per constellation: the GSV group for the second signal has begun (the
    // dual-frequency make sends one group per signal; cleared at each GGA).
    bool secondGroup_[nmea::kConstellations]{};
    bool skipping_ = false;  // inside a "$" run already counted oversize
    std::size_t pendingSize_ = 0;
    // The unfinished sentence (at most a line and its "\r") followed by one slice of input.
    std::array<char, kMaxLineCap + 1 + kInputSlice> work_;
};

// SkyTraq and other NMEA receivers: GPS, GLONASS, BeiDou; 512-byte lines.
class NmeaParserStd : public NmeaParser {
public:
    explicit NmeaParserStd(GnssState* state);
};

// Hemisphere: as NmeaParserStd in framing.
class NmeaParserHemis : public NmeaParser {
public:
    explicit NmeaParserHemis(GnssState* state);
};

// u-blox 6T and 8T: CR LF lines only.
class NmeaParserBlox : public NmeaParser {
public:
    explicit NmeaParserBlox(GnssState* state);
};

// u-blox 9P: four constellations, a second GSV group per signal fills snr2.
class NmeaParserBlox9 : public NmeaParser {
public:
    explicit NmeaParserBlox9(GnssState* state);
};

// Trimble receivers in NMEA mode: GSV satellites appended to the tables.
class NmeaParserTrimble : public NmeaParser {
public:
    explicit NmeaParserTrimble(GnssState* state);
};

}  // namespace sextara
