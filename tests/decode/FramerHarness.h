#pragma once

// One harness for the framers' fault matrices: a case is fed whole, one byte
// at a time and split in two at every offset, and every way must end in the
// same state record and counters.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "decode/GnssDecoder.h"
#include "decode/StateJson.h"

namespace sextara::test {

struct FramerOutcome {
    GnssState state{};
    std::string json;
    DecoderCounters counters;
};

using DecoderMaker = std::function<std::unique_ptr<GnssDecoder>(GnssState*)>;

inline DecoderMaker MakerOf(std::int32_t make) {
    return [make](GnssState* state) { return MakeDecoder(make, state); };
}

// A fresh decoder fed the bytes in pieces ending at the cuts (ascending,
// inside the bytes), then the rest.
inline FramerOutcome FeedCut(const DecoderMaker& maker, const std::uint8_t* bytes, std::size_t size,
                             const std::vector<std::size_t>& cuts) {
    FramerOutcome out;
    const std::unique_ptr<GnssDecoder> decoder = maker(&out.state);
    std::size_t from = 0;
    auto put = [&](std::size_t to) {
        if (to > from) decoder->Input(bytes + from, static_cast<std::uint32_t>(to - from));
        from = to;
    };
    for (const std::size_t cut : cuts) put(cut);
    put(size);
    out.json = GnssStateToJson(out.state);
    out.counters = decoder->Counters();
    return out;
}

template <typename Bytes>
FramerOutcome FeedCut(const DecoderMaker& maker, const Bytes& bytes, const std::vector<std::size_t>& cuts) {
    return FeedCut(maker, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), cuts);
}

// Every other way of feeding a case of size bytes, as the cuts FeedCut takes:
// one byte at a time, then split in two at each offset.
inline std::vector<std::vector<std::size_t>> OtherWaysOfCutting(std::size_t size) {
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < size; ++i) everyByte.push_back(i);
    std::vector<std::vector<std::size_t>> ways{everyByte};
    for (std::size_t i = 1; i < size; ++i) ways.push_back({i});
    return ways;
}

inline std::string DescribeCuts(const std::vector<std::size_t>& cuts) {
    return cuts.size() > 1 ? std::string("byte by byte") : "split at " + std::to_string(cuts.at(0));
}

inline bool SameOutcome(const FramerOutcome& a, const FramerOutcome& b) {
    return a.json == b.json && a.counters.frames == b.counters.frames &&
           a.counters.checksumErrors == b.counters.checksumErrors && a.counters.oversize == b.counters.oversize &&
           a.counters.droppedBytes == b.counters.droppedBytes;
}

// Fails the test at the first way of feeding that ends differently from the
// whole feed, whose outcome it returns for the case's own expectations.
template <typename Bytes>
FramerOutcome FeedEveryWay(const DecoderMaker& maker, const Bytes& bytes) {
    const FramerOutcome whole = FeedCut(maker, bytes, {});
    for (const auto& cuts : OtherWaysOfCutting(bytes.size())) {
        const FramerOutcome other = FeedCut(maker, bytes, cuts);
        if (!SameOutcome(whole, other)) {
            ADD_FAILURE() << DescribeCuts(cuts) << "\n  got " << other.json << "\n  whole " << whole.json;
            break;
        }
    }
    return whole;
}

}  // namespace sextara::test
