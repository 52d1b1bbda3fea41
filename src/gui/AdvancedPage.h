#pragma once

#include "app/AdvancedPageModel.h"
#include "gui/DialogSupport.h"
#include "gui/Page.h"
#include "gui/QtMessageSink.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace sextara {
class AppCore;
}

namespace sextara::gui {

// The advanced setup page (AdvancedPageControl): the differential mode
// (Hemisphere only), the language (from the next start), data to the external
// serial port, the clock from GNSS time, the receiver's defaults, a status
// line, and Return (command::kReturn).
//
// A view of AdvancedPageModel. While a restore holds the page, Return, Esc
// and the close button do nothing and the controls that would reach the
// receiver are locked. Only the window's own closing ends it early, stopping
// the worker.
class AdvancedPage final : public Page {
    Q_OBJECT
public:
    AdvancedPage(AppCore& core, Prompts prompts, QWidget* parent = nullptr);
    ~AdvancedPage() override;

    // True from the start of a restore until both of its reports have arrived.
    bool Restoring() const { return model_.Restoring(); }
    QtMessageSink& Sink() { return sink_; }

public slots:
    void PressApplyDiffMode();
    void PressApplyLanguage();
    void PressForwarding(bool checked);
    void PressClockSync();
    void PressRestore();

protected:
    bool MayLeave() const override;
    void done(int result) override;

private:
    QWidget* BuildDiffModeGroup();
    QWidget* BuildLanguageRow(QPushButton*& apply);
    void OnWorkerMessage(const WorkerMessage& message);
    // The wait cursor and the locked controls follow the model's hold.
    void ShowRestoring();
    void SetStatus(const std::optional<std::string>& text);
    void Tell(const std::optional<AdvancedPageModel::Notice>& notice);

    AdvancedPageModel model_;
    Prompts prompts_;
    QtMessageSink sink_;
    bool shownRestoring_ = false;
    QRadioButton* sbas_ = nullptr;
    QRadioButton* external_ = nullptr;
    QPushButton* applyDiff_ = nullptr;
    QRadioButton* english_ = nullptr;
    QRadioButton* chinese_ = nullptr;
    QCheckBox* forward_ = nullptr;
    QPushButton* clock_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* restore_ = nullptr;
    QPushButton* back_ = nullptr;
};

}  // namespace sextara::gui
