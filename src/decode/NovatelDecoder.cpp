#include "decode/NovatelDecoder.h"

#include "platform/Debug.h"

namespace sextara {
namespace {

using namespace novatel;

constexpr LogRow kNovatelLogs[] = {
    {kIdBestPos, ApplyBestPos}, {kIdSatVis, ApplySatVis}, {kIdTrackStat, ApplyTrackStat},
    {kIdPsrDop, ApplyDop},      {kIdDop, ApplyDop},       {kIdSatVis2, ApplySatVis2},
};
constexpr NovatelBoard kNovatelBoard{kNovatelFraming, kNovatelLogs, TraceOtherLog};

// The board is not asked for other logs; TRACKSTAT and SATVIS, if it sends
// them anyway, feed nothing that anyone reads.
constexpr LogRow kCompassLogs[] = {
    {kIdBestPos, ApplyBestPosTraced},
    {kIdSatMsg, ApplySatMsg},
};
constexpr NovatelBoard kCompassBoard{kCompassFraming, kCompassLogs, nullptr};

}  // namespace

NovatelBoardDecoder::NovatelBoardDecoder(GnssState* state, const NovatelBoard& board)
    : GnssDecoder(state),
      board_(board),
      framer_(board.framing, [this](const NovatelFrame& f) { HandleFrame(f); }) {}

std::int32_t NovatelBoardDecoder::Input(const std::uint8_t* bytes, std::uint32_t count) {
    if (bytes == nullptr || count == 0) {
        SEXTARA_DEBUG("Decoder -- Decoder Input InValid Para \n");
        return 0;
    }
    framer_.Feed(bytes, count);
    const NovatelFramerCounters& c = framer_.Counters();
    counters_.frames = c.frames;
    counters_.checksumErrors = c.crcErrors;
    counters_.oversize = c.oversize;
    counters_.droppedBytes = c.droppedBytes;
    return 0;
}

void NovatelBoardDecoder::HandleFrame(const NovatelFrame& frame) {
    // Short-header logs are not asked for: the framer has stepped over them
    // whole so that nothing inside their bodies is taken for a frame.
    if (state_ == nullptr || frame.headerBytes != kHeaderSize) return;
    const WireReader header(frame.bytes.data(), kHeaderSize);
    const Log log{header, frame.bytes.subspan(kHeaderSize, frame.bytes.size() - kFrameOverhead),
                  header.U16le(4)};
    for (const LogRow& row : board_.logs) {
        if (row.id == log.id) {
            row.apply(*state_, log);
            return;
        }
    }
    if (board_.otherLog != nullptr) board_.otherLog(*state_, log);
}

NovatelDecoder::NovatelDecoder(GnssState* state) : NovatelBoardDecoder(state, kNovatelBoard) {}

NovatelDecoderCompass::NovatelDecoderCompass(GnssState* state) : NovatelBoardDecoder(state, kCompassBoard) {}

}  // namespace sextara
