#include "gui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/CorrectionHooks.h"
#include "app/CorrectionMenuRule.h"
#include "app/DialogPlacement.h"
#include "app/Settings.h"
#include "app/ShellMenu.h"
#include "app/StartupDialogModel.h"
#include "corrections/NetworkBringUp.h"
#include "gui/AboutDialog.h"
#include "gui/AdvancedPage.h"
#include "gui/BatteryWarning.h"
#include "gui/MainView.h"
#include "gui/NtripPage.h"
#include "gui/PortClientPage.h"
#include "gui/PortConsole.h"
#include "gui/RecordPage.h"
#include "gui/StartupDialog.h"
#include "platform/Paths.h"

namespace sextara::gui {

MainWindow::MainWindow(AppContext& app, BatteryMonitor& battery, Options options)
    : app_(app),
      battery_(battery),
      prompts_(options.prompts.confirm ? std::move(options.prompts) : Prompts::MessageBoxes(this)),
      core_(app, WithCorrectionHooks(app, AppHooks{
                     .startNetworking = {},
                     .loadCasterSettings = {},
                     .armClockSync = options.clockSync ? std::function<void()>([this] {
                                                             app_.clockSync.Arm(ClockSync::Request::Automatic);
                                                         })
                                                       : std::function<void()>(),
                     .startBatteryMonitor =
                         [this] {
                             battery_.Attach([presenter = presenter_](const std::string& text) {
                                 presenter->ShowAndWait(text);
                             });
                             battery_.Start(app_.strings.String(StringId::kBatteryLow));
                         },
                     .portOpenFailed =
                         [this](const std::string& message, const std::string&) {
                             if (prompts_.tell) {
                                 prompts_.tell(NoticeIcon::Warning, QString::fromStdString(message),
                                               OwnText(StringId::kNotice));
                             }
                         },
                     .refreshView =
                         [this] {
                             view_->Tick(app_.gnss.Snapshot(), app_.correctionLink.Running(),
                                         core_.Link() == ReceiverLink::Lost);
                         },
                     .forwardData = {},
                 })),
      ntripModel_(NtripPageModel::Deps{
          .link = app.correctionLink,
          .ensureNetwork = [](std::string_view address) { return corrections::EnsureNetwork(address); },
          .sendDiffInput = [&app] { SendDiffInputCommands(app); },
          .state = [&app] { return app.gnss.Snapshot(); },
      }) {
    setWindowTitle(Text(app.strings, StringId::kProgramName));
    setWindowIcon(ProgramIcon());
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::white));
    presenter_ = new BatteryWarningPresenter(this);

    // The bar is built in the configured language before the language
    // library is tried; a failed load shows from the first rebuild on.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new MainView(this);
    // Runs only once armed (a live port opened); until then it does nothing.
    view_->onPaintState = [this](const GnssState& state) { app_.clockSync.OnPaint(state); };
    layout->addWidget(view_, 1);
    RebuildMenuBar();
    app_.LoadLanguage();
    view_->SetLanguage(app_.config.effectiveLanguage);

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = new QSystemTrayIcon(ProgramIcon(), this);
        tray_->setToolTip(Text(app.strings, StringId::kProgramName));
        connect(tray_, &QSystemTrayIcon::activated, this, [this] { Raise(); });
        tray_->show();
    }

    auto* about = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_A), this);
    connect(about, &QShortcut::activated, this, [this] { RunCommand(kAcceleratorAbout); });
    auto* exit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(exit, &QShortcut::activated, this, [this] { RunCommand(kAcceleratorExit); });

    startupTimer_.setSingleShot(true);
    startupTimer_.setInterval(kStartupDelayMs);
    connect(&startupTimer_, &QTimer::timeout, this, &MainWindow::RunStartup);
    tickTimer_.setInterval(kTickMs);
    connect(&tickTimer_, &QTimer::timeout, this, &MainWindow::OnTick);
    if (options.startupTimer) startupTimer_.start();
}

MainWindow::~MainWindow() { Shutdown(); }

void MainWindow::RebuildMenuBar() {
    const int language = app_.config.effectiveLanguage;
    view_->SetLanguage(language);
    if (bar_) {
        // The old bar may be in the middle of delivering the command that
        // led here.
        bar_->hide();
        bar_->deleteLater();
    }
    auto* bar = new QWidget(this);
    bar->setObjectName(QStringLiteral("softKeyBar"));
    bar->setAutoFillBackground(true);
    bar->setPalette(QPalette(QColor(0xec, 0xef, 0xf1)));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 4, 4, 4);

    auto* setup = new QToolButton(bar);
    setup->setObjectName(QStringLiteral("setupButton"));
    setup->setText(FromUtf8(SetupButtonText(language)));
    setup->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(setup);
    menu->setObjectName(QStringLiteral("setupMenu"));
    QMenu* corrections = menu->addMenu(FromUtf8(kCorrectionMenuText));
    corrections->setObjectName(QStringLiteral("correctionMenu"));
    QToolButton* exitButton = nullptr;
    for (const ShellMenuItem& item : ShellMenuItems()) {
        const int id = CommandIdOf(item, language);
        if (item.action == MenuAction::Exit) {
            exitButton = new QToolButton(bar);
            exitButton->setObjectName(QString::number(id));
            exitButton->setText(FromUtf8(ExitButtonText(language)));
            connect(exitButton, &QToolButton::clicked, this, [this, id] { RunCommand(id); });
            continue;
        }
        QMenu* into = item.inCorrectionMenu ? corrections : menu;
        QAction* action = into->addAction(FromUtf8(TextOf(item, language)));
        action->setObjectName(QString::number(id));
        action->setData(id);
        action->setEnabled(item.enabled);
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
    setup->setMenu(menu);
    for (QToolButton* button : {setup, exitButton}) {
        button->setMinimumSize(120, 48);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        QFont font = button->font();
        font.setPointSizeF(font.pointSizeF() * 1.3);
        button->setFont(font);
    }
    row->addWidget(setup);
    row->addWidget(exitButton);
    static_cast<QVBoxLayout*>(layout())->addWidget(bar);
    bar_ = bar;
    menuLanguage_ = language;
}

QMenu* MainWindow::SetupMenu() const { return bar_ ? bar_->findChild<QMenu*>(QStringLiteral("setupMenu")) : nullptr; }

QToolButton* MainWindow::ExitButton() const {
    if (!bar_) return nullptr;
    for (const ShellMenuItem& item : ShellMenuItems()) {
        if (item.action == MenuAction::Exit) {
            return bar_->findChild<QToolButton*>(QString::number(CommandIdOf(item, menuLanguage_)));
        }
    }
    return nullptr;
}

void MainWindow::RunCommand(int commandId) {
    const ShellMenuItem* item = FindMenuItem(commandId);
    if (item == nullptr || !item->enabled || closing_) return;
    const bool accelerator = commandId == kAcceleratorAbout || commandId == kAcceleratorExit;
    switch (item->action) {
        case MenuAction::Exit:
            if (prompts_.confirm && prompts_.confirm(Text(app_.strings, StringId::kExitQuestion),
                                                     Text(app_.strings, StringId::kNotice)))
                RequestClose();
            return;
        case MenuAction::About:
            OpenAbout();
            break;
        case MenuAction::PortSetup:
            OpenPortConsole();
            break;
        case MenuAction::NtripClient:
        case MenuAction::TcpClient:
        case MenuAction::PortClient:
            OpenCorrectionPage(item->action);
            break;
        case MenuAction::DataRecord: {
            RecordPage page(core_, prompts_, IsPortrait(this), this);
            ExecOnWindow(page, this, kPlaceFullPage);
            break;
        }
        case MenuAction::AdvancedSetup: {
            AdvancedPage page(core_, prompts_, this);
            ExecOnWindow(page, this, kPlaceFullPage);
            break;
        }
        default:
            // Pages this build does not have are greyed out in the bar.
            return;
    }
    if (!accelerator && !closing_) RebuildMenuBar();
}

void MainWindow::OpenAbout() {
    AboutDialog dialog(app_, this);
    ExecOnWindow(dialog, this, kPlaceFullPage);
}

void MainWindow::OpenPortConsole() {
    PortConsole console(core_, prompts_, IsPortrait(this), this);
    ExecOnWindow(console, this, kPlaceFullPage);
}

void MainWindow::OpenCorrectionPage(MenuAction action) {
    const CorrectionMenuDecision decision =
        DecideCorrectionMenu(action, app_.correctionLink.Active(), app_.correctionMode, app_.portClient.IsOpen());
    if (decision.refusalString != 0) {
        if (prompts_.tell) {
            prompts_.tell(NoticeIcon::Warning, Text(app_.strings, decision.refusalString),
                          Text(app_.strings, StringId::kNotice));
        }
        return;
    }
    using Page = CorrectionMenuDecision::Page;
    if (decision.open == Page::None) return;
    app_.correctionMode = decision.correctionMode;
    if (decision.open == Page::Port) {
        PortClientPage page(app_, prompts_, this);
        ExecOnWindow(page, this, kPlaceFullPage);
        return;
    }
    NtripPage page(ntripModel_, app_, decision.open == Page::Tcp, prompts_, IsPortrait(this), this);
    ExecOnWindow(page, this, kPlaceFullPage);
}

void MainWindow::RunStartup() {
    startupTimer_.stop();
    if (closing_) return;
    int result = DialogResult::kLeave;
    {
        StartupDialog dialog(core_, prompts_, IsPortrait(this), this);
        result = ExecOnWindow(dialog, this, kPlacePopup);
    }
    if (closing_) return;
    RebuildMenuBar();
    if (result == DialogResult::kLeave) {
        RequestClose();
        return;
    }
    core_.Start();
    if (closing_) return;
    tickTimer_.start();
}

void MainWindow::OnTick() { core_.Tick(); }

void MainWindow::Raise() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::RequestClose() {
    closing_ = true;
    if (QWidget* modal = QApplication::activeModalWidget()) {
        // A dialog's own loop must unwind before the window can go; ask
        // again once it has.
        if (auto* startup = qobject_cast<StartupDialog*>(modal)) {
            startup->Abandon();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->done(DialogResult::kLeave);
        } else {
            modal->close();
        }
        QTimer::singleShot(10, this, &MainWindow::RequestClose);
        return;
    }
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        // The title bar's close button asks as Exit does.
        event->ignore();
        RunCommand(kAcceleratorExit);
        return;
    }
    Shutdown();
    event->accept();
    emit closed();
}

void MainWindow::SaveSettings() {
    SaveConfig(app_.configPath, app_.config);
    SaveRegistrySettings(app_.Registry(), app_.registry);
}

void MainWindow::Shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    closing_ = true;
    startupTimer_.stop();
    tickTimer_.stop();
    // A warning that is up holds the monitor thread: close it first.
    presenter_->Shutdown();
    battery_.Stop();
    core_.Shutdown();
    SaveSettings();
    if (tray_ != nullptr) tray_->hide();
}

}  // namespace sextara::gui
