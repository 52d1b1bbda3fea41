#pragma once

#include <cstdint>
#include <span>

#include "decode/GnssDecoder.h"
#include "decode/NovatelFramer.h"
#include "decode/NovatelLogs.h"

namespace sextara {

// A board that speaks the OEM binary logs: its framing rules, the logs it
// reads by message id, and what becomes of the other ids (null: nothing).
struct NovatelBoard {
    const NovatelFraming& framing;
    std::span<const novatel::LogRow> logs;
    novatel::LogHandler otherLog;
};

// The framer of a board feeding that board's log handlers.
class NovatelBoardDecoder : public GnssDecoder {
public:
    NovatelBoardDecoder(GnssState* state, const NovatelBoard& board);

    std::int32_t Input(const std::uint8_t* bytes, std::uint32_t count) override;

private:
    void HandleFrame(const NovatelFrame& frame);

    const NovatelBoard& board_;
    NovatelFramer framer_;
};

// NovAtel receivers configured for BESTPOSB, TRACKSTATB and SATVIS2B; also
// takes SATVISB and PSRDOPB, which receivers in the field send as well.
// Frames are searched in a held window of the stream; a frame with a bad CRC
// is skipped whole; bytes that never form a frame stay held until a frame
// behind them is taken or the buffer-full rule drops them.
class NovatelDecoder : public NovatelBoardDecoder {
public:
    explicit NovatelDecoder(GnssState* state);
};

// The BeiDou/GPS board that speaks the same framing, configured for BESTPOSB
// and SATMSGB (id 911, which on this board is a satellite list, not a DOP log).
// It drops everything it holds on any framing fault and starts afresh.
class NovatelDecoderCompass : public NovatelBoardDecoder {
public:
    explicit NovatelDecoderCompass(GnssState* state);
};

}  // namespace sextara
