// The link's pauses run on its clock: a stop ends any of them at once, and
// time that passes only on the clock is all the retry schedule needs.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "corrections/CorrectionLink.h"
#include "corrections/LinkHarness.h"
#include "corrections/LinkJobs.h"
#include "platform/Messages.h"
#include "support/WaitUntil.h"

namespace sextara::corrections {
namespace {

using test::LoopbackCaster;
using test::WaitUntil;
using namespace std::chrono_literals;
using std::chrono::milliseconds;

// Time that moves only by the pauses taken. A pause of hangFrom or longer
// never passes by itself: only the stop (or Release, so that a failing test
// still ends) ends it. Every pause taken is noted.
class PauseClock final : public platform::Clock {
public:
    explicit PauseClock(milliseconds hangFrom = milliseconds::max()) : hangFrom_(hangFrom) {}

    TimePoint Now() const override { return TimePoint(milliseconds(nowMs_.load())); }
    void SleepFor(milliseconds duration) override { Pass(duration); }
    bool SleepUnlessStopped(milliseconds duration, const std::stop_token& stop) override {
        if (stop.stop_requested()) return false;
        if (duration < hangFrom_) {
            Pass(duration);
            return !stop.stop_requested();
        }
        std::unique_lock<std::mutex> hold(lock_);
        hanging_ = duration;
        wake_.wait(hold, stop, [this] { return released_; });
        return false;
    }
    // The pause now hanging, or zero.
    milliseconds Hanging() const {
        std::lock_guard<std::mutex> hold(lock_);
        return hanging_;
    }
    std::vector<milliseconds> Pauses() const {
        std::lock_guard<std::mutex> hold(lock_);
        return pauses_;
    }
    void Release() {
        std::lock_guard<std::mutex> hold(lock_);
        released_ = true;
        wake_.notify_all();
    }

private:
    void Pass(milliseconds duration) {
        nowMs_ += duration.count();
        std::lock_guard<std::mutex> hold(lock_);
        pauses_.push_back(duration);
    }

    const milliseconds hangFrom_;
    std::atomic<std::int64_t> nowMs_{0};
    mutable std::mutex lock_;
    std::condition_variable_any wake_;
    milliseconds hanging_{0};
    bool released_ = false;
    std::vector<milliseconds> pauses_;
};

CasterSettings CasterAt(std::uint16_t port) {
    CasterSettings s;
    s.casterAddress = "127.0.0.1";
    s.port = port;
    s.mountPoint = "TEST";
    return s;
}

// Each row makes the job hang in one of its pauses; the stop must end it,
// where a pause polled in steps would merely end late and a pause that
// watches no stop would never end.
TEST(LinkPauses, AStopEndsEveryPauseAtOnce) {
    const auto reply = [](std::string text, bool hold) {
        return [text, hold](int fd, LoopbackCaster& c) {
            if (!text.empty()) c.ReadRequest(fd);
            LoopbackCaster::SendText(fd, text.empty() ? std::string("0123456789") : text);
            if (hold) c.HoldOpen(fd);
        };
    };
    const struct {
        const char* name;
        bool tcp;
        LoopbackCaster::Script script;
        milliseconds hangFrom;
        milliseconds shortest, longest;  // of the pause that hangs
    } cases[] = {
        {"after the first GGA", false, reply("ICY 200 OK\r\n", true), 100ms, 100ms, 100ms},
        {"after a silent wait", false, reply("ICY 200 OK\r\n", true), 200ms, 200ms, 200ms},
        {"NTRIP retry wait", false, reply("ICY 200 OK\r\n0123456789", false), 1s, 8s, 12s},
        {"TCP retry wait", true, reply("", false), 1s, 8s, 12s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PauseClock clock(c.hangFrom);
        test::TempDir dir;
        platform::RegistryStore store(dir.File("registry.ini"), {});
        CorrectionLink link(store, {}, clock);
        link.SetReceiveTimeout(5ms);
        test::RecordingSink receiver;
        link.SetReceiverPort(&receiver);
        LoopbackCaster caster(c.script);
        CasterSettings s = CasterAt(caster.Port());
        s.useTypedPosition = true;
        link.SetSettings(s);
        test::RecordingMessages messages;
        ASSERT_TRUE(c.tcp ? link.StartTcp(&messages) : link.StartNtrip(&messages));
        const bool hung = WaitUntil([&] { return clock.Hanging() != 0ms; });
        std::atomic<bool> stopped{false};
        std::thread stopper([&] {
            link.StopLink();
            stopped = true;
        });
        const bool stopEnded = WaitUntil([&] { return stopped.load(); });
        clock.Release();
        stopper.join();
        ASSERT_TRUE(hung) << link.StatusText();
        EXPECT_TRUE(stopEnded) << "the stop waited for the pause to pass";
        EXPECT_GE(clock.Hanging(), c.shortest);
        EXPECT_LE(clock.Hanging(), c.longest);
        EXPECT_EQ(link.StatusText(), "User Stop");
        EXPECT_FALSE(link.Active());
    }
}

// A caster that is never there: a thousand reconnections on the schedule,
// none within 8 s of the last, then the job gives up, naming the mount point
// and the cause. Days of waiting pass on the clock in no time.
TEST(LinkPauses, NtripGivesUpAfterAThousandAttemptsInARow) {
    const std::uint16_t closedPort = [] {
        LoopbackCaster gone(nullptr);
        return gone.Port();
    }();
    PauseClock clock;
    test::TempDir dir;
    platform::RegistryStore store(dir.File("registry.ini"), {});
    test::RecordingLog log;
    CorrectionLink link(store, log.Function(), clock);
    CasterSettings s = CasterAt(closedPort);
    s.useTypedPosition = true;
    link.SetSettings(s);
    test::RecordingMessages messages;
    ASSERT_TRUE(link.StartNtrip(&messages));
    ASSERT_TRUE(WaitUntil([&] { return messages.Count(platform::MSG_LINK_DOWN) == 1; }, 120s));
    EXPECT_TRUE(WaitUntil([&] { return !link.Active(); }));
    EXPECT_EQ(messages.Count(platform::MSG_LINK_STATUS), 2 * NtripJob::kMaxRetriesInARow + 1);
    const std::vector<milliseconds> waits = clock.Pauses();
    ASSERT_EQ(waits.size(), static_cast<std::size_t>(NtripJob::kMaxRetriesInARow));
    for (const milliseconds wait : waits) {
        EXPECT_GE(wait, 8s);
        EXPECT_LE(wait, 360s);
    }
    EXPECT_EQ(log.Count("Reach the max times, Ntrip Check Thread Stop!"), 1);
    const std::string expected = "Gave up on mount point TEST after 1001 attempts in a row (Can't connect to 127.0.0.1:" +
                                 std::to_string(closedPort) + ")";
    EXPECT_EQ(link.LastError(), expected);
    EXPECT_EQ(link.StatusText(), expected);
}

}  // namespace
}  // namespace sextara::corrections
