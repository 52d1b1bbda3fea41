#pragma once

#include "decode/GnssDecoder.h"

namespace sextara {

// Placeholder declarations; the parser family is filled in separately.
class NmeaParserStd : public GnssDecoder {
public:
    explicit NmeaParserStd(GnssState* state) : GnssDecoder(state) {}
    std::int32_t Input(const std::uint8_t*, std::uint32_t) override { return 1; }
    void SetDiffMode(ByteSink&, std::int32_t) override {}
};
class NmeaParserHemis : public NmeaParserStd {
public:
    NmeaParserHemis(GnssState* state, platform::Clock&) : NmeaParserStd(state) {}
};
class NmeaParserBlox : public NmeaParserStd {
public:
    using NmeaParserStd::NmeaParserStd;
};
class NmeaParserBlox9 : public NmeaParserStd {
public:
    using NmeaParserStd::NmeaParserStd;
};
class NmeaParserTrimble : public NmeaParserStd {
public:
    using NmeaParserStd::NmeaParserStd;
};

}  // namespace sextara
