#pragma once

#include <string>

#include <QDialog>
#include <QTimer>

#include "app/RecordPageModel.h"
#include "gui/DialogSupport.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace sextara {
class AppCore;
}

namespace sextara::gui {

// The recording page (RecordPageControl): folder and its browser, file name,
// status, duration and size. Its bar holds buttons named by command id: idle
// kRecordStart, kRecordSetup, kRecordReturn; recording kStop, kRunningReturn.
// Leaving the page keeps a recording running; coming back shows it again.
class RecordPage final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 1000;

    RecordPage(AppCore& core, Prompts prompts, bool portrait, QWidget* parent = nullptr);

    // A command of the page's bar, by either language's id.
    void RunCommand(int commandId);
    // Opens the folder browser over the page (the "..." button).
    void Browse();
    // The page timer's work, public so that tests need not wait a second.
    void OnTimer();

    const RecordPageModel& Model() const { return model_; }
    bool TimerRunning() const { return timer_.isActive(); }
    // Where the browser starts besides the mounts: the user's home.
    void SetBrowseRoots(std::string home, std::string root);

private:
    void ShowState();
    void OpenOptions();

    AppCore& core_;
    Prompts prompts_;
    RecordPageModel model_;
    QTimer timer_;
    std::string home_;
    std::string root_ = "/";
    QLineEdit* folder_ = nullptr;
    QLineEdit* name_ = nullptr;
    QPushButton* browse_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* duration_ = nullptr;
    QLabel* sizeLabel_ = nullptr;
    QLabel* size_ = nullptr;
    QWidget* idleBar_ = nullptr;
    QWidget* recordingBar_ = nullptr;
};

}  // namespace sextara::gui
