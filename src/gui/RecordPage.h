#pragma once

#include <string>
#include <vector>

#include "app/RecordPageModel.h"
#include "gui/DialogSupport.h"
#include "gui/Page.h"

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
class RecordPage final : public Page {
    Q_OBJECT
public:
    RecordPage(AppCore& core, Prompts prompts, bool portrait, QWidget* parent = nullptr);

    // A command of the page's bar, by either language's id.
    void RunCommand(int commandId);
    // Opens the folder browser over the page (the "..." button).
    void Browse();
    void OnTimer() override;

    const RecordPageModel& Model() const { return model_; }
    // Where the browser starts besides the mounts: the user's home.
    void SetBrowseRoots(std::string home, std::string root);

private:
    QPushButton* AddCommand(const BarCommand& command, platform::StringId text);
    void ShowState();
    void OpenOptions();

    AppCore& core_;
    Prompts prompts_;
    RecordPageModel model_;
    std::string home_;
    std::string root_ = "/";
    QLineEdit* folder_ = nullptr;
    QLineEdit* name_ = nullptr;
    QPushButton* browse_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* duration_ = nullptr;
    QLabel* sizeLabel_ = nullptr;
    QLabel* size_ = nullptr;
    std::vector<QPushButton*> idleButtons_;
    std::vector<QPushButton*> recordingButtons_;
};

}  // namespace sextara::gui
