#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Messages.h"
#include "platform/QueueMessageSink.h"
#include "platform/SerialDevice.h"
#include "platform/StringTable.h"
#include "receiver/PortDetector.h"
#include "receiver/ReceiverType.h"
#include "sim/ReceiverSim.h"
#include "support/FastReceiverClock.h"
#include "support/PtyPair.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;

struct StatusLine {
    int id;
    std::string text;
    bool operator==(const StatusLine&) const = default;
};

std::ostream& operator<<(std::ostream& out, const StatusLine& line) {
    return out << line.id << " " << line.text;
}

struct Progress {
    std::vector<StatusLine> statuses;
    std::vector<std::pair<std::intptr_t, std::intptr_t>> others;  // wParam, lParam

    std::intptr_t ValueOf(std::intptr_t code) const {
        for (const auto& [wParam, lParam] : others) {
            if (wParam == code) return lParam;
        }
        return -1;
    }
};

constexpr int kPort = 7;

// One detector with its simulated receiver on COM7 and a window stand-in that
// takes the progress messages on the test thread while a worker thread runs
// the job.
class PortDetectorSim : public ::testing::Test {
protected:
    void TearDown() override {
        if (sim_) sim_->Stop();
        platform::ClearComDevicePaths();
    }

    void StartSim(ReceiverType make, int baud, std::vector<std::uint8_t> stream = {}) {
        // Replies at the line's rate would be 50 times slower in virtual time.
        sim::ReceiverSimOptions options = test::FastReceiver(make, baud, 5min);
        options.captureBytes = std::move(stream);
        sim_ = std::make_unique<sim::ReceiverSim>(options);
        ASSERT_TRUE(test::StartOnPort(*sim_, kPort));
        clock_.Watch(&detector_, sim_.get());
    }

    template <typename Job>
    Progress Run(Job job) {
        Progress progress;
        platform::QueueMessageSink window([&](const platform::Message& m) {
            ASSERT_EQ(platform::kMsgWorkerProgress, m.message);
            if (m.wParam == platform::kWorkerStatusText) {
                progress.statuses.push_back({static_cast<int>(m.lParam), m.text});
            } else {
                progress.others.emplace_back(m.wParam, m.lParam);
            }
        });
        detector_.SetOwner(&window, &strings_);
        std::atomic<bool> done{false};
        std::thread worker([&] {
            job();
            done = true;
        });
        // Bounded: a detector that hangs fails the test instead of the run.
        const auto giveUp = std::chrono::steady_clock::now() + 60s;
        while (!done && std::chrono::steady_clock::now() < giveUp) window.WaitAndDispatch(20ms);
        EXPECT_TRUE(done) << "the job did not end";
        if (!done) window.Shutdown();
        worker.join();
        window.Pump();
        detector_.SetOwner(nullptr, nullptr);
        return progress;
    }

    std::vector<StatusLine> Lines(std::initializer_list<std::array<int, 3>> idsAndValues) const {
        std::vector<StatusLine> lines;
        for (const auto& [id, first, second] : idsAndValues) {
            lines.push_back({id, FormatStatusLine(&strings_, id, first, second)});
        }
        return lines;
    }

    std::string Recorded() const {
        const auto bytes = sim_->RecordedBytes();
        return std::string(bytes.begin(), bytes.end());
    }

    test::FastReceiverClock clock_;
    PortDetector detector_{clock_};
    platform::StringTable strings_;
    std::unique_ptr<sim::ReceiverSim> sim_;
};

// The written commands appear in this order, each somewhere after the last.
::testing::AssertionResult InOrder(const std::string& record, std::initializer_list<const char*> commands) {
    std::size_t at = 0;
    for (const char* command : commands) {
        const auto found = record.find(command, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "no '" << command << "' in order";
        at = found + std::string_view(command).size();
    }
    return ::testing::AssertionSuccess();
}

TEST_F(PortDetectorSim, StatusLinesComeFromTheStringTable) {
    EXPECT_EQ("打开端口3成功,检测波特率57600", FormatStatusLine(&strings_, 75, 3, 57600));
    EXPECT_EQ("扫描波特率9600...", FormatStatusLine(nullptr, 77, 9600));
    EXPECT_EQ("检测波特率失败!", FormatStatusLine(nullptr, 79));
}

TEST_F(PortDetectorSim, FindsAReceiverAt115200WhenConfiguredFor57600) {
    struct Case {
        ReceiverType make;
        std::string probe;
        std::size_t resendLength;
    };
    const Case cases[] = {
        {enNovtel, "log version\r\n", 12},
        {enHemis, "$JSHOW\r\n", 7},
        {enTrimble,
         std::string("\x17\x00\x02\x00\x64\x11\x01\x00\x00\x03\x00\x01\x00\x07\x08\x07\x00\x03\x00\x00\x00"
                     "\x00\x00\x93\x03",
                     25),
         25},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(ConfigNameOf(c.make)));
        StartSim(c.make, 115200);
        int found = -1;
        const auto progress = Run([&] { found = detector_.RunDetection(kPort, 57600, c.make); });

        EXPECT_EQ(1, found);
        EXPECT_EQ(Lines({{75, kPort, 57600},
                         {76, 57600, 0},
                         {77, 9600, 0},
                         {77, 19200, 0},
                         {77, 38400, 0},
                         {77, 115200, 0},
                         {78, 115200, 0}}),
                  progress.statuses);
        EXPECT_EQ(115200, progress.ValueOf(platform::kWorkerBaudFound));
        EXPECT_EQ(1, progress.ValueOf(platform::kWorkerDetectDone));
        EXPECT_TRUE(detector_.Answered());
        EXPECT_FALSE(detector_.IsOpen());
        EXPECT_EQ(c.make, detector_.Make());

        // At the silent rate: the whole probe twice, then five cut repeats.
        const std::string record = Recorded();
        std::string silent = c.probe + c.probe;
        for (int i = 0; i < 5; ++i) silent += c.probe.substr(0, c.resendLength);
        EXPECT_EQ(silent, record.substr(0, silent.size()));
        if (c.make == enTrimble) {
            // The probe's output is switched off again before the port closes.
            sim_->WaitForRecorded(record.size() + 25, 2s);
            const std::string off(
                "\x17\x00\x02\x00\x64\x11\x01\x00\x00\x03\x00\x01\x00\x07\x08\x07\x00\x00\x00\x00\x00\x00\x00"
                "\x90\x03",
                25);
            EXPECT_EQ(off, Recorded().substr(Recorded().size() - 25));
        }
        platform::SerialDevice again;
        EXPECT_TRUE(again.Open(kPort)) << "the detector left the port open";
        sim_->Stop();
    }
}

TEST_F(PortDetectorSim, PortInUseFailsAtOnce) {
    StartSim(enNovtel, 57600);
    platform::SerialDevice holder;
    ASSERT_TRUE(holder.Open(kPort));
    int found = -1;
    const auto progress = Run([&] { found = detector_.RunDetection(kPort, 57600, enNovtel); });
    EXPECT_EQ(0, found);
    EXPECT_EQ(Lines({{73, 0, 0}}), progress.statuses);
    EXPECT_EQ(0, progress.ValueOf(platform::kWorkerDetectDone));
    EXPECT_EQ(-1, progress.ValueOf(platform::kWorkerBaudFound));
    EXPECT_EQ(0ms, clock_.Elapsed());
}

TEST_F(PortDetectorSim, MakeWithoutProbeTakesTheFirstByteAtTheConfiguredRate) {
    const std::string nmea = "$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,M,55.2,M,,*76\r\n";
    StartSim(enOther, 38400, std::vector<std::uint8_t>(nmea.begin(), nmea.end()));
    int found = -1;
    const auto progress = Run([&] { found = detector_.RunDetection(kPort, 38400, enSkyTraq); });
    EXPECT_EQ(1, found);
    EXPECT_EQ(Lines({{75, kPort, 38400}, {78, 38400, 0}}), progress.statuses);
    EXPECT_EQ(38400, progress.ValueOf(platform::kWorkerBaudFound));
    EXPECT_EQ(0u, sim_->BytesRecorded()) << "a make without a probe is sent nothing";
}

TEST_F(PortDetectorSim, NoRateAnswersTheWrongMakesProbe) {
    StartSim(enHemis, 19200);
    int found = -1;
    const auto progress = Run([&] { found = detector_.RunDetection(kPort, 19200, enNovtel); });
    EXPECT_EQ(0, found);
    EXPECT_EQ(Lines({{75, kPort, 19200},
                     {76, 19200, 0},
                     {77, 9600, 0},
                     {77, 38400, 0},
                     {77, 57600, 0},
                     {77, 115200, 0},
                     {79, 0, 0}}),
              progress.statuses);
    EXPECT_EQ(0, progress.ValueOf(platform::kWorkerDetectDone));
    EXPECT_FALSE(detector_.Answered());
    EXPECT_FALSE(detector_.IsOpen());
}

struct Reopened {
    int port = 0;
    int baud = 0;
    bool portWasFree = false;
};

TEST_F(PortDetectorSim, NovatelRestoreResetsTo9600AndSetsBothPortsTo57600) {
    // No detection ran: the detector takes the receiver for a NovAtel.
    StartSim(enNovtel, 38400);
    Reopened reopened;
    PortDetector::RestoreOutcome outcome;
    const auto progress = Run([&] {
        outcome = detector_.RunRestore(kPort, 38400, [&](int port, int baud) {
            platform::SerialDevice probe;
            reopened = {port, baud, probe.Open(port)};
            return 1;
        });
    });

    EXPECT_EQ(1, outcome.restored);
    EXPECT_EQ(57600, outcome.gpsBaud);
    EXPECT_EQ(1, outcome.gpsReopened);
    EXPECT_EQ(kPort, reopened.port);
    EXPECT_EQ(57600, reopened.baud);
    EXPECT_TRUE(reopened.portWasFree) << "the GPS path was reopened while the detector held the port";
    EXPECT_EQ(Lines({{80, 0, 0}, {83, 0, 0}, {84, 0, 0}, {85, 0, 0}}), progress.statuses);
    const std::vector<std::pair<std::intptr_t, std::intptr_t>> posted = {{platform::kWorkerRestoreDone, 1},
                                                                         {platform::kWorkerGpsReopened, 1}};
    EXPECT_EQ(posted, progress.others);
    EXPECT_TRUE(InOrder(Recorded(), {"FRESET\r\n", "log version\r\n", "unlogall\r\n", "nmeatalker auto\r\n",
                                     "com com2 57600\r\n", "com com1 57600\r\n", "saveconfig\r\n"}));
    EXPECT_EQ(1u, sim_->Stats().resets);
    EXPECT_EQ(57600, sim_->Baud());
}

TEST_F(PortDetectorSim, HemisphereRestoreResetsTo19200AndSaves) {
    StartSim(enHemis, 57600);
    int found = -1;
    Run([&] { found = detector_.RunDetection(kPort, 57600, enHemis); });
    ASSERT_EQ(1, found);

    int restored = -1;
    const auto progress = Run([&] { restored = detector_.RestoreDefaults(kPort, 57600); });
    EXPECT_EQ(1, restored);
    EXPECT_EQ(Lines({{80, 0, 0}, {83, 0, 0}, {85, 0, 0}}), progress.statuses);
    EXPECT_TRUE(InOrder(Recorded(), {"$JRESET\r\n", "$JSHOW\r\n", "$JOFF\r\n", "$JBAUD,57600,OTHER\r\n",
                                     "$JBAUD,57600\r\n", "$JSHOW\r\n", "$JSAVE\r\n"}));
    EXPECT_EQ(1u, sim_->Stats().resets);
    EXPECT_EQ(57600, sim_->Baud());
    EXPECT_TRUE(detector_.IsOpen()) << "a restore leaves the port to the caller's ClosePort";
    detector_.ClosePort();
    EXPECT_FALSE(detector_.IsOpen());
}

TEST_F(PortDetectorSim, TrimbleRestoreLeavesTheReceiverAlone) {
    StartSim(enTrimble, 38400);
    int found = -1;
    Run([&] { found = detector_.RunDetection(kPort, 38400, enTrimble); });
    ASSERT_EQ(1, found);
    sim_->Stop();

    StartSim(enTrimble, 38400);
    PortDetector::RestoreOutcome outcome;
    const auto progress =
        Run([&] { outcome = detector_.RunRestore(kPort, 38400, [](int, int) { return 0; }); });
    EXPECT_EQ(1, outcome.restored);
    EXPECT_EQ(57600, outcome.gpsBaud);
    EXPECT_TRUE(progress.statuses.empty());
    EXPECT_EQ(0u, sim_->BytesRecorded());
    EXPECT_EQ(0, progress.ValueOf(platform::kWorkerGpsReopened));
}

TEST_F(PortDetectorSim, RestoreOfASilentReceiverFailsAndClosesThePort) {
    StartSim(enOther, 57600);
    PortDetector::RestoreOutcome outcome;
    const auto progress =
        Run([&] { outcome = detector_.RunRestore(kPort, 57600, [](int, int) { return 1; }); });
    EXPECT_EQ(0, outcome.restored);
    EXPECT_EQ(57600, outcome.gpsBaud);
    EXPECT_EQ(Lines({{80, 0, 0}, {81, 0, 0}}), progress.statuses);
    EXPECT_EQ(0, progress.ValueOf(platform::kWorkerRestoreDone));
    EXPECT_FALSE(detector_.IsOpen());
}

// Virtual time that asks the detector to stop once it passes stopAt, from
// inside a pause, as a stop from another thread would land.
class StoppingClock final : public platform::Clock {
public:
    explicit StoppingClock(std::chrono::milliseconds stopAt) : stopAt_(stopAt) {}
    TimePoint Now() const override { return now_; }
    void SleepFor(std::chrono::milliseconds duration) override {
        now_ += duration;
        if (detector_ != nullptr && !stopped_ && now_ - TimePoint{} >= stopAt_) {
            stopped_ = true;
            stoppedAt_ = now_;
            writtenAtStop_ = detector_->BytesWritten();
            detector_->RequestStop();
        }
    }
    void Watch(PortDetector* detector) { detector_ = detector; }
    bool Stopped() const { return stopped_; }
    std::chrono::milliseconds SinceStop() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - stoppedAt_);
    }
    std::uint64_t WrittenAtStop() const { return writtenAtStop_; }

private:
    std::chrono::milliseconds stopAt_;
    TimePoint now_{};
    TimePoint stoppedAt_{};
    PortDetector* detector_ = nullptr;
    bool stopped_ = false;
    std::uint64_t writtenAtStop_ = 0;
};

// Collects what the detector reports, with the stop state at that moment.
class RecordingSink final : public platform::MessageSink {
public:
    explicit RecordingSink(const StoppingClock& clock) : clock_(clock) {}
    void Send(platform::Message m) override { Record(std::move(m)); }
    void Post(platform::Message m) override { Record(std::move(m)); }
    int AfterStop() const { return afterStop_; }

private:
    void Record(platform::Message) {
        if (clock_.Stopped()) ++afterStop_;
    }
    const StoppingClock& clock_;
    int afterStop_ = 0;
};

// A stop request in any wait of a detection or a restore of a silent receiver
// ends the job before its next pause: nothing more is written or reported,
// the port is closed and a restore does not reopen the GPS path.
TEST(PortDetectorStop, EndsEveryJobAtItsNextPause) {
    struct Case {
        const char* name;
        bool restore;
        std::chrono::milliseconds stopAt;
    };
    const Case cases[] = {
        {"detection, first probe", false, 3s},
        {"detection, scanning other rates", false, 25s},
        {"detection, last rate", false, 48s},
        {"restore, looking for the reset receiver", true, 1s},
        {"restore, other rates", true, 33s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::PtyPair pty;
        ASSERT_TRUE(pty.Ok());
        platform::SetComDevicePath(kPort, pty.SlavePath());
        StoppingClock clock(c.stopAt);
        PortDetector detector(clock);
        RecordingSink sink(clock);
        detector.SetOwner(&sink, nullptr);
        clock.Watch(&detector);

        bool reopened = false;
        int result = -1;
        if (c.restore) {
            const auto outcome = detector.RunRestore(kPort, 38400, [&](int, int) {
                reopened = true;
                return 1;
            });
            result = outcome.restored;
            EXPECT_TRUE(outcome.stopped);
            EXPECT_EQ(outcome.gpsBaud, 38400);
        } else {
            result = detector.RunDetection(kPort, 38400, enNovtel);
        }
        ASSERT_TRUE(clock.Stopped());
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(reopened);
        EXPECT_LE(clock.SinceStop(), PortDetector::kPollPause);
        EXPECT_EQ(detector.BytesWritten(), clock.WrittenAtStop());
        EXPECT_EQ(sink.AfterStop(), 0);
        EXPECT_FALSE(detector.IsOpen());
        platform::SerialDevice device;
        EXPECT_TRUE(device.Open(kPort));
        platform::ClearComDevicePaths();
    }
}

// The wake: a real pause ends as soon as the stop is asked for.
TEST(PortDetectorStop, RealPauseEndsWhenWoken) {
    platform::Event wake;
    std::thread waker([&] { wake.Set(); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(platform::SystemClock().SleepUnless(wake, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    waker.join();
    platform::ManualClock manual;
    EXPECT_FALSE(manual.SleepUnless(wake, 50ms));
    EXPECT_EQ(manual.TotalSlept(), 50ms);
}

}  // namespace
}  // namespace sextara
