#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "decode/GnssDecoder.h"

namespace sextara {
namespace {

struct Event {
    std::string write;                   // bytes written, or empty for a pause
    std::chrono::milliseconds pause{0};  // a pause
    bool decoderFree = false;            // for a pause: could the decoder thread feed meanwhile?
};

// Records the host's writes and pauses in order; during each pause it checks
// from another thread whether Feed can get the decoder lock.
class Recorder final : public ByteSink, public platform::Clock {
public:
    DecoderHost* host = nullptr;
    std::vector<Event> events;
    // Kept beyond the pause: a feed still waiting for a held lock must not be
    // waited for while the host holds it.
    std::vector<std::future<void>> feeds;

    std::uint32_t Write(const std::uint8_t* bytes, std::uint32_t length) override {
        events.push_back({std::string(bytes, bytes + length), {}, false});
        return length;
    }
    TimePoint Now() const override { return {}; }
    void SleepFor(std::chrono::milliseconds duration) override {
        static const std::uint8_t kSentence[] = "$GPGGA,,,,,,0,,,,,,,,*66\r\n";
        feeds.push_back(std::async(std::launch::async, [this] { host->Feed(kSentence, sizeof kSentence - 1); }));
        const bool free = feeds.back().wait_for(std::chrono::seconds(2)) == std::future_status::ready;
        events.push_back({{}, duration, free});
    }
};

// The Hemisphere command pair keeps its order and its 50 ms gap, but the gap
// is taken with the decoder lock released: the decoder thread is not held up.
TEST(DecoderHost, DiffModePausesWithoutHoldingTheDecoder) {
    GnssStateStore store;
    Recorder recorder;
    DecoderHost host(store, recorder);
    recorder.host = &host;
    host.CreateDecoder(enHemis);
    host.SetDiffMode(recorder, 1);
    ASSERT_EQ(recorder.events.size(), 3u);
    EXPECT_EQ(recorder.events[0].write, "$JDIFF,WAAS\r\n");
    EXPECT_EQ(recorder.events[1].pause, std::chrono::milliseconds(50));
    EXPECT_TRUE(recorder.events[1].decoderFree);
    EXPECT_EQ(recorder.events[2].write, "$JDIFF,WAAS\r\n");
    for (auto& feed : recorder.feeds) feed.wait();
}

}  // namespace
}  // namespace sextara
