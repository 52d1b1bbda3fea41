#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "decode/ByteSink.h"
#include "decode/GnssState.h"
#include "decode/ReceiverCommand.h"
#include "decode/ReceiverType.h"
#include "platform/Clock.h"

namespace sextara {

// Health of a framer: a receiver at the wrong baud rate shows up here as
// garbage and checksum errors with no frames.
struct DecoderCounters {
    std::uint64_t frames = 0;          // sentences or frames handled
    std::uint64_t checksumErrors = 0;  // skipped for a bad checksum or CRC
    std::uint64_t oversize = 0;        // skipped for being larger than the line or page buffer
    std::uint64_t droppedBytes = 0;    // dropped by a buffer-full or drop-all rule
};

// One decoder per receiver language. Input is fed every byte that arrives, in
// chunks of any size that may split sentences or frames anywhere; the decoder
// keeps its own pending bytes between calls and writes what it understands
// into the GnssState it was given (not owned).
class GnssDecoder {
public:
    explicit GnssDecoder(GnssState* state) : state_(state) {}
    virtual ~GnssDecoder() = default;
    GnssDecoder(const GnssDecoder&) = delete;
    GnssDecoder& operator=(const GnssDecoder&) = delete;

    // NMEA parsers return 1, binary decoders 0; callers ignore it.
    virtual std::int32_t Input(const std::uint8_t* bytes, std::uint32_t count) = 0;
    // 0 none, 1 SBAS, 2 other corrections. Sends the commands its make has
    // for the mode (UseDiffModeCommands); a decoder given none sends nothing.
    virtual void SetDiffMode(ByteSink& port, std::int32_t mode);

    // The make's differential-mode commands and the clock for their pauses,
    // given by MakeDecoder from the make's row. Both must outlive the decoder.
    void UseDiffModeCommands(const DiffModeCommands& commands, platform::Clock& clock);

    const DecoderCounters& Counters() const { return counters_; }

protected:
    GnssState* state_;
    DecoderCounters counters_;

private:
    const DiffModeCommands* diffMode_ = nullptr;
    platform::Clock* diffModeClock_ = nullptr;
};

// A new decoder of the class that the make selects, or null for a code
// outside 0..11. The clock serves the pauses of SetDiffMode.
std::unique_ptr<GnssDecoder> MakeDecoder(std::int32_t make, GnssState* state,
                                         platform::Clock& clock = platform::SystemClock());

// Holds the active decoder and the current make, and feeds it under the state
// lock. A replacement is built outside any lock and swapped in while no Input
// runs; the replaced decoder is destroyed after the swap, once unused.
class DecoderHost {
public:
    explicit DecoderHost(GnssStateStore& store, platform::Clock& clock = platform::SystemClock())
        : store_(store), clock_(clock) {}

    // Stores the make code (also one outside 0..11); for 0..11 installs a new
    // decoder of that make, otherwise keeps the current one.
    void CreateDecoder(std::int32_t make);
    // Feeds a chunk to the active decoder; bytes are dropped while none is installed.
    void Feed(const std::uint8_t* bytes, std::uint32_t count);
    // The installed make's commands go out after the lock is released: a
    // pause between two commands never stalls the decoder thread.
    void SetDiffMode(ByteSink& port, std::int32_t mode);
    void Destroy();

    std::int32_t Make() const;
    bool HasDecoder() const;
    DecoderCounters Counters() const;

private:
    GnssStateStore& store_;
    platform::Clock& clock_;
    mutable std::mutex decoderMutex_;  // held around every use of decoder_
    std::unique_ptr<GnssDecoder> decoder_;
    std::int32_t make_ = kDefaultReceiverType;
    // The make the installed decoder was built for: make_ may name a code
    // outside the table while the previous decoder stays.
    std::int32_t decoderMake_ = kDefaultReceiverType;
};

}  // namespace sextara
