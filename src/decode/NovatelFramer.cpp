#include "decode/NovatelFramer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "decode/Crc32.h"
#include "decode/WireReader.h"
#include "platform/Debug.h"

namespace sextara {
namespace {

using novatel::kFrameOverhead;
using novatel::kHeaderSize;
using novatel::kMaxInputChunk;
using novatel::kShortFrameOverhead;
using novatel::kShortHeaderSize;

constexpr std::uint8_t kSync0 = 0xAA;
constexpr std::uint8_t kSync1 = 0x44;
constexpr std::uint8_t kSyncLong = 0x12;
constexpr std::uint8_t kSyncShort = 0x13;
constexpr std::size_t kSyncSize = 3;

// Either full rule leaves room for one piece only if the buffer is sized for it.
static_assert(kNovatelFraming.bufferBytes >= kMaxInputChunk);
static_assert(kCompassFraming.heldLimit + kMaxInputChunk <= kCompassFraming.bufferBytes);

bool DropsAll(const NovatelFraming& board) {
    return board.faultRule == NovatelFaultRule::kDropAll;
}

}  // namespace

NovatelFramer::NovatelFramer(const NovatelFraming& board, FrameHandler onFrame)
    : board_(board), onFrame_(std::move(onFrame)), buffer_(board.bufferBytes) {}

void NovatelFramer::Feed(const std::uint8_t* bytes, std::size_t count) {
    if (bytes == nullptr) return;
    counters_.bytes += count;
    while (count > 0) {
        const std::size_t piece = std::min(count, kMaxInputChunk);
        MakeRoom(piece);
        std::memcpy(buffer_.data() + held_, bytes, piece);
        held_ += piece;
        Scan();
        bytes += piece;
        count -= piece;
    }
}

void NovatelFramer::MakeRoom(std::size_t count) {
    if (board_.fullRule == NovatelFullRule::kDropAllPastLimit) {
        if (held_ <= board_.heldLimit) return;
        SEXTARA_DEBUG("data si flow\r\n");
        DropOldest(held_);
        return;
    }
    if (held_ + count <= board_.bufferBytes) return;
    DropOldest(held_ <= kMaxInputChunk ? held_ : kMaxInputChunk);
}

void NovatelFramer::DropOldest(std::size_t count) {
    counters_.droppedBytes += count;
    std::memmove(buffer_.data(), buffer_.data() + count, held_ - count);
    held_ -= count;
    scanFrom_ = scanFrom_ > count ? scanFrom_ - count : 0;
}

void NovatelFramer::Scan() {
    Cursor c{scanFrom_, 0};
    while (Step(c)) {
    }
    scanFrom_ = c.p - c.keep;
    if (c.keep == 0) return;
    std::memmove(buffer_.data(), buffer_.data() + c.keep, held_ - c.keep);
    held_ -= c.keep;
}

// Judges what lies at the cursor; false when the scan waits for more bytes.
bool NovatelFramer::Step(Cursor& c) {
    if (DropsAll(board_)) {
        if (held_ == c.keep) {
            SEXTARA_DEBUG("Len is error \r\n");
            return false;
        }
        if (held_ - c.keep < kHeaderSize) return false;
    } else if (held_ - c.p < kSyncSize) {
        return false;
    }
    const Sync sync = FindSync(c.p);
    if (sync.at == held_) {
        NoSync(c);
        return false;
    }
    return Judge(c, sync);
}

bool NovatelFramer::Judge(Cursor& c, const Sync& sync) {
    const std::size_t at = sync.at;
    const std::uint8_t* const frame = buffer_.data() + at;
    const std::size_t left = held_ - at;
    const std::size_t headerBytes = sync.shortHeader ? kShortHeaderSize : kHeaderSize;
    if (left < headerBytes) {
        Wait(c, at);
        return false;
    }
    const WireReader header(frame, headerBytes);
    if (board_.checksHeaderLength && header.U8(3) != kHeaderSize) {
        SEXTARA_DEBUG("Header Length Error\r\n");
        return BadFrame(c, at + 1, false);
    }
    const std::size_t size =
        sync.shortHeader ? header.U8(3) + kShortFrameOverhead : header.U16le(8) + kFrameOverhead;
    if (size > board_.bufferBytes) {
        // Could never be held whole; waiting for it would only let the full
        // rule throw away the good frames behind it.
        ++counters_.oversize;
        return BadFrame(c, at + 1, false);
    }
    if (left < size) {
        Wait(c, at);
        return false;
    }
    if (Crc32(frame, size) != 0) {
        ++counters_.crcErrors;
        // A long frame goes whole, and with it whatever frame cut it short; a
        // short header, which no board is set up for, counts for no more than
        // a false sync.
        return sync.shortHeader ? BadFrame(c, at + 1, false) : BadFrame(c, at + size, true);
    }
    PassOver(c, at);
    ++counters_.frames;
    counters_.frameBytes += size;
    c.p = c.keep = at + size;
    onFrame_(NovatelFrame{{frame, size}, headerBytes});
    return true;
}

// A bad frame at the cursor: stepped over up to resumeAt (and given up when
// wholeFrame), or, on the drop-all board, the end of everything held.
bool NovatelFramer::BadFrame(Cursor& c, std::size_t resumeAt, bool wholeFrame) {
    if (DropsAll(board_)) {
        DropUpTo(c, held_);
        return false;
    }
    c.p = resumeAt;
    if (wholeFrame) PassOver(c, resumeAt);
    return true;
}

void NovatelFramer::NoSync(Cursor& c) {
    if (!DropsAll(board_)) {
        // The last two bytes may begin a sync: judged once more arrive.
        c.p = held_ - (kSyncSize - 1);
        return;
    }
    // All but a sync begun in the last bytes, which a read boundary may have cut.
    std::size_t keepFrom = held_;
    if (buffer_[held_ - 1] == kSync0) keepFrom = held_ - 1;
    if (buffer_[held_ - 2] == kSync0 && buffer_[held_ - 1] == kSync1) keepFrom = held_ - 2;
    DropUpTo(c, keepFrom);
}

// A frame at `at` is not whole yet; the drop-all board gives up what lies
// before it, the other keeps it until a frame behind it is taken.
void NovatelFramer::Wait(Cursor& c, std::size_t at) {
    c.p = at;
    if (DropsAll(board_)) PassOver(c, at);
}

void NovatelFramer::PassOver(Cursor& c, std::size_t to) {
    counters_.garbageBytes += to - c.keep;
    c.keep = to;
}

void NovatelFramer::DropUpTo(Cursor& c, std::size_t to) {
    counters_.droppedBytes += to - c.keep;
    c.keep = c.p = to;
}

// The first sync at or after `from` of a header this board reads, or none
// (at == held_). Only positions with all three sync bytes held are judged.
NovatelFramer::Sync NovatelFramer::FindSync(std::size_t from) const {
    const std::uint8_t* const buf = buffer_.data();
    std::size_t p = from;
    while (held_ - p >= kSyncSize) {
        const void* hit = std::memchr(buf + p, kSync0, held_ - p - (kSyncSize - 1));
        if (hit == nullptr) break;
        p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - buf);
        if (buf[p + 1] == kSync1) {
            if (buf[p + 2] == kSyncLong) return {p, false};
            if (board_.shortHeaders && buf[p + 2] == kSyncShort) return {p, true};
        }
        ++p;
    }
    return {held_, false};
}

}  // namespace sextara
