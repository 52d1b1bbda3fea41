#pragma once

#include <QDialog>

#include "app/StartupDialogModel.h"
#include "gui/DialogSupport.h"
#include "gui/QtMessageSink.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace sextara {
class AppCore;
}

namespace sextara::gui {

// The start-up configuration dialog (StartupControl): make, port and baud
// rate, optionally detected on the core's worker. exec() returns
// DialogResult::kFinished when the GPS path is to open, kLeave when the user
// chose to leave.
class StartupDialog final : public QDialog {
    Q_OBJECT
public:
    StartupDialog(AppCore& core, Prompts prompts, bool portrait, QWidget* parent = nullptr);
    // Stops a running detection (releasing the worker first).
    ~StartupDialog() override;

    const StartupDialogModel& Model() const { return model_; }
    QtMessageSink& Sink() { return sink_; }

    // Ends a running detection and the dialog with kLeave: the window
    // is closing.
    void Abandon();

public slots:
    void PressOk();
    void PressCancel();

protected:
    // Esc asks as Cancel does; the window's close button ends with kFinished.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnWorkerMessage(const WorkerMessage& message);
    void SetControlsEnabled(bool enabled);
    void StopDetection();

    AppCore& core_;
    Prompts prompts_;
    StartupDialogModel model_;
    QtMessageSink sink_;
    QComboBox* make_ = nullptr;
    QComboBox* port_ = nullptr;
    QComboBox* baud_ = nullptr;
    QCheckBox* detect_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* scan_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace sextara::gui
