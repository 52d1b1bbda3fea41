#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "app/AppContext.h"
#include "app/AppCore.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/QueueMessageSink.h"
#include "platform/SerialDevice.h"
#include "sim/ReceiverSim.h"
#include "support/TempFiles.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;

constexpr int kTimeScale = 50;
constexpr int kPort = 6;

// The receiver's pauses (reset delays, 2 s probes) pass fifty times faster.
class FastClock final : public platform::Clock {
public:
    TimePoint Now() const override { return TimePoint{} + std::chrono::nanoseconds(ns_.load()); }
    void SleepFor(std::chrono::milliseconds d) override {
        ns_ += std::chrono::nanoseconds(d).count();
        std::this_thread::sleep_for(std::max<std::chrono::microseconds>(d / kTimeScale, 1ms));
    }

private:
    std::atomic<std::int64_t> ns_{0};
};

// The advanced setup's restore through the core's worker, after the
// start-up detection found the make: 2027 and 2030 reach the front end, the
// GPS path runs again at the stored port and the rate the restore left.
TEST(RestoreFlow, ReportsRestoreAndReopenForNovatelHemisphereAndTrimble) {
    struct Case {
        ReceiverType make;
        int baud;
        const char* reset;  // what the restore must have sent; empty: not checked
    };
    const Case cases[] = {{enNovtel, 38400, "FRESET\r\n"}, {enHemis, 57600, "$JRESET\r\n"}, {enTrimble, 38400, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.make);
        test::TempDir home;
        platform::SetDataFolder(home.Path());
        sim::ReceiverSimOptions options;
        options.make = c.make;
        options.baud = c.baud;
        options.duration = 5min;
        options.bytesPerSecond = 115200 / 10 * kTimeScale;
        options.resetDelay = 2ms;
        sim::ReceiverSim receiver(options);
        const std::string device = receiver.Start();
        ASSERT_FALSE(device.empty()) << receiver.Error();
        platform::SetComDevicePath(kPort, device);

        FastClock clock;
        AppContext app(clock, 5ms);
        app.CreateDecoder(c.make);
        AppCore core(app);
        std::vector<std::pair<std::intptr_t, std::intptr_t>> results;
        platform::QueueMessageSink sink([&](const platform::Message& m) {
            if (m.message == platform::kMsgWorkerProgress && m.wParam != platform::kWorkerStatusText) {
                results.emplace_back(m.wParam, m.lParam);
            }
        });
        auto runUntil = [&](std::intptr_t last) {
            const auto giveUp = std::chrono::steady_clock::now() + 60s;
            while (std::chrono::steady_clock::now() < giveUp &&
                   std::none_of(results.begin(), results.end(), [&](const auto& r) { return r.first == last; })) {
                sink.WaitAndDispatch(20ms);
            }
        };
        ASSERT_TRUE(core.StartDetection(sink, kPort, c.baud, c.make));
        runUntil(platform::kWorkerDetectDone);
        ASSERT_FALSE(results.empty());
        ASSERT_EQ(std::make_pair(platform::kWorkerDetectDone, std::intptr_t{1}), results.back());
        core.StopWorker();
        results.clear();

        const std::uint64_t beforeRestore = receiver.BytesRecorded();
        ASSERT_TRUE(core.StartRestore(sink, kPort, c.baud));
        runUntil(platform::kWorkerGpsReopened);
        const std::vector<std::pair<std::intptr_t, std::intptr_t>> expected = {
            {platform::kWorkerRestoreDone, 1}, {platform::kWorkerGpsReopened, 1}};
        EXPECT_EQ(expected, results);
        const auto sent = receiver.RecordedBytes();
        const std::string restoreBytes(sent.begin() + static_cast<long>(beforeRestore), sent.end());
        if (*c.reset != '\0') {
            EXPECT_NE(std::string::npos, restoreBytes.find(c.reset));
        }
        while (core.WorkerRunning()) sink.WaitAndDispatch(5ms);
        core.Tick();  // collects the worker
        EXPECT_EQ(1, app.gpsPath.GpsPortOpen());
        EXPECT_EQ(kPort, app.config.GPSPort);
        EXPECT_EQ(57600, app.config.GPSBaud);
        EXPECT_EQ(ReceiverLink::Live, core.Link());
        core.Shutdown();
        platform::SetDataFolder("");
        platform::ClearComDevicePaths();
    }
}

}  // namespace
}  // namespace sextara
