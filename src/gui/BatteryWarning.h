#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include "app/BatteryMonitor.h"

class QLabel;

namespace sextara::gui {

// The low-battery warning: one line (BatteryWarningControl) on top of
// everything, with a dot more each second, closing itself at the fourth tick.
class BatteryWarning final : public QDialog {
    Q_OBJECT
public:
    explicit BatteryWarning(const QString& text, QWidget* parent = nullptr);

    const BatteryWarningText& Model() const { return model_; }

public slots:
    // One tick of timer 2024.
    void Tick();

private:
    BatteryWarningText model_;
    QLabel* label_ = nullptr;
    QTimer timer_;
};

// Shows the warning for the monitor thread: Qt makes widgets only on the
// window thread, so the monitor asks this object (living there) to show it
// and waits until it has closed. Shutdown closes a warning that is up and
// lets every waiting monitor go, so the monitor thread can end.
class BatteryWarningPresenter final : public QObject {
    Q_OBJECT
public:
    explicit BatteryWarningPresenter(QWidget* owner);
    ~BatteryWarningPresenter() override;

    // For the monitor thread (BatteryMonitor::ShowWarning); returns once the
    // warning has closed, or at once after Shutdown.
    void ShowAndWait(const std::string& text);
    // Window thread.
    void Shutdown();
    // The warning on screen, if any (window thread).
    BatteryWarning* Current() const { return current_; }

private:
    void ShowOnWindowThread(const QString& text);
    void Finished();

    QWidget* owner_;
    QPointer<BatteryWarning> current_;
    std::mutex lock_;
    std::condition_variable closed_;
    bool up_ = false;
    bool shutDown_ = false;
};

}  // namespace sextara::gui
