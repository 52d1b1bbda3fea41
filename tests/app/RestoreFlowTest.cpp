#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "app/AppContext.h"
#include "app/AppCore.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/QueueMessageSink.h"
#include "platform/SerialDevice.h"
#include "receiver/ReceiverCommands.h"
#include "sim/ReceiverSim.h"
#include "support/FastReceiverClock.h"
#include "support/TempFiles.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;

constexpr int kPort = 6;

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
        sim::ReceiverSim receiver(test::FastReceiver(c.make, c.baud, 5min));
        const std::string device = receiver.Start();
        ASSERT_FALSE(device.empty()) << receiver.Error();
        platform::SetComDevicePath(kPort, device);

        test::FastReceiverClock clock;
        clock.Watch(nullptr, &receiver);
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

// The port is the restore's until its worker has reported: a tick that comes
// after the worker reopened the port but before its last report must not
// send the start-up set into it.
TEST(RestoreFlow, TickSendsNothingToTheReceiverWhileTheRestoreHoldsIt) {
    test::TempDir home;
    platform::SetDataFolder(home.Path());
    sim::ReceiverSim receiver(test::FastReceiver(enNovtel, 38400, 5min));
    const std::string device = receiver.Start();
    ASSERT_FALSE(device.empty()) << receiver.Error();
    platform::SetComDevicePath(kPort, device);

    // Holds the worker in its report of the reopened port.
    class HoldingSink final : public platform::MessageSink {
    public:
        void Send(platform::Message) override {}
        void Post(platform::Message m) override {
            if (m.wParam != platform::kWorkerGpsReopened) return;
            std::unique_lock<std::mutex> lock(mutex);
            reopened = true;
            changed.notify_all();
            changed.wait(lock, [this] { return released; });
        }
        std::mutex mutex;
        std::condition_variable changed;
        bool reopened = false;
        bool released = false;
    } sink;

    test::FastReceiverClock clock;
    AppContext app(clock, 5ms);
    app.CreateDecoder(enNovtel);
    AppCore core(app);
    const std::uint64_t before = receiver.BytesRecorded();
    ASSERT_TRUE(core.StartRestore(sink, kPort, 38400));
    {
        std::unique_lock<std::mutex> lock(sink.mutex);
        ASSERT_TRUE(sink.changed.wait_for(lock, 60s, [&] { return sink.reopened; }));
    }
    ASSERT_EQ(1, app.gpsPath.GpsPortOpen());
    core.Tick();  // the first tick would send the start-up set
    {
        std::lock_guard<std::mutex> lock(sink.mutex);
        sink.released = true;
        sink.changed.notify_all();
    }
    while (core.WorkerRunning()) std::this_thread::sleep_for(1ms);
    // A marker behind anything the tick queued: once it is there, so is that.
    const std::string marker = "MARKER\r\n";
    app.gpsPort.Write(reinterpret_cast<const std::uint8_t*>(marker.data()), static_cast<std::uint32_t>(marker.size()));
    auto recorded = [&] {
        const auto bytes = receiver.RecordedBytes();
        return std::string(bytes.begin() + static_cast<long>(before), bytes.end());
    };
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (recorded().find(marker) == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(2ms);
    }
    const std::string restoreBytes = recorded();
    ASSERT_NE(std::string::npos, restoreBytes.find(marker));
    const auto startup = StartupCommandSet(enNovtel);
    ASSERT_GT(startup.size(), 2u);
    // The restore sends "unlogall" itself; the first log request is the set's own.
    const std::string log(startup[2].bytes.begin(), startup[2].bytes.end());
    EXPECT_EQ(std::string::npos, restoreBytes.find(log)) << restoreBytes;
    core.Shutdown();
    platform::SetDataFolder("");
    platform::ClearComDevicePaths();
}

}  // namespace
}  // namespace sextara
