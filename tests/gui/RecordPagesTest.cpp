// The recording page, its options page and folder browser, and the advanced
// setup page on the offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "app/AppContext.h"
#include "app/AppCore.h"
#include "app/BatteryMonitor.h"
#include "gui/AdvancedPage.h"
#include "gui/FolderBrowser.h"
#include "gui/MainWindow.h"
#include "gui/RecordOptionsDialog.h"
#include "gui/RecordPage.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"
#include "receiver/ReceiverMakes.h"
#include "record/RecordFormat.h"
#include "sim/ReceiverSim.h"
#include "gui/GuiSupport.h"
#include "support/FastReceiverClock.h"
#include "support/PtyPair.h"
#include "support/TempFiles.h"

namespace sextara::gui {
namespace {

using namespace std::chrono_literals;

constexpr int kPort = 7;

// Chinese ids throughout: this test program has no language library.
class PageFixture : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetDataFolder(dir_.Path());
        std::ofstream(dir_.File("config.ini")) << "[PORT]\nGPSPort=7\n[LANG]\nLanguage=0\n";
        app_ = std::make_unique<AppContext>(clock_, 5ms);
        app_->LoadLanguage();
        core_ = std::make_unique<AppCore>(*app_);
        prompts_.confirm = [this](const QString& text, const QString&) {
            said_.push_back(text);
            return true;
        };
        prompts_.tell = [this](NoticeIcon icon, const QString& text, const QString&) {
            said_.push_back(text);
            icons_.push_back(icon);
        };
    }
    void TearDown() override {
        core_.reset();
        app_.reset();
        platform::ClearComDevicePaths();
        platform::SetDataFolder("");
    }
    // The receiver's port on a pty, the GPS path running.
    void OpenOnPty(int make) {
        ASSERT_TRUE(pty_.Ok());
        platform::SetComDevicePath(kPort, pty_.SlavePath());
        app_->CreateDecoder(make);
        ASSERT_EQ(1, app_->OpenGpsPort(kPort, 57600));
    }
    QString Str(int id) const { return QString::fromStdString(app_->strings.String(id)); }

    test::TempDir dir_;
    test::FastReceiverClock clock_;
    std::unique_ptr<AppContext> app_;
    std::unique_ptr<AppCore> core_;
    Prompts prompts_;
    std::vector<QString> said_;
    std::vector<NoticeIcon> icons_;
    test::PtyPair pty_;
};

using RecordPageFlows = PageFixture;

TEST_F(RecordPageFlows, StartStopStatusAndReentry) {
    app_->registry.recordDataType = kRecordNormal;
    const std::string folder = dir_.Path();
    {
        RecordPage page(*core_, prompts_, true);
        Find<QLineEdit>(page, "1061")->setText(QString::fromStdString(folder));
        // A name that leaves the folder: refused with its reason, in Chinese.
        Find<QLineEdit>(page, "1062")->setText(QStringLiteral("../walk"));
        page.RunCommand(32880);
        EXPECT_EQ(Str(69), Find<QLabel>(page, "1066")->text());
        ASSERT_EQ(1u, said_.size());
        EXPECT_EQ(QStringLiteral("文件名不能包含“/”"), said_[0]);
        EXPECT_EQ(NoticeIcon::Warning, icons_[0]);
        Find<QLineEdit>(page, "1062")->setText(QStringLiteral("walk"));
        // Without a running GPS path a normal recording has nothing to take.
        page.RunCommand(32880);
        EXPECT_EQ(Str(69), Find<QLabel>(page, "1066")->text());
        EXPECT_EQ(1u, said_.size()) << "the name was not at fault";
        EXPECT_FALSE(page.Model().Recording());
        EXPECT_TRUE(Find<QLineEdit>(page, "1061")->isEnabled());

        OpenOnPty(enOther);
        page.RunCommand(32880);
        EXPECT_EQ(Str(70), Find<QLabel>(page, "1066")->text());
        EXPECT_TRUE(app_->recorder.IsRecording());
        EXPECT_TRUE(page.TimerActive());
        EXPECT_FALSE(Find<QLineEdit>(page, "1061")->isEnabled());
        EXPECT_FALSE(Find<QPushButton>(page, "1063")->isEnabled());
        EXPECT_FALSE(Find<QLabel>(page, "1065")->isVisibleTo(&page)) << "no size line for normal data";
        EXPECT_FALSE(Find<QPushButton>(page, "32880")->isVisibleTo(&page));
        EXPECT_TRUE(Find<QPushButton>(page, "32807")->isVisibleTo(&page));
        const std::string file = app_->recorder.FilePath();

        // Start again does nothing, the timer cycles the dots.
        page.RunCommand(32880);
        EXPECT_EQ(Str(70), Find<QLabel>(page, "1066")->text());
        EXPECT_EQ(file, app_->recorder.FilePath());
        page.OnTimer();
        page.OnTimer();
        EXPECT_EQ(Str(72) + ".", Find<QLabel>(page, "1066")->text());
        page.RunCommand(32809);  // Return: the recording goes on
    }
    ASSERT_TRUE(app_->recorder.IsRecording());
    {
        RecordPage page(*core_, prompts_, false);
        EXPECT_TRUE(page.TimerActive());
        EXPECT_EQ(Str(72) + "..", Find<QLabel>(page, "1066")->text()) << "dot phase kept";
        EXPECT_FALSE(Find<QLineEdit>(page, "1062")->isEnabled());
        EXPECT_EQ(QStringLiteral("walk"), Find<QLineEdit>(page, "1062")->text());
        page.RunCommand(32807);
        EXPECT_EQ(Str(71), Find<QLabel>(page, "1066")->text());
        EXPECT_FALSE(app_->recorder.IsRecording());
        EXPECT_FALSE(page.TimerActive());
        EXPECT_TRUE(Find<QLineEdit>(page, "1062")->isEnabled());
        EXPECT_TRUE(Find<QPushButton>(page, "32880")->isVisibleTo(&page));

        // The GPS path closing under a recording shows it stopped, with why.
        // (Another name: the same second would find the first file.)
        Find<QLineEdit>(page, "1062")->setText(QStringLiteral("walk2"));
        page.RunCommand(32880);
        ASSERT_TRUE(app_->recorder.IsRecording());
        core_->CloseGpsPortByUser();
        page.OnTimer();
        EXPECT_FALSE(page.Model().Recording());
        EXPECT_TRUE(Find<QLabel>(page, "1066")->text().startsWith(Str(71) + ": ")) << Find<QLabel>(page, "1066")->text().toStdString();
        EXPECT_TRUE(Find<QLineEdit>(page, "1061")->isEnabled());

        // Setup to raw data: the size line shows once the options page closes.
        WhenModal([](QDialog& dialog) {
            Find<QComboBox>(dialog, "1135")->setCurrentIndex(0);
            Find<QPushButton>(dialog, "32811")->click();
        });
        page.RunCommand(32883);
        EXPECT_EQ(kRecordRaw, app_->registry.recordDataType);
        EXPECT_TRUE(Find<QLabel>(page, "1065")->isVisibleTo(&page));
    }
}

TEST_F(RecordPageFlows, OptionsEnablingByTypeMakeAndRecording) {
    struct Case {
        ReceiverType make;
        int type;         // stored LOGTYPE
        bool intervalOn;  // interval and cut-off
    };
    // NovAtel's raw set is fixed: interval and cut-off would change nothing.
    const Case cases[] = {{enHemis, kRecordRaw, true}, {enHemis, kRecordNormal, false},
                          {enTrimble, kRecordRaw, true}, {enNovtel, kRecordRaw, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.make);
        app_->config.receiverType = c.make;
        app_->registry.recordDataType = c.type;
        RecordOptionsDialog options(*app_);
        EXPECT_TRUE(Find<QComboBox>(options, "1135")->isEnabled());
        EXPECT_EQ(c.intervalOn, Find<QComboBox>(options, "1131")->isEnabled());
        EXPECT_EQ(c.intervalOn, Find<QLineEdit>(options, "1138")->isEnabled());
    }
    // Choosing raw data unlocks them; Return stores the three values.
    app_->config.receiverType = enHemis;
    app_->registry.recordDataType = kRecordNormal;
    RecordOptionsDialog options(*app_);
    Find<QComboBox>(options, "1135")->setCurrentIndex(0);
    EXPECT_TRUE(Find<QComboBox>(options, "1131")->isEnabled());
    Find<QComboBox>(options, "1131")->setCurrentIndex(4);
    Find<QLineEdit>(options, "1138")->setText(QStringLiteral("15.9"));
    Find<QPushButton>(options, "32811")->click();
    EXPECT_EQ(kRecordRaw, app_->registry.recordDataType);
    EXPECT_EQ(12, app_->registry.recordInterval);
    EXPECT_EQ(15, app_->registry.cutoffAngle);

    // Locked while recording; closing without Return keeps what is stored.
    OpenOnPty(enHemis);
    app_->registry.recordDataType = kRecordNormal;
    ASSERT_TRUE(core_->StartRecording(dir_.Path(), "lock"));
    RecordOptionsDialog locked(*app_);
    EXPECT_FALSE(Find<QComboBox>(locked, "1135")->isEnabled());
    EXPECT_FALSE(Find<QComboBox>(locked, "1131")->isEnabled());
    locked.reject();
    EXPECT_EQ(kRecordNormal, app_->registry.recordDataType);
    core_->StopRecording();
}

TEST_F(RecordPageFlows, BrowserOpensLazilyBuildsThePathAndCancelKeepsTheField) {
    const std::string root = dir_.Path();
    for (const char* folder : {"/home", "/home/ann", "/home/ann/maps", "/home/ann/maps/today", "/mnt"}) {
        ASSERT_EQ(0, ::mkdir((root + folder).c_str(), 0755));
    }
    ASSERT_EQ(0, ::symlink((root + "/home").c_str(), (root + "/home/ann/maps/today/loop").c_str()));

    FolderBrowser browser(root + "/home/ann", root, app_->strings, 0);
    QTreeWidget* tree = Find<QTreeWidget>(browser, "1068");
    ASSERT_EQ(3, tree->topLevelItemCount());
    EXPECT_EQ(QString::fromStdString(root + "/home/ann"), tree->topLevelItem(0)->text(0));
    EXPECT_EQ(QString::fromStdString(root), tree->topLevelItem(2)->text(0));
    // Nothing below the first level is read before an item opens.
    EXPECT_EQ(0, tree->topLevelItem(2)->childCount());
    QTreeWidgetItem* item = tree->topLevelItem(2);
    for (const char* name : {"home", "ann", "maps", "today"}) {
        item->setExpanded(true);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount(); ++i) {
            if (item->child(i)->text(0) == QLatin1String(name)) next = item->child(i);
        }
        ASSERT_NE(nullptr, next) << name;
        EXPECT_EQ(0, next->childCount());
        item = next;
    }
    item->setExpanded(true);
    EXPECT_EQ(0, item->childCount()) << "the link back to an ancestor is not listed";
    tree->setCurrentItem(item);
    browser.PressOk();
    EXPECT_EQ(root + "/home/ann/maps/today", browser.Chosen());

    // Through the page: OK fills the field, Cancel leaves it as it was.
    RecordPage page(*core_, prompts_, true);
    page.SetBrowseRoots(root + "/home/ann", root);
    QLineEdit* folder = Find<QLineEdit>(page, "1061");
    folder->setText(QStringLiteral("/kept"));
    WhenModal([](QDialog& dialog) { Find<QPushButton>(dialog, "32785")->click(); });
    page.Browse();
    EXPECT_EQ(QStringLiteral("/kept"), folder->text());
    WhenModal([](QDialog& dialog) {
        auto* tree = Find<QTreeWidget>(dialog, "1068");
        tree->setCurrentItem(tree->topLevelItem(1));
        Find<QPushButton>(dialog, "32784")->click();
    });
    page.Browse();
    EXPECT_EQ(QString::fromStdString(root + "/mnt"), folder->text());
}

using AdvancedPageFlows = PageFixture;

TEST_F(AdvancedPageFlows, DiffModeLanguageForwardingAndClock) {
    // Other makes cannot apply a differential mode.
    {
        app_->config.receiverType = enNovtel;
        AdvancedPage page(*core_, prompts_);
        EXPECT_FALSE(Find<QPushButton>(page, "1053")->isEnabled());
        EXPECT_FALSE(Find<QRadioButton>(page, "1052")->isEnabled());
    }
    OpenOnPty(enHemis);
    AdvancedPage page(*core_, prompts_);
    EXPECT_TRUE(Find<QRadioButton>(page, "1054")->isChecked());
    Find<QRadioButton>(page, "1052")->setChecked(true);
    Find<QPushButton>(page, "1053")->click();
    std::string expected;
    for (const ReceiverCommand& command : kReceiverMakes[enHemis].diffMode.For(1)) {
        expected.append(command.bytes.begin(), command.bytes.end());
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected, test::ToText(pty_.Receive(expected.size(), 5s)));
    EXPECT_EQ(DiffMode::Sbas, app_->diffMode);
    EXPECT_EQ(Str(63), Find<QLabel>(page, "1059")->text());

    // The language in effect says nothing; the other one, from the next start.
    Find<QLabel>(page, "1059")->clear();
    Find<QPushButton>(page, "1056")->click();
    EXPECT_TRUE(Find<QLabel>(page, "1059")->text().isEmpty());
    Find<QRadioButton>(page, "1092")->setChecked(true);
    Find<QPushButton>(page, "1056")->click();
    EXPECT_EQ(1, app_->config.language);
    EXPECT_EQ(0, app_->config.effectiveLanguage);
    EXPECT_EQ(Str(90), Find<QLabel>(page, "1059")->text());

    // Forwarding: refused while recording, a failed open keeps it off.
    app_->registry.recordDataType = kRecordNormal;
    ASSERT_TRUE(core_->StartRecording(dir_.Path(), "fwd"));
    QCheckBox* forward = Find<QCheckBox>(page, "1149");
    forward->click();
    EXPECT_FALSE(forward->isChecked());
    EXPECT_EQ(0, app_->registry.dataTransfer);
    ASSERT_FALSE(said_.empty());
    EXPECT_EQ(QStringLiteral("Please stop data record firstly!"), said_.back());
    EXPECT_EQ(NoticeIcon::Stop, icons_.back());
    core_->StopRecording();
    platform::SetComDevicePath(1, dir_.File("no-such-port"));
    forward->click();
    EXPECT_FALSE(forward->isChecked());
    EXPECT_EQ(0, app_->registry.dataTransfer);
    EXPECT_EQ(QStringLiteral("Open Data Transf Port Failed!"), said_.back());
    EXPECT_EQ(NoticeIcon::Warning, icons_.back());

    // Clock: no fix says so; then three tries in all through the setter.
    int sets = 0;
    // The kernel's state and the build date injected too: the button sets
    // even a synchronised clock, but never to a time before the floor.
    platform::UtcTime floor;
    floor.year = 2020;
    const auto synchronised = [] { return true; };
    app_->clockSync = ClockSync(
        [&sets](const platform::UtcTime&, std::string& reason) {
            ++sets;
            reason = "not permitted";
            return false;
        },
        {}, synchronised, floor);
    Find<QPushButton>(page, "1058")->click();
    EXPECT_EQ(Str(67), said_.back());
    EXPECT_EQ(NoticeIcon::Information, icons_.back());
    {
        std::lock_guard<std::mutex> hold(app_->gnss.Mutex());
        GnssState& state = *app_->gnss.Raw();
        state.fixQuality = 1;
        state.year = 2026;
        state.month = 12;
        state.day = 8;
        state.hour = 11;
    }
    for (int press = 0; press < 4; ++press) {
        Find<QPushButton>(page, "1058")->click();
        EXPECT_EQ(Str(66), said_.back());
    }
    EXPECT_EQ(3, sets);
    app_->clockSync = ClockSync([](const platform::UtcTime&, std::string&) { return true; }, {}, synchronised, floor);
    Find<QPushButton>(page, "1058")->click();
    EXPECT_EQ(Str(65), said_.back());
    EXPECT_EQ(NoticeIcon::Information, icons_.back());
}

TEST_F(AdvancedPageFlows, RestoreHoldsThePageUntilBothReportsArrive) {
    sim::ReceiverSim receiver(test::FastReceiver(enNovtel, 38400, 2min));
    ASSERT_TRUE(test::StartOnPort(receiver, kPort));
    clock_.Watch(&app_->detector, &receiver);
    // Also on an early return: the receiver goes before the clock.
    struct Unwatch {
        test::FastReceiverClock& clock;
        ~Unwatch() { clock.Watch(nullptr, nullptr); }
    } unwatch{clock_};
    app_->CreateDecoder(enNovtel);
    app_->config.GPSBaud = 38400;
    ASSERT_EQ(1, core_->OpenGpsPortByUser(kPort, 38400));

    AdvancedPage page(*core_, prompts_);
    page.show();
    const std::uint64_t before = receiver.BytesRecorded();
    Find<QPushButton>(page, "1055")->click();
    ASSERT_EQ(Str(87), said_.back());
    ASSERT_TRUE(page.Restoring());
    EXPECT_EQ(Str(80), Find<QLabel>(page, "1059")->text());
    for (const char* id : {"1055", "1058", "32811"}) EXPECT_FALSE(Find<QPushButton>(page, id)->isEnabled()) << id;
    // Neither Return, Esc nor the close button leaves the page meanwhile.
    page.PressReturn();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&page, &escape);
    page.close();
    EXPECT_TRUE(page.isVisible());

    std::vector<QString> statuses;
    // The window's tick goes on while the page waits.
    ASSERT_TRUE(PumpUntil([&] {
        if (statuses.empty() || statuses.back() != Find<QLabel>(page, "1059")->text()) {
            statuses.push_back(Find<QLabel>(page, "1059")->text());
        }
        core_->Tick();
        return !page.Restoring();
    }, 60s));
    EXPECT_TRUE(page.isVisible());
    EXPECT_EQ(Str(82), Find<QLabel>(page, "1059")->text());
    EXPECT_GT(statuses.size(), 2u) << "progress texts reached the status line";
    const auto sent = receiver.RecordedBytes();
    const std::string restoreBytes(sent.begin() + static_cast<long>(before), sent.end());
    EXPECT_NE(std::string::npos, restoreBytes.find("FRESET\r\n")) << restoreBytes;
    PumpUntil([&] { return !core_->WorkerRunning(); });
    core_->Tick();
    EXPECT_EQ(1, app_->gpsPath.GpsPortOpen());
    EXPECT_EQ(57600, app_->config.GPSBaud);
    EXPECT_TRUE(Find<QPushButton>(page, "32811")->isEnabled());
    page.PressReturn();
    EXPECT_FALSE(page.isVisible());
    core_->Shutdown();
}

// The bar's two items open the pages, in either language's ids.
TEST_F(AdvancedPageFlows, MenuItemsOpenTheirPages) {
    BatteryMonitor battery(0, dir_.Path());
    core_.reset();
    MainWindow window(*app_, battery, MainWindow::Options{prompts_, false});
    for (const int id : {32817, 32858, 32815, 32857}) {
        QString opened;
        WhenModal([&opened](QDialog& dialog) {
            opened = QString::fromLatin1(dialog.metaObject()->className());
            dialog.done(16);
        });
        window.RunCommand(id);
        const bool record = id == 32817 || id == 32858;
        EXPECT_EQ(record ? QStringLiteral("sextara::gui::RecordPage") : QStringLiteral("sextara::gui::AdvancedPage"),
                  opened)
            << id;
    }
    window.Shutdown();
}

}  // namespace
}  // namespace sextara::gui
