#include "app/AppCore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "corrections/LinkHarness.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/QueueMessageSink.h"
#include "platform/SerialDevice.h"
#include "platform/StringTable.h"
#include "sim/ReceiverSim.h"
#include "support/HomeFolderTest.h"
#include "support/PtyPair.h"
#include "support/SimReceiver.h"
#include "support/TempFiles.h"
#include "support/WaitUntil.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;

// Virtual time shared by the front end's thread and a worker: sleeping
// advances it at once. While held, a sleep on any thread but the one that
// made the clock waits for Release, which parks a worker where it pauses.
class SharedClock final : public platform::Clock {
public:
    TimePoint Now() const override { return TimePoint{} + std::chrono::nanoseconds(ns_.load()); }
    void SleepFor(std::chrono::milliseconds duration) override {
        ns_ += std::chrono::nanoseconds(duration).count();
        if (std::this_thread::get_id() == owner_) return;
        std::unique_lock<std::mutex> lock(mutex_);
        ++parked_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_; });
        --parked_;
    }
    void Advance(std::chrono::milliseconds duration) { ns_ += std::chrono::nanoseconds(duration).count(); }
    void Hold() {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = true;
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = false;
        changed_.notify_all();
    }
    bool WaitParked() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 20s, [&] { return parked_ > 0; });
    }

private:
    std::atomic<std::int64_t> ns_{0};
    const std::thread::id owner_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    int parked_ = 0;
};

using test::CountOf;

class AppCoreTest : public test::HomeFolderTest {
protected:
    SharedClock clock_;
};

constexpr int kPort = 5;
// SkyTraq's start-up set: three binary commands.
constexpr std::size_t kSkyTraqStartup = 9 + 22 + 22;

TEST_F(AppCoreTest, StartRunsItsStepsInOrderAndReportsAPortThatWillNotOpen) {
    struct Case {
        bool deviceThere;
        std::vector<std::string> steps;
    };
    const Case cases[] = {
        {true, {"networking", "caster", "clock", "battery"}},
        // The caster settings are loaded also when the port will not open.
        {false, {"networking", "caster", "failed", "battery"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deviceThere);
        test::PtyPair pty;
        ASSERT_TRUE(pty.Ok());
        platform::SetComDevicePath(kPort, c.deviceThere ? pty.SlavePath() : home_.File("gone"));
        std::vector<std::string> steps;
        std::string message, reason;
        AppHooks hooks;
        hooks.startNetworking = [&] { steps.push_back("networking"); };
        hooks.loadCasterSettings = [&] { steps.push_back("caster"); };
        hooks.armClockSync = [&] { steps.push_back("clock"); };
        hooks.startBatteryMonitor = [&] { steps.push_back("battery"); };
        hooks.portOpenFailed = [&](const std::string& m, const std::string& r) {
            steps.push_back("failed");
            message = m;
            reason = r;
        };
        AppContext app(clock_, 10ms);
        app.config.GPSPort = kPort;
        app.config.receiverType = enSkyTraq;
        app.CreateDecoder(enSkyTraq);
        AppCore core(app, hooks);

        EXPECT_EQ(core.Start(), c.deviceThere ? 1 : 0);
        EXPECT_EQ(steps, c.steps);
        if (c.deviceThere) {
            EXPECT_EQ(core.Link(), ReceiverLink::Live);
            EXPECT_EQ(pty.Receive(kSkyTraqStartup).size(), kSkyTraqStartup);
        } else {
            EXPECT_EQ(core.Link(), ReceiverLink::Closed);
            EXPECT_EQ(message, platform::StringTable::OwnString(55));
            EXPECT_NE(reason.find(home_.File("gone")), std::string::npos) << reason;
            EXPECT_NE(Log().find("Can't Open Port"), std::string::npos);
        }
        core.Shutdown();
        EXPECT_EQ(core.Link(), ReceiverLink::Closed);
    }
}

// The start-up set goes out again on the first tick without a fix, and not on
// the next; the view is refreshed every tick, data forwarded only when on.
TEST_F(AppCoreTest, TickRefreshesResendsAndForwards) {
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    platform::SetComDevicePath(kPort, pty.SlavePath());
    int refreshed = 0, forwarded = 0;
    AppHooks hooks;
    hooks.refreshView = [&] { ++refreshed; };
    hooks.forwardData = [&] { ++forwarded; };
    AppContext app(clock_, 10ms);
    app.config.GPSPort = kPort;
    app.config.receiverType = enSkyTraq;
    AppCore core(app, hooks);
    ASSERT_EQ(core.Start(), 1);
    ASSERT_EQ(pty.Receive(kSkyTraqStartup).size(), kSkyTraqStartup);

    core.Tick();
    EXPECT_EQ(pty.Receive(kSkyTraqStartup).size(), kSkyTraqStartup);
    app.registry.dataTransfer = 1;
    core.Tick();
    EXPECT_EQ(refreshed, 2);
    EXPECT_EQ(forwarded, 1);
    core.Shutdown();
    EXPECT_TRUE(pty.Receive(1, 200ms).empty()) << "the second tick re-sent the start-up set";
}

// Corrections flowing into the receiver are never split by the start-up set:
// the tick that would send it again sends nothing while a link delivers.
TEST_F(AppCoreTest, NoStartupSetBetweenCorrectionBlocks) {
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    platform::SetComDevicePath(kPort, pty.SlavePath());
    const std::string corrections = test::ReadData("rtcm3/rtcm3.2.log").substr(0, 3000);
    test::LoopbackCaster server([&](int fd, test::LoopbackCaster& c) {
        test::LoopbackCaster::SendText(fd, corrections);
        c.HoldOpen(fd);
    });
    AppContext app(clock_, 10ms);
    app.config.GPSPort = kPort;
    app.config.receiverType = enSkyTraq;
    AppCore core(app);
    ASSERT_EQ(core.Start(), 1);
    ASSERT_EQ(pty.Receive(kSkyTraqStartup).size(), kSkyTraqStartup);
    corrections::CasterSettings s;
    s.casterAddress = "127.0.0.1";
    s.port = server.Port();
    app.correctionLink.SetSettings(s);
    ASSERT_TRUE(app.correctionLink.StartTcp(nullptr));
    EXPECT_TRUE(test::ToText(pty.Receive(corrections.size())) == corrections);
    core.Tick();
    EXPECT_TRUE(pty.Receive(1, 200ms).empty()) << "the start-up set went out between correction blocks";
    app.correctionLink.StopLink();
    core.Shutdown();
}

// The simulator stops (a receiver pulled out), then a new one appears behind
// the same device path.
TEST_F(AppCoreTest, LostReceiverIsReportedAndReopenedWhenItsPathReturns) {
    const std::string link = home_.File("gps");
    auto startSim = [&] {
        sim::ReceiverSimOptions options = test::SimReceiver(enSkyTraq, 115200, 2min, {test::SkyTraqCapture()});
        options.linkPath = link;
        auto sim = std::make_unique<sim::ReceiverSim>(options);
        EXPECT_FALSE(sim->Start().empty()) << sim->Error();
        return sim;
    };
    auto sim = startSim();
    platform::SetComDevicePath(kPort, link);
    AppContext app(clock_, 10ms);
    app.config.GPSPort = kPort;
    app.config.GPSBaud = 115200;
    app.config.receiverType = enSkyTraq;
    app.CreateDecoder(enSkyTraq);
    AppCore core(app);
    ASSERT_EQ(core.Start(), 1);
    ASSERT_TRUE(test::WaitUntil([&] { return app.gnss.Snapshot().fixQuality > 0; }));
    core.Tick();
    EXPECT_EQ(core.Link(), ReceiverLink::Live);

    sim->Stop();
    ASSERT_TRUE(test::WaitUntil([&] { return core.Link() == ReceiverLink::Lost; }));
    core.Tick();
    const GnssState lost = app.gnss.Snapshot();
    EXPECT_EQ(lost.fixQuality, kFixNone);
    EXPECT_NE(lost.latitude, 0.0) << "the last position stays";
    EXPECT_EQ(app.gpsPath.GpsPortOpen(), 0);
    EXPECT_EQ(CountOf(Log(), "COM5 device lost, reader stopped (" + link + ")"), 1) << Log();

    // Looked at again only every 2 s, and quietly while the path is missing.
    for (int i = 0; i < 5; ++i) {
        clock_.Advance(1s);
        core.Tick();
        EXPECT_EQ(core.Link(), ReceiverLink::Lost);
    }
    sim = startSim();
    core.Tick();
    EXPECT_EQ(core.Link(), ReceiverLink::Lost) << "looked again before 2 s had passed";
    clock_.Advance(1s);
    core.Tick();
    EXPECT_EQ(core.Link(), ReceiverLink::Live);
    EXPECT_TRUE(sim->WaitForRecorded(kSkyTraqStartup, 10s)) << "start-up set not sent again";
    EXPECT_TRUE(test::WaitUntil([&] { return app.gnss.Snapshot().fixQuality > 0; }));

    const std::string log = Log();
    EXPECT_EQ(CountOf(log, "device lost"), 1) << log;
    EXPECT_EQ(CountOf(log, "GPS receiver back: COM5 (" + link + ")"), 1) << log;
    EXPECT_EQ(CountOf(log, "Can't Open GPS Port"), 0) << log;
    core.Shutdown();
    EXPECT_EQ(sim->BytesRecorded(), kSkyTraqStartup);
}

// A lost receiver whose port the user then closes, or hands to a worker,
// stays closed when its device comes back, tick after tick.
TEST_F(AppCoreTest, LostPortClosedByTheUserOrHeldByAWorkerIsNotReopened) {
    const std::string link = home_.File("gps");
    for (const bool byWorker : {false, true}) {
        SCOPED_TRACE(byWorker);
        test::PtyPair first, second;
        ASSERT_TRUE(first.Ok() && second.Ok());
        std::filesystem::remove(link);
        std::filesystem::create_symlink(first.SlavePath(), link);
        platform::SetComDevicePath(kPort, link);
        AppContext app(clock_, 10ms);
        app.config.GPSPort = kPort;
        AppCore core(app);
        ASSERT_EQ(core.Start(), 1);
        first.CloseMaster();
        ASSERT_TRUE(test::WaitUntil([&] { return core.Link() == ReceiverLink::Lost; }));
        core.Tick();
        std::filesystem::remove(link);
        std::filesystem::create_symlink(second.SlavePath(), link);

        platform::QueueMessageSink sink([](const platform::Message&) {});
        if (byWorker) {
            clock_.Hold();
            ASSERT_TRUE(core.StartDetection(sink, kPort, 57600, enNovtel));
            ASSERT_TRUE(clock_.WaitParked());
        } else {
            core.CloseGpsPortByUser();
        }
        for (int i = 0; i < 4; ++i) {
            clock_.Advance(2s);
            core.Tick();
            EXPECT_EQ(core.Link(), ReceiverLink::Closed);
            EXPECT_EQ(app.gpsPath.GpsPortOpen(), 0);
        }
        if (byWorker) {
            EXPECT_TRUE(core.WorkerRunning());
            clock_.Release();
            core.StopWorker();
            clock_.Advance(2s);
            core.Tick();
            EXPECT_EQ(core.Link(), ReceiverLink::Closed);
        }
        platform::SerialDevice device;
        EXPECT_TRUE(device.Open(kPort)) << "the port was opened behind the user's back";
        EXPECT_EQ(CountOf(Log(), "GPS receiver back"), 0);
    }
}

// On the real clock: a stop request ends a detection or a restore of a silent
// receiver within 0.5 s, with the port closed and the settings untouched.
TEST_F(AppCoreTest, StopWorkerEndsDetectionAndRestoreAtOnce) {
    struct Case {
        bool restore;
        int firstStatus;
    };
    for (const Case c : {Case{false, 75}, Case{true, 80}}) {
        SCOPED_TRACE(c.restore);
        test::PtyPair pty;
        ASSERT_TRUE(pty.Ok());
        platform::SetComDevicePath(kPort, pty.SlavePath());
        AppContext app(platform::SystemClock(), 10ms);
        app.config.GPSPort = kPort;
        app.config.GPSBaud = 38400;
        AppCore core(app);
        int status = 0;
        platform::QueueMessageSink sink([&](const platform::Message& m) {
            if (m.wParam == platform::kWorkerStatusText) status = static_cast<int>(m.lParam);
        });
        ASSERT_TRUE(c.restore ? core.StartRestore(sink, kPort, 38400)
                              : core.StartDetection(sink, kPort, 38400, enNovtel));
        const auto patience = std::chrono::steady_clock::now() + 20s;
        while (status != c.firstStatus && std::chrono::steady_clock::now() < patience) sink.WaitAndDispatch(20ms);
        ASSERT_EQ(status, c.firstStatus);
        EXPECT_TRUE(core.WorkerRunning());

        const auto asked = std::chrono::steady_clock::now();
        core.StopWorker();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms);
        EXPECT_FALSE(core.WorkerRunning());
        EXPECT_EQ(app.config.GPSPort, kPort);
        EXPECT_EQ(app.config.GPSBaud, 38400);
        EXPECT_EQ(app.gpsPath.GpsPortOpen(), 0);
        EXPECT_EQ(core.Link(), ReceiverLink::Closed);
        platform::SerialDevice device;
        EXPECT_TRUE(device.Open(kPort)) << "the worker left the port open";
    }
}

}  // namespace
}  // namespace sextara
