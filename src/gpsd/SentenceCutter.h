#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/GnssDecoder.h"

namespace sextara::gpsd {

// Cuts the receiver's NMEA sentences out of the bytes it sends, for the
// clients that watch with "nmea": works on the stream itself, so it serves
// every make, also one that mixes sentences with binary logs.
//
// A sentence runs from '$' to its line end (CR LF, or LF alone as some
// receivers end lines); a second '$' starts it afresh ("$$GPGGA" is taken
// from its last '$'). It needs an address of 2-6 capitals or digits and a
// comma after it, only printable characters, and a right checksum when it
// carries one. Framing counters: frames are sentences handed out,
// checksumErrors bad checksums, oversize sentences over the cap, droppedBytes
// every other byte (binary logs, cut or malformed sentences).
class SentenceCutter {
public:
    // NMEA 0183 allows 82 characters with '$' and CR LF, but receivers run
    // longer: u-blox PUBX,03 reaches 485 (tests/data/nmea/hazer/gn803g.dat).
    // The same cap as the NMEA parser's longest line.
    static constexpr std::size_t kMaxSentence = 1024;

    // Appends each whole sentence, ending in CR LF, to `out`.
    void Feed(const std::uint8_t* bytes, std::size_t count, std::vector<std::string>& out);
    // Forgets a sentence under way (the stream was not followed meanwhile).
    void Reset();
    const DecoderCounters& Counters() const { return counters_; }

private:
    void Finish(std::vector<std::string>& out);
    void Drop();

    std::string line_;
    bool inSentence_ = false;
    bool tooLong_ = false;
    DecoderCounters counters_;
};

}  // namespace sextara::gpsd
