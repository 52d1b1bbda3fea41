// libFuzzer entry point for one decoder class, chosen at compile time by
// SEXTARA_FUZZ_MAKE (a make code name such as enOther; see CMakeLists.txt).
// The input is fed in chunks whose sizes come from its last two bytes, and
// after every Input the record and the decoder's counters must still make
// sense; a violation traps so that libFuzzer keeps the input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "FuzzPieces.h"
#include "decode/GnssDecoder.h"
#include "decode/ReceiverMakes.h"
#include "decode/StateJson.h"

#ifndef SEXTARA_FUZZ_MAKE
#error "define SEXTARA_FUZZ_MAKE to the make whose decoder is fuzzed"
#endif

namespace {

using namespace sextara;

constexpr std::int32_t kMake = SEXTARA_FUZZ_MAKE;
static_assert(IsKnownReceiverType(kMake), "SEXTARA_FUZZ_MAKE must name a make");

// What the make's decoder may do to the record, from its row.
const DecoderProfile& Profile() {
    return ReceiverMakeOf(kMake).decoderProfile;
}

// The NMEA parsers set the total from their (clamped) counts, at most four
// tables of 20; the binary logs carry it in one byte.
std::int32_t MaxTotal() {
    return Profile().inputResult == 0 ? 255 : 4 * kSatTableSize;
}

// Past the decoding thread's 2048 on purpose: Input must not rely on the
// caller keeping to it.
constexpr std::uint32_t kMaxFuzzChunk = 4096;

// ASan sees nothing of a write that stays inside GnssState, and the decoders
// index the tables through pointers, where -fsanitize=bounds cannot follow.
// So a table that a make never fills serves as a canary for an overrun of the
// table before it (BeiDou runs into GLONASS, GLONASS into Galileo), and these
// guards catch a write that leaves the record at either end.
constexpr std::size_t kGuardBytes = 64;
constexpr std::uint8_t kGuardFill = 0xA5;
struct GuardedState {
    std::uint8_t before[kGuardBytes];
    GnssState state{};
    std::uint8_t after[kGuardBytes];
};

void Require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "decoder_fuzzer (make %d): %s\n", static_cast<int>(kMake), what);
        __builtin_trap();
    }
}

bool Untouched(const SatelliteEntry (&table)[kSatTableSize]) {
    for (const SatelliteEntry& e : table) {
        if (e.prn || e.elevation || e.azimuth || e.snr1 || e.snr2 || e.used) return false;
    }
    return true;
}

bool Intact(const std::uint8_t* guard) {
    for (std::size_t i = 0; i < kGuardBytes; ++i) {
        if (guard[i] != kGuardFill) return false;
    }
    return true;
}

void CheckInvariants(const GuardedState& g, const DecoderCounters& now, const DecoderCounters& before,
                     std::uint64_t fed) {
    Require(Intact(g.before), "write before the state record");
    Require(Intact(g.after), "write after the state record");
    const GnssState& s = g.state;
    for (std::int32_t count : {s.gpsCount, s.glonassCount, s.beidouCount, s.galileoCount}) {
        Require(count >= 0 && count <= kSatTableSize, "satellite count outside 0..20");
    }
    Require(s.satellitesTotal >= 0 && s.satellitesTotal <= MaxTotal(), "satellitesTotal out of range");
    if (!Profile().fillsGalileo)
        Require(Untouched(s.galileoSats) && s.galileoCount == 0, "write into the Galileo table");
    if (!Profile().fillsGlonass)
        Require(Untouched(s.glonassSats) && s.glonassCount == 0, "write into the GLONASS table");

    // Counters only grow, and none can pass the bytes that were fed: every
    // frame, rejected frame or dropped byte took at least one of them.
    Require(now.frames >= before.frames && now.checksumErrors >= before.checksumErrors &&
                now.oversize >= before.oversize && now.droppedBytes >= before.droppedBytes,
            "a counter went backwards");
    Require(now.frames + now.checksumErrors + now.oversize <= fed, "more frames than bytes fed");
    Require(now.droppedBytes <= fed, "more bytes dropped than fed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    fuzz::PieceSizes pieces(data, size);

    GuardedState g;
    std::memset(g.before, kGuardFill, kGuardBytes);
    std::memset(g.after, kGuardFill, kGuardBytes);
    auto decoder = MakeDecoder(kMake, &g.state);
    Require(decoder != nullptr, "no decoder for this make");

    DecoderCounters before = decoder->Counters();
    std::uint64_t fed = 0;
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t n = pieces.Next(size - pos, kMaxFuzzChunk);
        const std::int32_t result = decoder->Input(data + pos, static_cast<std::uint32_t>(n));
        Require(result == Profile().inputResult, "unexpected Input result");
        pos += n;
        fed += n;
        const DecoderCounters now = decoder->Counters();
        CheckInvariants(g, now, before, fed);
        before = now;
    }
    // The record as any reader would print it, NaNs and all.
    const std::string json = GnssStateToJson(g.state);
    Require(!json.empty() && json.front() == '{' && json.back() == '}', "state does not print");
    return 0;
}
