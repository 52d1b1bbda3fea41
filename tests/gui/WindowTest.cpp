// The window's dialogs and flows on the offscreen platform: the start-up
// dialog against a simulated receiver, the port console, the battery
// warning, the message sink, and the main window's bar and exit.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "app/AppContext.h"
#include "app/AppCore.h"
#include "app/BatteryMonitor.h"
#include "app/DialogResults.h"
#include "app/ShellMenu.h"
#include "app/StartupDialogModel.h"
#include "gui/BatteryWarning.h"
#include "gui/GuiSupport.h"
#include "gui/MainWindow.h"
#include "gui/PortConsole.h"
#include "gui/QtMessageSink.h"
#include "gui/StartupDialog.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"
#include "sim/ReceiverSim.h"
#include "support/FastReceiverClock.h"
#include "support/TempFiles.h"
#include "support/WaitUntil.h"

namespace sextara::gui {
namespace {

using namespace std::chrono_literals;

constexpr int kPort = 7;

// Answers for the message boxes, and what they said.
struct ScriptedPrompts {
    bool answer = false;
    std::vector<QString> confirms;
    std::vector<QString> warnings;
    std::vector<NoticeIcon> icons;
    Prompts Get() {
        Prompts prompts;
        prompts.confirm = [this](const QString& text, const QString&) {
            confirms.push_back(text);
            return answer;
        };
        prompts.tell = [this](NoticeIcon icon, const QString& text, const QString&) {
            warnings.push_back(text);
            icons.push_back(icon);
        };
        return prompts;
    }
};

// A data folder, an application context on a scaled clock, its core, and
// optionally a simulated receiver on COM7.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetDataFolder(dir_.Path());
        std::ofstream(dir_.File("config.ini")) << "[PORT]\nGPSPort=7\n[LANG]\nLanguage=1\n";
        app_ = std::make_unique<AppContext>(clock_, 5ms);
        app_->LoadLanguage();
        core_ = std::make_unique<AppCore>(*app_);
    }
    void TearDown() override {
        core_.reset();
        app_.reset();
        if (sim_) sim_->Stop();
        platform::ClearComDevicePaths();
        platform::SetDataFolder("");
    }
    void StartSim(ReceiverType make, int baud, bool stream) {
        sim::ReceiverSimOptions options = test::SimReceiver(
            make, baud, 2min, stream ? std::vector<std::string>{test::SkyTraqCapture()} : std::vector<std::string>{});
        options.bytesPerSecond = 115200 / 10 * test::kTimeScale;
        sim_ = std::make_unique<sim::ReceiverSim>(options);
        ASSERT_TRUE(test::StartOnPort(*sim_, kPort));
        clock_.Watch(&app_->detector, sim_.get());
    }
    std::string Recorded() const {
        const auto bytes = sim_->RecordedBytes();
        return std::string(bytes.begin(), bytes.end());
    }

    test::TempDir dir_;
    test::FastReceiverClock clock_;
    std::unique_ptr<AppContext> app_;
    std::unique_ptr<AppCore> core_;
    std::unique_ptr<sim::ReceiverSim> sim_;
    ScriptedPrompts prompts_;
};

// Runs the start-up dialog non-modally with a selection, presses OK, and
// waits for it to finish; -2 when it stays open.
struct StartupRun {
    int result = -2;
    bool stillOpen = false;
};

class StartupFlows : public WindowFixture {
protected:
    StartupRun Run(StartupDialog& dialog, int makeRow, int portRow, int baudRow, bool detect) {
        StartupRun run;
        const auto connection = QObject::connect(&dialog, &QDialog::finished, [&](int result) { run.result = result; });
        dialog.show();
        Find<QComboBox>(dialog, "1044")->setCurrentIndex(makeRow);
        Find<QComboBox>(dialog, "1045")->setCurrentIndex(portRow);
        Find<QComboBox>(dialog, "1046")->setCurrentIndex(baudRow);
        Find<QCheckBox>(dialog, "1047")->setChecked(detect);
        Find<QPushButton>(dialog, "1048")->click();
        PumpUntil([&] { return run.result != -2 || (!dialog.Model().Busy() && core_->WorkerRunning() == false); });
        PumpUntil([&] { return run.result != -2; }, 200ms);
        run.stillOpen = dialog.isVisible();
        QObject::disconnect(connection);
        return run;
    }
};

TEST_F(StartupFlows, StartsOnTheSettings) {
    app_->config.receiverType = enHemis;
    app_->config.GPSBaud = 4800;
    StartupDialog dialog(*core_, prompts_.Get(), true);
    EXPECT_EQ(2, Find<QComboBox>(dialog, "1044")->currentIndex());
    EXPECT_EQ(kPort - 1, Find<QComboBox>(dialog, "1045")->currentIndex());
    EXPECT_EQ(-1, Find<QComboBox>(dialog, "1046")->currentIndex()) << "4800 is not in the list";
    EXPECT_FALSE(Find<QCheckBox>(dialog, "1047")->isChecked());
    EXPECT_EQ(12, Find<QComboBox>(dialog, "1044")->count());
}

TEST_F(StartupFlows, OkWithoutDetectionAndNmeaWithDetectClose) {
    struct Case {
        const char* name;
        int makeRow;
        bool detect;
    };
    for (const Case& c : {Case{"NoDetect", enBlox6T, false}, Case{"NmeaDetectTicked", enOther, true}}) {
        SCOPED_TRACE(c.name);
        StartupDialog dialog(*core_, prompts_.Get(), true);
        const StartupRun run = Run(dialog, c.makeRow, 4, 4, c.detect);
        EXPECT_EQ(DialogResult::kFinished, run.result);
        EXPECT_EQ(c.makeRow, app_->config.receiverType);
        EXPECT_EQ(5, app_->config.GPSPort);
        EXPECT_EQ(115200, app_->config.GPSBaud);
        EXPECT_EQ(0u, app_->detector.BytesWritten()) << "no detection ran";
    }
}

TEST_F(StartupFlows, DetectionFinds115200AndSelectsIt) {
    StartSim(enNovtel, 115200, false);
    StartupDialog dialog(*core_, prompts_.Get(), false);
    const StartupRun run = Run(dialog, enNovtel, kPort - 1, 3 /* 57600 */, true);
    EXPECT_EQ(DialogResult::kFinished, run.result);
    EXPECT_EQ(4, Find<QComboBox>(dialog, "1046")->currentIndex());
    EXPECT_EQ(115200, app_->config.GPSBaud);
    EXPECT_EQ(FormatStatusLine(&app_->strings, 78, 115200), Find<QLabel>(dialog, "1056")->text().toStdString());
    EXPECT_FALSE(core_->WorkerRunning());
}

TEST_F(StartupFlows, FailedDetectionStaysOpenAndKeepsTheSettings) {
    platform::SetComDevicePath(kPort, dir_.File("no-such-device"));
    StartupDialog dialog(*core_, prompts_.Get(), true);
    const StartupRun run = Run(dialog, enHemis, kPort - 1, 0, true);
    EXPECT_EQ(-2, run.result);
    EXPECT_TRUE(run.stillOpen);
    EXPECT_TRUE(Find<QPushButton>(dialog, "1048")->isEnabled()) << "the user may try again";
    EXPECT_FALSE(Find<QLabel>(dialog, "1056")->text().isEmpty());
    // Leaving now keeps what OK took, for config.ini.
    prompts_.answer = true;
    Find<QPushButton>(dialog, "1050")->click();
    EXPECT_EQ(DialogResult::kLeave, dialog.result());
    EXPECT_EQ(enHemis, app_->config.receiverType);
    EXPECT_EQ(9600, app_->config.GPSBaud);
}

TEST_F(StartupFlows, CancelThenCancelKeepsTheDialog) {
    StartupDialog dialog(*core_, prompts_.Get(), true);
    dialog.show();
    prompts_.answer = false;
    Find<QPushButton>(dialog, "1050")->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(1u, prompts_.confirms.size());
    EXPECT_EQ(Text(app_->strings, 10), prompts_.confirms[0]);
    prompts_.answer = true;
    Find<QPushButton>(dialog, "1050")->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(DialogResult::kLeave, dialog.result());
}

class ConsoleFlows : public WindowFixture {};

TEST_F(ConsoleFlows, SendWithThePathClosedWarnsAndSendsNothing) {
    StartSim(enNovtel, 115200, false);
    PortConsole console(*core_, prompts_.Get(), true);
    EXPECT_EQ(Text(app_->strings, 30), Find<QPushButton>(console, "1002")->text());
    EXPECT_TRUE(Find<QComboBox>(console, "1000")->isEnabled());
    Find<QPlainTextEdit>(console, "1008")->setPlainText(QStringLiteral("saveconfig"));
    Find<QPushButton>(console, "1004")->click();
    ASSERT_EQ(1u, prompts_.warnings.size());
    EXPECT_EQ(Text(app_->strings, 73), prompts_.warnings[0]);
    EXPECT_EQ(0u, sim_->BytesRecorded());
}

TEST_F(ConsoleFlows, OpenReceiveSendClose) {
    StartSim(enNovtel, 115200, true);
    app_->config.receiverType = enNovtel;
    app_->config.GPSBaud = 115200;
    PortConsole console(*core_, prompts_.Get(), true);
    auto* commands = Find<QComboBox>(console, "1007");
    ASSERT_EQ(5, commands->count());

    Find<QPushButton>(console, "1002")->click();
    ASSERT_EQ(1, app_->gpsPath.GpsPortOpen());
    EXPECT_EQ(Text(app_->strings, 31), Find<QPushButton>(console, "1002")->text());
    EXPECT_FALSE(Find<QComboBox>(console, "1000")->isEnabled());
    EXPECT_TRUE(console.TimerActive());

    auto* received = Find<QPlainTextEdit>(console, "1003");
    console.PollReceived();  // the timer's work, without waiting for it
    ASSERT_TRUE(PumpUntil([&] {
        console.PollReceived();
        return received->toPlainText().contains(QStringLiteral("$GPGGA"));
    }));
    // Beyond 4096 characters the next chunk replaces the display.
    received->setPlainText(QString(5000, QLatin1Char('x')));
    ASSERT_TRUE(PumpUntil([&] {
        console.PollReceived();
        return !received->toPlainText().startsWith(QLatin1Char('x'));
    }));
    EXPECT_LE(received->toPlainText().size(), static_cast<int>(PortConsole::kReadChunk));

    // Picking a canned command and sending it.
    commands->setCurrentIndex(4);
    EXPECT_EQ(QStringLiteral("saveconfig"), Find<QPlainTextEdit>(console, "1008")->toPlainText());
    const std::uint64_t before = sim_->BytesRecorded();
    Find<QPushButton>(console, "1004")->click();
    ASSERT_TRUE(sim_->WaitForRecorded(before + 12, 5s));
    EXPECT_EQ("saveconfig\r\n", Recorded().substr(before, 12));

    Find<QPushButton>(console, "1002")->click();
    EXPECT_EQ(0, app_->gpsPath.GpsPortOpen());
    EXPECT_EQ(Text(app_->strings, 30), Find<QPushButton>(console, "1002")->text());
    EXPECT_TRUE(Find<QComboBox>(console, "1000")->isEnabled());
    EXPECT_FALSE(console.TimerActive());
}

TEST(BatteryWarningWidget, DotsThenCloses) {
    BatteryWarning warning(QStringLiteral("low"));
    warning.show();
    auto* label = warning.findChild<QLabel*>(QStringLiteral("1060"));
    ASSERT_NE(nullptr, label);
    const char* expected[] = {"low", "low .", "low ..", "low ..."};
    for (const char* text : expected) {
        EXPECT_EQ(QString::fromLatin1(text), label->text());
        warning.Tick();
    }
    EXPECT_FALSE(warning.isVisible());
}

TEST(BatteryWarningWidget, MonitorWaitsUntilClosedAndShutdownReleasesIt) {
    QWidget owner;
    BatteryWarningPresenter presenter(&owner);
    std::atomic<bool> returned{false};
    std::thread monitor([&] {
        presenter.ShowAndWait("low");
        returned = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return presenter.Current() != nullptr; }));
    for (int i = 0; i < 2; ++i) presenter.Current()->Tick();
    QApplication::processEvents();
    EXPECT_FALSE(returned) << "the monitor waits while the warning is up";
    presenter.Shutdown();
    monitor.join();
    EXPECT_TRUE(returned);
}

TEST(QtMessageSinkTest, SendWaitsForTheWindowThreadAndCarriesTheText) {
    std::vector<WorkerMessage> seen;
    QtMessageSink sink([&](const WorkerMessage& m) { seen.push_back(m); });
    std::atomic<bool> sent{false};
    std::thread worker([&] {
        sink.Send({platform::kMsgWorkerProgress, platform::kWorkerStatusText, 0, "scanning"});
        sent = true;
        sink.Post({platform::kMsgWorkerProgress, platform::kWorkerDetectDone, 1, {}});
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(sent) << "Send returned before the window handled it";
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == 2; }));
    worker.join();
    EXPECT_EQ("scanning", seen[0].text);
    EXPECT_EQ(platform::kWorkerDetectDone, seen[1].wParam);
    EXPECT_EQ(1, seen[1].lParam);

    // After a shutdown a Send returns without the window.
    sink.Shutdown();
    std::thread late([&] { sink.Send({platform::kMsgWorkerProgress, platform::kWorkerBaudFound, 9600, {}}); });
    late.join();
    QApplication::processEvents();
    EXPECT_EQ(2u, seen.size());
}

class MainWindowFlows : public WindowFixture {
protected:
    // The window loads the language itself, after building the first bar.
    std::unique_ptr<MainWindow> Make(BatteryMonitor& battery) {
        core_.reset();
        app_ = std::make_unique<AppContext>(clock_, 5ms);
        return std::make_unique<MainWindow>(*app_, battery, MainWindow::Options{prompts_.Get(), false});
    }
};

TEST_F(MainWindowFlows, EnglishBarFirstThenChineseAfterTheFirstDialog) {
    // Language 1, but this test program has no libLangRes.so beside it.
    BatteryMonitor battery(0, dir_.Path());
    auto window = Make(battery);
    EXPECT_EQ(1, window->MenuLanguage());
    EXPECT_EQ(0, app_->config.effectiveLanguage);
    EXPECT_EQ(QStringLiteral("Exit"), window->ExitButton()->text());
    QMenu* menu = window->SetupMenu();
    ASSERT_NE(nullptr, menu);
    EXPECT_NE(nullptr, menu->findChild<QAction*>(QStringLiteral("32859"))) << "Port Setup, English id";
    QAction* record = menu->findChild<QAction*>(QStringLiteral("32858"));
    ASSERT_NE(nullptr, record);
    EXPECT_TRUE(record->isEnabled());
    EXPECT_EQ(32858, record->data().toInt());
    QMenu* corrections = menu->findChild<QMenu*>(QStringLiteral("correctionMenu"));
    ASSERT_NE(nullptr, corrections);
    EXPECT_EQ(QStringLiteral("Ntrip/TCP/PORT"), corrections->title());
    EXPECT_EQ(3, corrections->actions().size());

    // The start-up dialog, confirmed as it comes up; the port then fails.
    platform::SetComDevicePath(kPort, dir_.File("no-such-device"));
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<StartupDialog*>(QApplication::activeModalWidget())) dialog->PressOk();
    });
    window->RunStartup();
    ASSERT_EQ(1u, prompts_.warnings.size());
    EXPECT_EQ(OwnText(55), prompts_.warnings[0]);
    EXPECT_EQ(NoticeIcon::Warning, prompts_.icons[0]);
    EXPECT_TRUE(window->TickRunning());
    EXPECT_EQ(0, window->MenuLanguage());
    EXPECT_EQ(QStringLiteral("退出"), window->ExitButton()->text());
    EXPECT_NE(nullptr, window->SetupMenu()->findChild<QAction*>(QStringLiteral("32779")));
}

TEST_F(MainWindowFlows, ExitCancelKeepsRunningOkClosesAndSaves) {
    BatteryMonitor battery(0, dir_.Path());
    auto window = Make(battery);
    bool closed = false;
    QObject::connect(window.get(), &MainWindow::closed, [&] { closed = true; });
    window->show();
    app_->config.GPSBaud = 38400;

    prompts_.answer = false;
    window->ExitButton()->click();
    EXPECT_FALSE(closed);
    EXPECT_TRUE(window->isVisible());

    prompts_.answer = true;
    window->RunCommand(kAcceleratorExit);
    EXPECT_TRUE(closed);
    EXPECT_EQ(2u, prompts_.confirms.size());
    std::ifstream in(dir_.File("config.ini"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(std::string::npos, text.str().find("GPSBaud=38400")) << text.str();
}


TEST_F(MainWindowFlows, AboutShowsVersionBoardDateAndFolder) {
    BatteryMonitor battery(0, dir_.Path());
    auto window = Make(battery);
    app_->config.receiverType = enNovtel;
    QString version, board, folder;
    const auto readAndClose = [&](QDialog& dialog) {
        version = dialog.findChild<QLabel*>(QStringLiteral("1139"))->text();
        board = dialog.findChild<QLabel*>(QStringLiteral("202"))->text();
        folder = dialog.findChild<QLabel*>(QStringLiteral("dataFolder"))->text();
        dialog.done(16);
    };
    QMenu* before = window->SetupMenu();
    WhenModal(readAndClose);
    window->RunCommand(kAcceleratorAbout);
    EXPECT_EQ(QStringLiteral("Sextara 4.0.2.0 "), version);
    const QString date = QString::fromStdString(BuildDateText(__DATE__));
    EXPECT_EQ(QString::fromStdString(app_->strings.Format(86, std::string(AboutNameOf(enNovtel)).c_str(),
                                                          date.toStdString().c_str())),
              board);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}/\\d{2}/\\d{2}$")).match(date).hasMatch()) << date.toStdString();
    EXPECT_EQ(QString::fromStdString(dir_.Path()), folder);
    EXPECT_EQ(before, window->SetupMenu()) << "Ctrl+A does not rebuild the bar";

    // From the menu, the bar is rebuilt afterwards.
    WhenModal(readAndClose);
    window->RunCommand(32856);
    QApplication::processEvents();
    EXPECT_NE(before, window->SetupMenu());
}

// Mended: once a dialog or a message box has closed, the window (or the page
// under the box) is the active one again, so Ctrl+Q works without a click.
// The real message boxes carry the icon their flow asks for.
TEST_F(MainWindowFlows, TheKeyboardComesBackAfterEveryDialog) {
    BatteryMonitor battery(0, dir_.Path());
    auto window = Make(battery);
    window->show();
    ASSERT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == window.get(); }));
    for (const int command : {kAcceleratorAbout, 32858, 32857}) {  // About, Data Record, Advanced Setup
        SCOPED_TRACE(command);
        WhenModal([](QDialog& dialog) { dialog.done(16); });
        window->RunCommand(command);
        EXPECT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == window.get(); }, 2s));
    }

    const Prompts boxes = Prompts::MessageBoxes(window.get());
    struct Case {
        NoticeIcon notice;
        QMessageBox::Icon shown;
    };
    const Case cases[] = {{NoticeIcon::Information, QMessageBox::Information},
                          {NoticeIcon::Warning, QMessageBox::Warning},
                          {NoticeIcon::Stop, QMessageBox::Critical}};
    for (const Case& c : cases) {
        QMessageBox::Icon shown = QMessageBox::NoIcon;
        WhenModal([&](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) shown = box->icon();
            dialog.accept();
        });
        boxes.tell(c.notice, QStringLiteral("text"), QStringLiteral("caption"));
        EXPECT_EQ(c.shown, shown);
        EXPECT_TRUE(PumpUntil([&] { return QApplication::activeWindow() == window.get(); }, 2s));
    }
    QMessageBox::Icon asked = QMessageBox::NoIcon;
    WhenModal([&](QDialog& dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) asked = box->icon();
        dialog.reject();
    });
    EXPECT_FALSE(boxes.confirm(QStringLiteral("text"), QStringLiteral("caption")));
    EXPECT_EQ(QMessageBox::Question, asked);
}

TEST_F(MainWindowFlows, LeavingAfterAFailedDetectionClosesAndSavesTheChoice) {
    BatteryMonitor battery(0, dir_.Path());
    auto window = Make(battery);
    platform::SetComDevicePath(kPort, dir_.File("no-such-device"));
    bool closed = false;
    QObject::connect(window.get(), &MainWindow::closed, [&] { closed = true; });
    window->show();
    prompts_.answer = true;
    WhenModal([](QDialog& dialog) {
        dialog.findChild<QComboBox*>(QStringLiteral("1044"))->setCurrentIndex(enHemis);
        dialog.findChild<QComboBox*>(QStringLiteral("1046"))->setCurrentIndex(1);
        dialog.findChild<QCheckBox*>(QStringLiteral("1047"))->setChecked(true);
        auto& startup = static_cast<StartupDialog&>(dialog);
        startup.PressOk();
        ASSERT_TRUE(PumpUntil([&] { return !startup.Model().Busy(); }));
        startup.PressCancel();
    });
    window->RunStartup();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(window->TickRunning());
    std::ifstream in(dir_.File("config.ini"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(std::string::npos, text.str().find("GPSBaud=19200")) << text.str();
    EXPECT_NE(std::string::npos, text.str().find("Type=enHemis")) << text.str();
}


TEST_F(MainWindowFlows, ClosingDuringADetectionStopsTheWorker) {
    BatteryMonitor battery(0, dir_.Path());
    auto window = Make(battery);
    // A Hemisphere probe gets no answer from a NovAtel: the worker keeps
    // probing until it is stopped.
    StartSim(enNovtel, 115200, false);
    bool closed = false;
    QObject::connect(window.get(), &MainWindow::closed, [&] { closed = true; });
    window->show();
    WhenModal([this, &window](QDialog& dialog) {
        dialog.findChild<QComboBox*>(QStringLiteral("1044"))->setCurrentIndex(enHemis);
        dialog.findChild<QCheckBox*>(QStringLiteral("1047"))->setChecked(true);
        static_cast<StartupDialog&>(dialog).PressOk();
        ASSERT_TRUE(window->Core().WorkerRunning());
        window->RequestClose();
    });
    window->RunStartup();
    ASSERT_TRUE(PumpUntil([&] { return closed; }));
    EXPECT_FALSE(window->Core().WorkerRunning());
    EXPECT_FALSE(app_->detector.IsOpen());
    EXPECT_FALSE(window->TickRunning()) << "the GPS path never opened";
    EXPECT_EQ(0, app_->gpsPath.GpsPortOpen());
}

}  // namespace
}  // namespace sextara::gui
