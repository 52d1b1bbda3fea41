#pragma once

#include "decode/GnssDecoder.h"

namespace sextara {

// Placeholder declarations; the decoders are filled in separately.
class NovatelDecoder : public GnssDecoder {
public:
    explicit NovatelDecoder(GnssState* state) : GnssDecoder(state) {}
    std::int32_t Input(const std::uint8_t*, std::uint32_t) override { return 0; }
    void SetDiffMode(ByteSink&, std::int32_t) override {}
};
class NovatelDecoderCompass : public NovatelDecoder {
public:
    using NovatelDecoder::NovatelDecoder;
};

}  // namespace sextara
