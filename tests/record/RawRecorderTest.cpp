#include "record/RawRecorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/AppContext.h"
#include "app/AppCore.h"
#include "app/EventLog.h"
#include "decode/ReceiverMakes.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"
#include "record/RecordFormat.h"
#include "sim/ReceiverSim.h"
#include "support/PtyPortTest.h"
#include "support/SimReceiver.h"
#include "support/TempFiles.h"
#include "support/WaitUntil.h"

namespace sextara {
namespace {

using namespace std::chrono_literals;

// Virtual time that keeps every pause asked of it, in order.
class PauseLog final : public platform::Clock {
public:
    TimePoint Now() const override {
        std::lock_guard<std::mutex> hold(mutex_);
        return now_;
    }
    void SleepFor(std::chrono::milliseconds d) override {
        std::lock_guard<std::mutex> hold(mutex_);
        now_ += d;
        pauses_.push_back(d);
    }
    std::vector<std::chrono::milliseconds> Take() {
        std::lock_guard<std::mutex> hold(mutex_);
        auto out = std::move(pauses_);
        pauses_.clear();
        return out;
    }
    void Advance(std::chrono::milliseconds d) {
        std::lock_guard<std::mutex> hold(mutex_);
        now_ += d;
    }

private:
    mutable std::mutex mutex_;
    TimePoint now_{};
    std::vector<std::chrono::milliseconds> pauses_;
};

constexpr int kGpsPort = 3;

platform::UtcTime At(int hour, int minute, int second) {
    platform::UtcTime t;
    t.year = 2026;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    return t;
}

// True while this process has a thread of that name asleep (state S in
// /proc): a record thread that has made its first pass and waits out its pause.
bool ThreadSleeps(const std::string& name) {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        if (test::ReadBytes(task.path() / "comm") != name + "\n") continue;
        const std::string stat = test::ReadBytes(task.path() / "stat");
        const std::size_t close = stat.rfind(')');
        if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S') return true;
    }
    return false;
}

RecorderTiming FastTiming() {
    RecorderTiming t;
    t.waitIdle = t.waitBusy = t.waitOther = 2ms;
    return t;
}

class RecorderTest : public test::PtyPortTest<kGpsPort> {
protected:
    void SetUp() override {
        PtyPortTest::SetUp();
        app_ = std::make_unique<AppContext>(clock_, 5ms);
        recorder_ = std::make_unique<RawRecorder>(app_->gpsPort, app_->rawPort, app_->gpsPath, clock_, AppendLog,
                                                  FastTiming());
        recorder_->SetTimeSource([this] { return start_; });
    }
    void TearDown() override {
        recorder_.reset();
        app_.reset();
        PtyPortTest::TearDown();
    }
    std::string Folder() const { return files_.Path(); }
    RecordOptions Normal() const {
        RecordOptions o;
        o.mode = kRecordNormal;
        return o;
    }
    bool FileHas(const std::string& path, std::size_t size) {
        return test::WaitUntil([&] { return test::ReadBytes(path).size() >= size; });
    }

    test::TempDir files_;
    PauseLog clock_;
    platform::UtcTime start_ = At(10, 20, 30);
    std::unique_ptr<AppContext> app_;
    std::unique_ptr<RawRecorder> recorder_;
};

TEST_F(RecorderTest, NormalModeStartStopAndTheSameMinuteCollision) {
    ASSERT_TRUE(app_->OpenGpsPort(kGpsPort, 115200));
    recorder_->Stop();  // idle: nothing happens
    EXPECT_EQ("", Log());

    ASSERT_TRUE(recorder_->Start(Folder(), "Site", Normal())) << recorder_->LastError();
    const std::string path = Folder() + "/Site_102030.dat";
    EXPECT_EQ(path, recorder_->FilePath());
    // A second start while recording is refused; the first goes on.
    EXPECT_FALSE(recorder_->Start(Folder(), "Other", Normal()));
    EXPECT_TRUE(recorder_->IsRecording());
    EXPECT_FALSE(test::Exists(Folder() + "/Other_102030.dat"));

    const test::Bytes sent = test::CountingBytes(5000);
    ASSERT_TRUE(pty_.Send(sent));
    ASSERT_TRUE(FileHas(path, sent.size()));
    clock_.Advance(3725s);
    EXPECT_EQ(3725, recorder_->Seconds());
    recorder_->Stop();
    EXPECT_FALSE(recorder_->IsRecording());
    EXPECT_EQ(5000u, recorder_->ByteCount());
    EXPECT_EQ(test::ToText(sent), test::ReadBytes(path));

    // The same name in the same second (of another day): refused, and the
    // first file is left exactly as it was.
    EXPECT_FALSE(recorder_->Start(Folder(), "Site", Normal()));
    EXPECT_NE(std::string::npos, recorder_->LastError().find("file exists"));
    ASSERT_TRUE(pty_.Send(test::CountingBytes(100, 7)));
    EXPECT_EQ(test::ToText(sent), test::ReadBytes(path));
    EXPECT_NE(std::string::npos, Log().find("Record started: " + path));
}

TEST_F(RecorderTest, NormalModeNeedsARunningGpsPath) {
    EXPECT_FALSE(recorder_->Start(Folder(), "Site", Normal()));
    EXPECT_TRUE(files_.Names().empty());
}

// Mended: a full card ends the recording cleanly, keeping every byte that
// reached it, and the GPS path goes on.
TEST_F(RecorderTest, AWriteErrorEndsTheRecordingAndKeepsWhatWasWritten) {
    ASSERT_TRUE(app_->OpenGpsPort(kGpsPort, 115200));
    ASSERT_TRUE(recorder_->Start(Folder(), "Full", Normal()));
    const std::string path = recorder_->FilePath();
    const test::Bytes sent = test::CountingBytes(12000);
    {
        test::FileSizeLimit limit(8000);
        ASSERT_TRUE(pty_.Send(test::Bytes(sent.begin(), sent.begin() + 6000)));
        ASSERT_TRUE(FileHas(path, 6000));
        ASSERT_TRUE(pty_.Send(test::Bytes(sent.begin() + 6000, sent.end())));
        ASSERT_TRUE(test::WaitUntil([&] { return !recorder_->IsRecording(); }));
    }
    EXPECT_EQ(test::ToText(test::Bytes(sent.begin(), sent.begin() + 8000)), test::ReadBytes(path));
    EXPECT_EQ(8000u, recorder_->ByteCount());
    EXPECT_TRUE(recorder_->EndedByFault());
    EXPECT_NE(std::string::npos, recorder_->LastEnd().find("write failed"));
    EXPECT_NE(std::string::npos, Log().find("Record stopped: write failed"));
    recorder_->Poll();
    EXPECT_TRUE(app_->gpsPath.GpsPortOpen());
    std::uint8_t drain[16384];
    app_->gpsPath.ReadConsoleBytes(drain, sizeof drain);
    ASSERT_TRUE(pty_.Send(test::CountingBytes(300)));
    EXPECT_TRUE(test::WaitUntil([&] { return app_->gpsPath.QueuedConsoleBytes() >= 300; }));
    EXPECT_EQ(8000u, test::ReadBytes(path).size());
    // A new recording can start at once.
    start_ = At(10, 21, 0);
    EXPECT_TRUE(recorder_->Start(Folder(), "Full", Normal()));
}

// Raw mode for every make: the second port's rate command goes to the
// receiver's port, the raw-log set to the second port, with the 1000, 100
// and 500 ms pauses in that order; the second port's bytes reach the file.
TEST_F(RecorderTest, RawModeSendsEachMakesCommandsAndRecordsTheSecondPort) {
    test::PtyPair raw;
    platform::SetComDevicePath(RawRecorder::kRawPort, raw.SlavePath());
    platform::SetComDevicePath(RawRecorder::kRawPortTrimbleBoard, raw.SlavePath());
    ASSERT_TRUE(app_->OpenGpsPort(kGpsPort, 57600));
    for (int make = 0; make < kReceiverTypeCount; ++make) {
        SCOPED_TRACE(make);
        const ReceiverMake& row = kReceiverMakes[make];
        const bool board = make == enDA_Vo || make == enDorir_Iv;
        test::Bytes portBaud;
        std::vector<std::chrono::milliseconds> pauses;
        if (!board) {
            for (const auto& c : row.rawPortBaud) {
                portBaud.insert(portBaud.end(), c.bytes.begin(), c.bytes.end());
                if (c.pauseAfter.count() > 0) pauses.push_back(c.pauseAfter);
            }
            pauses.push_back(1000ms);
        }
        pauses.push_back(100ms);
        test::Bytes rawLog;
        for (const auto& c : row.rawLog) {
            rawLog.insert(rawLog.end(), c.bytes.begin(), c.bytes.end());
            if (c.pauseAfter.count() > 0) pauses.push_back(c.pauseAfter);
        }
        if (row.rawLogBuilt != nullptr) {
            for (const auto& c : row.rawLogBuilt(5, 15)) {
                rawLog.insert(rawLog.end(), c.bytes.begin(), c.bytes.end());
                if (c.pauseAfter.count() > 0) pauses.push_back(c.pauseAfter);
            }
        }
        pauses.push_back(500ms);

        RecordOptions options;
        options.mode = kRecordRaw;
        options.intervalCode = 5;
        options.cutoffAngle = 15;
        options.make = make;
        clock_.Take();
        start_ = At(11, make, 0);
        ASSERT_TRUE(recorder_->Start(Folder(), "Raw", options)) << recorder_->LastError();
        EXPECT_EQ(pauses, clock_.Take());
        char name[32];
        std::snprintf(name, sizeof name, "/Raw11%02d.%s", make,
                      make == enTrimble || make == enTrimbleNMEA || board ? "rt27" : "dat");
        EXPECT_EQ(Folder() + name, recorder_->FilePath());
        int port = 0;
        int baud = 0;
        ASSERT_TRUE(app_->rawPort.GetPortParams(port, baud));
        EXPECT_EQ(board ? 2 : 4, port);
        EXPECT_EQ(board ? 38400 : 57600, baud);
        if (!portBaud.empty()) {
            EXPECT_EQ(portBaud, pty_.Receive(portBaud.size()));
        }
        if (!rawLog.empty()) {
            EXPECT_EQ(rawLog, raw.Receive(rawLog.size()));
        }

        const test::Bytes observations = test::CountingBytes(20000, static_cast<std::size_t>(make));
        // A pty has no line rate: paced as a second port would be, in
        // bursts that the port's queue holds.
        for (std::size_t at = 0; at < observations.size(); at += 2000) {
            ASSERT_TRUE(raw.Send(test::Bytes(observations.begin() + static_cast<long>(at),
                                             observations.begin() + static_cast<long>(at + 2000))));
            ASSERT_TRUE(FileHas(recorder_->FilePath(), at + 2000));
        }
        recorder_->Stop();
        EXPECT_EQ(test::ToText(observations), test::ReadBytes(recorder_->FilePath()));
        EXPECT_EQ(observations.size(), recorder_->ByteCount());
        EXPECT_FALSE(app_->rawPort.IsOpen());
    }
    EXPECT_EQ(std::string::npos, Log().find("Raw data lost"));
}

// Mended: one pass of the record thread takes everything queued (here the
// last pass, at the stop, with the thread's pauses longer than the test), and
// bytes the port's queue had to drop are logged.
TEST_F(RecorderTest, ARawPassDrainsTheWholeQueueAndADropIsLogged) {
    test::PtyPair raw;
    platform::SetComDevicePath(RawRecorder::kRawPortTrimbleBoard, raw.SlavePath());
    RecorderTiming slow;
    slow.waitIdle = slow.waitBusy = slow.waitOther = 1h;
    RawRecorder recorder(app_->gpsPort, app_->rawPort, app_->gpsPath, clock_, AppendLog, slow);
    recorder.SetTimeSource([] { return At(8, 0, 0); });
    RecordOptions options;
    options.make = enDA_Vo;
    struct Case {
        std::size_t sent;
        std::size_t kept;
    };
    // 8000 bytes fit the port's queue; 10000 overflow it.
    const Case cases[] = {{8000, 8000}, {10000, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        ASSERT_TRUE(recorder.Start(Folder() + "/", std::to_string(c.sent), options)) << recorder.LastError();
        const std::uint32_t before = app_->rawPort.GetBytesReceived();
        // Its first pass, on an empty queue, must be over: one that starts
        // late would take the first bytes and leave the rest room in the queue.
        ASSERT_TRUE(test::WaitUntil([] { return ThreadSleeps("raw record"); }));
        const test::Bytes sent = test::CountingBytes(c.sent);
        ASSERT_TRUE(raw.Send(sent));
        ASSERT_TRUE(test::WaitUntil([&] { return app_->rawPort.GetBytesReceived() - before >= c.sent; }));
        recorder.Stop();
        // How much overflows depends on how the reads were cut; what stays
        // is the newest part, and the loss is logged with its size.
        const std::string file = test::ReadBytes(recorder.FilePath());
        EXPECT_EQ(test::ToText(test::Bytes(sent.end() - static_cast<long>(file.size()), sent.end())), file);
        if (c.sent == c.kept) {
            EXPECT_EQ(c.kept, file.size());
            EXPECT_EQ(std::string::npos, Log().find("Raw data lost"));
        } else {
            EXPECT_GT(c.sent, file.size());
            EXPECT_NE(std::string::npos,
                      Log().find("Raw data lost: " + std::to_string(c.sent - file.size()) + " bytes"));
        }
    }
}

// Mended: a raw port that will not open leaves no empty file behind.
TEST_F(RecorderTest, RawPortThatWillNotOpenRemovesTheNewFile) {
    platform::SetComDevicePath(RawRecorder::kRawPort, Folder() + "/no-such-device");
    RecordOptions options;
    options.make = enNovtel;
    EXPECT_FALSE(recorder_->Start(Folder(), "Raw", options));
    EXPECT_FALSE(recorder_->IsRecording());
    EXPECT_TRUE(files_.Names().empty());
    EXPECT_NE(std::string::npos, recorder_->LastError().find("COM4"));
    EXPECT_NE(std::string::npos, Log().find("Record not started: cannot open raw data port COM4"));
}

// What the simulated receiver sent from the start of the recording to its
// end is the file, byte for byte.
TEST_F(RecorderTest, NormalModeFileEqualsWhatTheSimulatorSent) {
    const std::string capture = test::SkyTraqCapture();
    sim::ReceiverSimOptions options = test::SimReceiver(enSkyTraq, 115200, 60s, {capture});
    // Fast enough to pass the end of the capture twice in a few seconds, slow
    // enough that the 8 KiB receive queue outlasts a 100 ms sync of a busy disk.
    options.bytesPerSecond = 30000;
    sim::ReceiverSim receiver(options);
    ASSERT_TRUE(test::StartOnPort(receiver, kGpsPort));
    ASSERT_TRUE(app_->OpenGpsPort(kGpsPort, 115200));
    ASSERT_TRUE(recorder_->Start(Folder(), "Sim", Normal()));
    const std::string path = recorder_->FilePath();
    ASSERT_TRUE(FileHas(path, 150000));
    receiver.Stop();
    const std::uint64_t sent = receiver.Stats().bytesSent;
    const std::string once = test::ReadBytes(capture);
    std::string stream;
    while (stream.size() < sent) stream += once;
    stream.resize(sent);
    // Everything sent has passed the pump once the file ends with the last
    // byte sent; a byte lost or changed keeps it from ever doing so.
    const auto endsWithTheLastByteSent = [&] {
        const std::string now = test::ReadBytes(path);
        return now.size() <= sent && stream.compare(sent - now.size(), now.size(), now) == 0;
    };
    EXPECT_TRUE(test::WaitUntil(endsWithTheLastByteSent));
    recorder_->Stop();
    const std::string file = test::ReadBytes(path);
    EXPECT_EQ(0u, app_->gpsPort.DroppedRxBytes());
    ASSERT_GE(sent, file.size());
    // The file is what was sent from some point on, up to the last byte.
    EXPECT_EQ(stream.substr(sent - file.size()), file);
    EXPECT_EQ(file.size(), recorder_->ByteCount());
}

// Mended: when the GPS path closes under a normal-mode recording, the
// recording ends where the user sees it, saying why.
TEST_F(RecorderTest, ClosingTheGpsPathEndsANormalRecordingVisibly) {
    struct Case {
        const char* why;
        bool lost;
    };
    const Case cases[] = {{"GPS port closed by the user", false}, {"GPS receiver lost", true}};
    recorder_.reset();
    int minute = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        test::PtyPair receiver;
        platform::SetComDevicePath(kGpsPort, receiver.SlavePath());
        app_->config.GPSPort = kGpsPort;
        app_->config.GPSBaud = 115200;
        app_->registry.recordDataType = kRecordNormal;
        app_->recorder.SetTimeSource([&] { return At(9, minute, 0); });
        ++minute;
        AppCore core(*app_);
        ASSERT_TRUE(core.Start());
        ASSERT_TRUE(core.StartRecording(Folder(), "Path"));
        EXPECT_EQ(1, app_->recording);
        if (c.lost) {
            receiver.CloseMaster();
            ASSERT_TRUE(test::WaitUntil([&] { return app_->gpsPath.DeviceLost(); }));
            core.Tick();
        } else {
            core.CloseGpsPortByUser();
        }
        EXPECT_EQ(0, app_->recording);
        EXPECT_FALSE(app_->recorder.IsRecording());
        EXPECT_TRUE(app_->recorder.EndedByFault());
        EXPECT_EQ(c.why, app_->recorder.LastEnd());
        EXPECT_NE(std::string::npos, Log().find(std::string("Record stopped: ") + c.why));
        core.Shutdown();
    }
}

// Mended: a file name with a way out of the chosen folder (or none at all) is
// refused before anything is created or stored; '../../escaped' wrote two
// folders up and was kept for the next run. A stored bad LOGNAME is refused
// the same way and left as it was.
TEST_F(RecorderTest, ARefusedNameWritesAndStoresNothing) {
    ASSERT_TRUE(app_->OpenGpsPort(kGpsPort, 115200));
    const std::string folder = Folder() + "/a/b";
    std::filesystem::create_directories(folder);
    struct Case {
        std::string name;
        const char* reason;
    };
    const Case cases[] = {
        {"../../escaped", "the file name contains \"/\""},
        {"site/day", "the file name contains \"/\""},
        {"site\\day", "the file name contains \"\\\""},
        {"..", "the file name contains \"..\""},
        {"", "the file name is empty"},
        {std::string("bad\x01name"), "the file name contains a control character"},
        {"tab\tname", "the file name contains a control character"},
        {"bell\x7f", "the file name contains a control character"},
    };
    app_->registry.recordDataType = kRecordNormal;
    app_->registry.recordName = "Site";
    AppCore core(*app_);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.reason, RecordNameFaultText(CheckRecordName(c.name), true));
        EXPECT_FALSE(core.StartRecording(folder, c.name));
        EXPECT_EQ(c.reason, app_->recorder.LastError());
        EXPECT_EQ("Site", app_->registry.recordName);
        EXPECT_FALSE(app_->recorder.IsRecording());
    }
    EXPECT_EQ(std::vector<std::string>{"a"}, files_.Names());
    EXPECT_TRUE(std::filesystem::is_empty(folder));

    app_->registry.recordName = "x/y";  // as read from registry.ini
    EXPECT_FALSE(core.StartRecording(folder, app_->registry.recordName));
    EXPECT_EQ("x/y", app_->registry.recordName);
    // Dots inside a name and names in any script are fine.
    EXPECT_EQ(RecordNameFault::None, CheckRecordName("site.1"));
    EXPECT_EQ(RecordNameFault::None, CheckRecordName("测站"));
    core.Shutdown();
}

// Mended: a record file deleted under the recording (here with its folder)
// ends it as gone, at the next write or at the close, never as "closed with
// N bytes".
TEST_F(RecorderTest, AFileDeletedWhileRecordingEndsItAsGone) {
    ASSERT_TRUE(app_->OpenGpsPort(kGpsPort, 115200));
    for (const bool moreData : {true, false}) {
        SCOPED_TRACE(moreData ? "found at the next write" : "found at the close");
        const std::string folder = Folder() + (moreData ? "/card1" : "/card2");
        std::filesystem::create_directory(folder);
        ASSERT_TRUE(recorder_->Start(folder, "Site", Normal())) << recorder_->LastError();
        const std::string path = recorder_->FilePath();
        ASSERT_TRUE(pty_.Send(test::CountingBytes(500)));
        ASSERT_TRUE(FileHas(path, 500));
        std::filesystem::remove_all(folder);
        if (moreData) {
            ASSERT_TRUE(pty_.Send(test::CountingBytes(500)));
            ASSERT_TRUE(test::WaitUntil([&] { return !recorder_->IsRecording(); }));
            recorder_->Poll();
        } else {
            recorder_->Stop();
        }
        EXPECT_FALSE(recorder_->IsRecording());
        EXPECT_TRUE(recorder_->FileGone());
        EXPECT_TRUE(recorder_->EndedByFault());
        const std::string gone = "the file " + path + " is gone (deleted, or its card removed)";
        EXPECT_EQ(gone, recorder_->LastEnd());
        EXPECT_NE(std::string::npos, Log().find("Record stopped: " + gone + "\r\n")) << Log();
        EXPECT_EQ(std::string::npos, Log().find("bytes in " + path)) << Log();
        EXPECT_EQ(std::string::npos, Log().find("bytes kept in " + path)) << Log();
        start_ = At(10, 21, 0);
    }
}

}  // namespace
}  // namespace sextara
