// Decoder throughput on real captures, fed as the decoding thread feeds them:
// Input in chunks of 2048 bytes. One decoder per run sees the capture over and
// over, like a receiver that keeps talking; bytes_per_second is the figure.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../tests/support/GsofPackets.h"
#include "decode/GnssDecoder.h"

namespace {

using namespace sextara;

constexpr std::size_t kChunk = 2048;  // the most the decoding thread hands over at once

const std::vector<std::uint8_t>& Capture(const std::string& relative) {
    static std::map<std::string, std::vector<std::uint8_t>> cache;
    auto it = cache.find(relative);
    if (it == cache.end()) {
        std::ifstream in(std::string(SEXTARA_TEST_DATA) + "/" + relative, std::ios::binary);
        it = cache.emplace(relative, std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {})).first;
    }
    return it->second;
}

void Run(benchmark::State& state, std::int32_t make, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) {
        state.SkipWithError("no input bytes");
        return;
    }
    GnssState record{};
    auto decoder = MakeDecoder(make, &record);
    for (auto _ : state) {
        for (std::size_t pos = 0; pos < bytes.size(); pos += kChunk) {
            const std::size_t n = std::min(kChunk, bytes.size() - pos);
            decoder->Input(bytes.data() + pos, static_cast<std::uint32_t>(n));
        }
        benchmark::DoNotOptimize(record);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes.size()));
    state.counters["fix"] = record.fixQuality;  // a zero here on a fix capture means the run decoded nothing
}

void DecodeCapture(benchmark::State& state, std::int32_t make, const char* relative) {
    Run(state, make, Capture(relative));
}

// 120 one-second epochs of 24 satellites: position time, position, DOP,
// sigma and the all-satellites record, one or two pages each.
void DecodeGsof(benchmark::State& state) {
    static const std::vector<std::uint8_t> stream = gsof_packets::SampleStream(120, 24);
    Run(state, enTrimble, stream);
}

// NMEA parsers, each on a large capture of its kind.
BENCHMARK_CAPTURE(DecodeCapture, NmeaParserStd_unicore_um621, enOther, "nmea/gpsd/unicore-um621.log");
BENCHMARK_CAPTURE(DecodeCapture, NmeaParserHemis_telit_he910, enHemis, "nmea/gpsd/telit-he910.log");
BENCHMARK_CAPTURE(DecodeCapture, NmeaParserBlox_ublox_8, enBlox8T, "nmea/gpsd/ublox-8.log");
BENCHMARK_CAPTURE(DecodeCapture, NmeaParserBlox9_simplertk2b_base, enBlox9P,
                  "nmea/hazer/simplertk2b_base.dat");
BENCHMARK_CAPTURE(DecodeCapture, NmeaParserTrimble_nmea_rtk, enTrimbleNMEA, "nmea/gpsd/nmea-rtk.log");
// Binary decoders.
BENCHMARK_CAPTURE(DecodeCapture, NovatelDecoder_oemv, enNovtel, "novatel/rtklib/oemv_200911218.gps");
BENCHMARK_CAPTURE(DecodeCapture, NovatelDecoderCompass_oemv, enCompass, "novatel/rtklib/oemv_200911218.gps");
BENCHMARK(DecodeGsof)->Name("DecodeGsof/GsofDecoder_synthetic");

}  // namespace

BENCHMARK_MAIN();
