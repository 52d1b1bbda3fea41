#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "decode/GnssDecoder.h"
#include "platform/Clock.h"
#include "decode/ReceiverType.h"

namespace sextara::test {

// "$" + body + "*hh" + line end, with the checksum the receiver would send.
inline std::string Nmea(std::string_view body, std::string_view lineEnd = "\r\n") {
    std::uint8_t sum = 0;
    for (char c : body) sum ^= static_cast<std::uint8_t>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return "$" + std::string(body) + tail + std::string(lineEnd);
}

// What differs between the members, as the tests expect it.
struct Member {
    const char* name;
    std::int32_t make;
    std::size_t lineCap;
    bool lfFallback;
    std::int32_t quality9;
    bool zda;
    bool galileoGsv;
};

inline constexpr Member kMembers[] = {
    {"Std", enOther, 512, true, kFixDgps, true, false},
    {"Hemis", enHemis, 512, true, kFixNone, true, false},
    {"Blox", enBlox8T, 1024, false, kFixNone, false, false},
    {"Blox9", enBlox9P, 1024, false, kFixNone, false, true},
    {"Trimble", enTrimbleNMEA, 1024, false, kFixDgps, true, false},
};

inline void PrintTo(const Member& member, std::ostream* out) {
    *out << member.name;
}
inline std::string MemberName(const testing::TestParamInfo<Member>& info) {
    return info.param.name;
}

// A parser of one make over its own state record, fed like the decoding thread feeds it.
struct Parser {
    explicit Parser(std::int32_t make) : decoder(MakeDecoder(make, &state, clock)) {}
    void Feed(std::string_view bytes) {
        decoder->Input(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                       static_cast<std::uint32_t>(bytes.size()));
    }
    const DecoderCounters& Counters() const { return decoder->Counters(); }

    GnssState state{};
    platform::ManualClock clock;
    std::unique_ptr<GnssDecoder> decoder;
};

// The classic GGA: 12:35:19, 48°07.038' N, 11°31.000' E, single fix, 545.4 m,
// geoid 46.9 m, no differential age.
inline const std::string kGga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

}  // namespace sextara::test
