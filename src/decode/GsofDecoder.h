#pragma once

#include "decode/GnssDecoder.h"

namespace sextara {

// Placeholder declaration; the decoder is filled in separately.
class GsofDecoder : public GnssDecoder {
public:
    explicit GsofDecoder(GnssState* state) : GnssDecoder(state) {}
    std::int32_t Input(const std::uint8_t*, std::uint32_t) override { return 0; }
    void SetDiffMode(ByteSink&, std::int32_t) override {}
};

}  // namespace sextara
