// libFuzzer entry point for the RTCM 3 framer, the station decoder behind it
// and the health meter over both. The input is fed in chunks whose sizes come
// from its last two bytes; after every Feed the counters must account for
// every byte, and a second framer fed the same bytes at once must end in the
// same frames and counters. A violation traps so that libFuzzer keeps the input.

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "FuzzPieces.h"
#include "corrections/BaseStation.h"
#include "corrections/HealthMeter.h"
#include "corrections/Rtcm3Framer.h"

namespace {

using namespace sextara::corrections;

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "rtcm3_fuzzer: %s\n", what);
        __builtin_trap();
    }
}

// The smallest frame with a message number: header, 2 payload bytes, CRC.
constexpr std::uint64_t kSmallestFrame = kRtcm3HeaderBytes + 2 + kRtcm3CrcBytes;

struct Seen {
    std::vector<int> numbers;
    std::uint64_t payloadBytes = 0;
};

void CheckFrame(const Rtcm3Frame& frame, Seen& seen) {
    Require(frame.messageNumber >= 0 && frame.messageNumber <= 4095, "message number outside 12 bits");
    Require(frame.payload.size() >= 2 && frame.payload.size() <= kRtcm3MaxPayloadBytes, "payload size");
    Require(((frame.payload[0] << 4) | (frame.payload[1] >> 4)) == frame.messageNumber,
            "message number is not the payload's first 12 bits");
    seen.numbers.push_back(frame.messageNumber);
    seen.payloadBytes += frame.payload.size();
    if (const auto base = DecodeBaseStation(frame)) {
        Require(base->messageNumber == frame.messageNumber, "station from another message");
        Require(base->stationId >= 0 && base->stationId <= 4095, "station id outside 12 bits");
        Require(std::isfinite(base->latDeg) && std::fabs(base->latDeg) <= 90.0, "latitude");
        Require(std::isfinite(base->lonDeg) && std::fabs(base->lonDeg) <= 180.0, "longitude");
        Require(std::isfinite(base->heightM), "height");
        Require(base->antennaHeightM.has_value() == (frame.messageNumber == 1006), "antenna height");
    }
}

void CheckCounters(const Rtcm3Counters& now, const Rtcm3Counters& before, std::size_t pending,
                   std::uint64_t fed, const Seen& seen) {
    Require(now.bytes == fed, "bytes is not what was fed");
    Require(now.frames >= before.frames && now.crcErrors >= before.crcErrors &&
                now.garbageBytes >= before.garbageBytes && now.emptyFrames >= before.emptyFrames,
            "a counter went backwards");
    Require(now.frameBytes + now.emptyFrameBytes + now.garbageBytes + pending == fed,
            "bytes unaccounted for");
    Require(pending <= kRtcm3MaxFrameBytes, "more held than one frame");
    Require(now.frames == seen.numbers.size(), "frames counted but not handed over");
    Require(now.frameBytes == seen.payloadBytes + now.frames * (kRtcm3HeaderBytes + kRtcm3CrcBytes),
            "frame bytes are not the frames handed over");
    Require(now.frames * kSmallestFrame <= now.frameBytes, "frames smaller than the smallest");
    // Each CRC error gives up exactly its false preamble byte.
    Require(now.crcErrors <= now.garbageBytes, "more CRC errors than garbage bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    sextara::fuzz::PieceSizes pieces(data, size);

    Seen seen;
    Rtcm3Framer framer([&](const Rtcm3Frame& frame) { CheckFrame(frame, seen); });
    HealthMeter meter;
    HealthMeter::TimePoint now{};
    Rtcm3Counters before;
    std::uint64_t fed = 0;
    for (std::size_t pos = 0; pos < size;) {
        // Up to two frames at a time, past a receive of 1024 bytes.
        const std::size_t n = pieces.Next(size - pos, 2 * kRtcm3MaxFrameBytes);
        framer.Feed(data + pos, n);
        meter.Feed(data + pos, n, now);
        now += std::chrono::milliseconds(1 + (pieces.Random() >> 40) % 700);
        pos += n;
        fed += n;
        CheckCounters(framer.Counters(), before, framer.Pending(), fed, seen);
        before = framer.Counters();
    }

    Seen whole;
    Rtcm3Framer atOnce([&](const Rtcm3Frame& frame) { CheckFrame(frame, whole); });
    atOnce.Feed(data, size);
    const Rtcm3Counters& a = atOnce.Counters();
    const Rtcm3Counters& b = framer.Counters();
    Require(whole.numbers == seen.numbers, "frames depend on how the stream was cut");
    Require(a.crcErrors == b.crcErrors && a.garbageBytes == b.garbageBytes &&
                a.emptyFrames == b.emptyFrames && atOnce.Pending() == framer.Pending(),
            "counters depend on how the stream was cut");

    const HealthSnapshot snapshot = meter.Snapshot(now);
    std::uint64_t typed = 0;
    for (const auto& [number, count] : snapshot.types) typed += count;
    Require(snapshot.bytes == fed && snapshot.frames == b.frames && typed == b.frames, "meter counts");
    Require(snapshot.bytesPerSecond >= 0 && std::isfinite(snapshot.bytesPerSecond), "meter rate");
    Require(!snapshot.ageSeconds || *snapshot.ageSeconds >= 0, "meter age");
    return 0;
}
