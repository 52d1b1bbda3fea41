#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "app/AppCore.h"
#include "app/BatteryMonitor.h"
#include "app/NtripPageModel.h"
#include "app/ShellMenu.h"
#include "gui/DialogSupport.h"

class QDialog;
class QMenu;
class QSystemTrayIcon;
class QToolButton;

namespace sextara::gui {

class MainView;

class BatteryWarningPresenter;

// The program's one window: the main view over a soft-key bar ("Setup" with
// its menu, "Exit"), the start-up timer (the configuration dialog 300 ms
// after start), the one-second tick, the menu commands and the orderly end.
class MainWindow final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kStartupTimerId = 1111;
    static constexpr int kStartupDelayMs = 300;
    static constexpr int kTickTimerId = 1234;
    static constexpr int kTickMs = 1000;

    struct Options {
        // Empty: message boxes over the window.
        Prompts prompts;
        // Tests open the start-up dialog themselves.
        bool startupTimer = true;
        // Setting the device clock from GNSS time: only for a live receiver.
        // A demo replays an old capture and a test a made-up one; either
        // would set this machine's clock years wrong.
        bool clockSync = false;
    };

    MainWindow(AppContext& app, BatteryMonitor& battery, Options options);
    // Shutdown() if it has not run.
    ~MainWindow() override;

    // A command of the bar or an accelerator (kAcceleratorExit, kAcceleratorAbout).
    void RunCommand(int commandId);
    // Timer 1111's work: the start-up dialog, then the core's start-up and
    // the tick. Public so that tests run it without the delay.
    void RunStartup();
    // Closes without asking (a signal, the session's end, the start-up
    // dialog left with -1): modal dialogs are ended first.
    void RequestClose();
    // The orderly end: timers, the battery warning and monitor, the worker,
    // the core, then config.ini and the settings store saved. Safe twice.
    void Shutdown();
    // Saves config.ini and the settings store now (session end).
    void SaveSettings();
    // Brings the window to the front (second start, tray icon).
    void Raise();

    void RebuildMenuBar();
    // The language the bar was last built in (0 Chinese).
    int MenuLanguage() const { return menuLanguage_; }
    QMenu* SetupMenu() const;
    QToolButton* ExitButton() const;

    AppCore& Core() { return core_; }
    MainView* View() const { return view_; }
    BatteryWarningPresenter& BatteryPresenter() { return *presenter_; }
    bool TickRunning() const { return tickTimer_.isActive(); }
    NtripPageModel& NtripModel() { return ntripModel_; }

signals:
    // The window has closed and shut the application down.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OpenAbout();
    void OpenPortConsole();
    void OpenCorrectionPage(MenuAction action);
    void OnTick();

    AppContext& app_;
    BatteryMonitor& battery_;
    Prompts prompts_;
    AppCore core_;
    // Outlives the pages: a page reopened on a running connection keeps its count.
    NtripPageModel ntripModel_;
    MainView* view_ = nullptr;
    QPointer<QWidget> bar_;
    QTimer startupTimer_;
    QTimer tickTimer_;
    BatteryWarningPresenter* presenter_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    int menuLanguage_ = 1;
    bool closing_ = false;
    bool shutDown_ = false;
};

}  // namespace sextara::gui
