// The correction pages on the offscreen platform against a caster on
// loopback: start refused without a fix, started with the typed position,
// the byte counter, reopening on a running connection, Stop, the source table
// update, and the menu rule.

#include "gui/NtripPage.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <fstream>
#include <memory>
#include <thread>

#include "app/AppContext.h"
#include "app/BatteryMonitor.h"
#include "app/CorrectionHooks.h"
#include "corrections/LinkHarness.h"
#include "gui/GuiSupport.h"
#include "gui/MainWindow.h"
#include "platform/Messages.h"
#include "platform/Paths.h"

namespace sextara::gui {
namespace {

using namespace std::chrono_literals;
using test::LoopbackCaster;

class CorrectionPageFlows : public ::testing::Test {
protected:
    CorrectionPageFlows()
        : caster_([this](int fd, LoopbackCaster& c) {
              // An NTRIP request comes in one write; the TCP client sends nothing.
              const std::string request = c.ReadRaw(fd, 50ms);
              if (request.starts_with("GET / ")) {
                  LoopbackCaster::SendText(fd, test::ReadData("ntrip/rtklib-caster/06-sourcetable-ntrip2.txt"));
                  return;
              }
              if (!request.empty()) LoopbackCaster::SendText(fd, "ICY 200 OK\r\n");
              LoopbackCaster::SendText(fd, corrections_);
              c.HoldOpen(fd);
          }) {
        platform::SetDataFolder(dir_.Path());
        std::ofstream(dir_.File("config.ini")) << "[LANG]\nLanguage=1\n";
        app_ = std::make_unique<AppContext>(clock_, 5ms);
        app_->correctionLink.SetReceiveTimeout(20ms);
        corrections::CasterSettings s;
        s.casterAddress = "127.0.0.1";
        s.port = caster_.Port();
        s.user = "user";
        s.password = "pass";
        app_->correctionLink.SetSettings(s);
        model_ = std::make_unique<NtripPageModel>(NtripPageModel::Deps{
            .link = app_->correctionLink,
            .ensureNetwork = [](std::string_view) { return true; },
            .sendDiffInput = [this] { ++diffInputs_; },
            .state = [this] { return app_->gnss.Snapshot(); },
        });
        prompts_.tell = [this](NoticeIcon icon, const QString& text, const QString&) {
            warnings_.push_back(text);
            icons_.push_back(icon);
        };
        prompts_.confirm = [](const QString&, const QString&) { return true; };
    }
    ~CorrectionPageFlows() override {
        model_.reset();
        app_.reset();
        platform::SetDataFolder("");
    }
    std::unique_ptr<NtripPage> Open(bool tcp = false) {
        return std::make_unique<NtripPage>(*model_, *app_, tcp, prompts_, true);
    }
    static QString Status(NtripPage& page) { return Find<QPlainTextEdit>(page, "1041")->toPlainText(); }
    static bool Running(NtripPage& page) { return !Find<QPushButton>(page, "32845")->isHidden(); }
    QString Said(int id) const { return Text(app_->strings, id); }

    test::TempDir dir_;
    test::ScaledClock clock_{20};
    std::string corrections_ = test::ReadData("rtcm3/testglo.rtcm3").substr(0, 2000);
    LoopbackCaster caster_;
    std::unique_ptr<AppContext> app_;
    std::unique_ptr<NtripPageModel> model_;
    Prompts prompts_;
    std::vector<QString> warnings_;
    std::vector<NoticeIcon> icons_;
    int diffInputs_ = 0;
};

TEST_F(CorrectionPageFlows, FixMissingThenTypedPositionCountReopenStop) {
    auto page = Open();
    EXPECT_EQ(Find<QLabel>(*page, "1011")->text(), QStringLiteral("127.0.0.1:%1").arg(caster_.Port()));
    auto* list = Find<QComboBox>(*page, "1010");
    EXPECT_EQ(list->currentText(), QStringLiteral("Update SourceTable"));  // no table yet
    // A mount point that cannot be requested is refused as it is entered.
    list->setEditText(QStringLiteral("TE ST"));
    page->PressStart();
    ASSERT_EQ(warnings_.size(), 1u);
    EXPECT_EQ(warnings_[0], QStringLiteral("Mount point has blanks or control characters!"));
    EXPECT_EQ(icons_[0], NoticeIcon::Warning);
    EXPECT_TRUE(list->isEnabled());
    warnings_.clear();
    icons_.clear();
    list->setEditText(QStringLiteral("TEST"));

    // No fix, no typed position: message 60, and the page stays as it was.
    page->PressStart();
    ASSERT_EQ(warnings_.size(), 1u);
    EXPECT_EQ(warnings_[0], Said(60));
    EXPECT_EQ(icons_[0], NoticeIcon::Information);
    EXPECT_FALSE(Running(*page));
    EXPECT_TRUE(list->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(*page, "1013")->isEnabled());
    EXPECT_FALSE(app_->correctionLink.Active());
    EXPECT_EQ(diffInputs_, 0);

    // With the typed position it connects without a fix.
    corrections::CasterSettings s = app_->correctionLink.Settings();
    s.useTypedPosition = true;
    s.typed.latitude = 52.5;
    app_->correctionLink.SetSettings(s);
    page->PressStart();
    EXPECT_EQ(warnings_.size(), 1u);
    EXPECT_TRUE(Running(*page));
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(diffInputs_, 1);
    EXPECT_TRUE(page->TimerActive());
    EXPECT_EQ(Find<QLabel>(*page, "1014")->text(), QStringLiteral("0 B"));
    ASSERT_TRUE(PumpUntil([&] { return Status(*page) == QStringLiteral("Connect Server successfully !"); }));
    EXPECT_EQ(app_->correctionLink.Settings().mountPoint, "TEST");  // the typed mount point, saved
    EXPECT_NE(test::ReadBytes(dir_.File("registry.ini")).find("\"Mount\"=\"TEST\""), std::string::npos);

    // The byte counter: this tick's bytes and the total.
    ASSERT_TRUE(PumpUntil([&] { return app_->correctionLink.BytesReceived() == corrections_.size(); }));
    page->OnTimer();
    EXPECT_EQ(Find<QLabel>(*page, "1014")->text(), QStringLiteral(" 2000bytes     1.95 KB"));
    // The health box: the frames of those 2000 bytes as framed apart from the link, and their base.
    const QString health = Find<QLabel>(*page, "health")->text();
    EXPECT_TRUE(health.startsWith(QStringLiteral("Age "))) << health.toStdString();
    EXPECT_TRUE(health.contains(QStringLiteral("1004:6 1005:1 1012:6 1019:1 1020:1"))) << health.toStdString();
    EXPECT_TRUE(health.contains(QStringLiteral("Base 0: 35.87299 138.38967 1003.9 m"))) << health.toStdString();
    page->OnTimer();
    EXPECT_EQ(Find<QLabel>(*page, "1014")->text(), QStringLiteral(" 0bytes     1.95 KB"));

    // Return keeps the connection; reopening shows it running with its total.
    page->done(16);
    page.reset();
    EXPECT_TRUE(app_->correctionLink.Active());
    page = Open();
    EXPECT_TRUE(Running(*page));
    EXPECT_TRUE(page->TimerActive());
    EXPECT_EQ(Find<QLabel>(*page, "1014")->text(), QStringLiteral("2000 "));
    EXPECT_FALSE(Find<QComboBox>(*page, "1010")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(*page, "1013")->isEnabled());

    // Stop: the page's own MSG_LINK_DOWN is handled after its first text.
    Find<QPushButton>(*page, "32845")->click();
    EXPECT_EQ(Status(*page), QStringLiteral("Disconnect from Server."));
    ASSERT_TRUE(PumpUntil([&] { return Status(*page) == QStringLiteral("DisConnect from Server!"); }));
    EXPECT_FALSE(Running(*page));
    EXPECT_FALSE(page->TimerActive());
    EXPECT_FALSE(app_->correctionLink.Active());
}

TEST_F(CorrectionPageFlows, UpdateSourceTableRefillsTheListAndDoesNotConnect) {
    auto page = Open();
    Find<QComboBox>(*page, "1010")->setCurrentIndex(0);
    page->PressStart();
    EXPECT_EQ(Status(*page), QStringLiteral("Update SourceTable"));
    ASSERT_TRUE(PumpUntil([&] { return !warnings_.empty(); }));
    EXPECT_EQ(warnings_[0], Said(61));
    EXPECT_EQ(icons_[0], NoticeIcon::Information);
    EXPECT_EQ(Status(*page), QStringLiteral("Update SourceTable Successfully!"));
    auto* list = Find<QComboBox>(*page, "1010");
    ASSERT_GT(list->count(), 1);
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(list->itemText(1).toStdString(), app_->correctionLink.Entries()[0].mountPoint);
    EXPECT_FALSE(Running(*page));
    EXPECT_TRUE(list->isEnabled());
    EXPECT_EQ(caster_.Connections(), 1);
    EXPECT_EQ(diffInputs_, 0);
}

// A page that has gone gets no message (its connection's messages are
// dropped, never delivered to a destroyed page); a new page takes them.
TEST_F(CorrectionPageFlows, ClosedPageIsNoLongerTheTarget) {
    auto page = Open(/*tcp=*/true);
    EXPECT_FALSE(Find<QComboBox>(*page, "1010")->isEnabled());
    page->PressStart();  // TCP needs neither a fix nor a mount point
    EXPECT_TRUE(warnings_.empty());
    EXPECT_TRUE(Running(*page));
    page.reset();
    ASSERT_TRUE(PumpUntil([&] { return app_->correctionLink.BytesReceived() == corrections_.size(); }))
        << app_->correctionLink.StatusText();
    QApplication::processEvents();
    page = Open(/*tcp=*/true);
    EXPECT_TRUE(Running(*page));
    Find<QPushButton>(*page, "32845")->click();
    ASSERT_TRUE(PumpUntil([&] { return Status(*page) == QStringLiteral("DisConnect from Server!"); }));
}

// Choosing NTRIP while the TCP client runs shows string 91 and opens nothing;
// TCP while it runs is its own page again.
TEST(CorrectionMenu, NtripWhileTcpRunsIsRefused) {
    test::TempDir dir;
    platform::SetDataFolder(dir.Path());
    LoopbackCaster server([](int fd, LoopbackCaster& c) { c.HoldOpen(fd); });
    {
        AppContext app;
        corrections::CasterSettings s;
        s.casterAddress = "127.0.0.1";
        s.port = server.Port();
        app.correctionLink.SetSettings(s);
        std::vector<QString> warnings;
        Prompts prompts;
        prompts.tell = [&](NoticeIcon, const QString& text, const QString&) { warnings.push_back(text); };
        prompts.confirm = [](const QString&, const QString&) { return true; };
        BatteryMonitor battery(0, dir.Path());
        MainWindow window(app, battery, MainWindow::Options{prompts, false});
        ASSERT_TRUE(app.correctionLink.StartTcp(nullptr));
        app.correctionMode = CorrectionMode::Tcp;

        int opened = 0;
        auto closeModal = [&] {
            QTimer::singleShot(50, [&] {
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    ++opened;
                    dialog->done(16);
                }
            });
        };
        QAction* ntrip = window.SetupMenu()->findChild<QAction*>(QStringLiteral("32860"));
        ASSERT_NE(ntrip, nullptr);
        EXPECT_TRUE(ntrip->isEnabled());
        closeModal();
        window.RunCommand(32860);
        PumpUntil([] { return false; }, 100ms);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_EQ(warnings[0], Text(app.strings, 91));
        EXPECT_EQ(opened, 0);
        EXPECT_EQ(app.correctionMode, CorrectionMode::Tcp);

        closeModal();
        window.RunCommand(32870);
        EXPECT_EQ(opened, 1);
        EXPECT_EQ(warnings.size(), 1u);
        window.Shutdown();
        EXPECT_FALSE(app.correctionLink.Active());
    }
    platform::SetDataFolder("");
}

}  // namespace
}  // namespace sextara::gui
