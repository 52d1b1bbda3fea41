#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/NtripPageModel.h"
#include "gui/DialogSupport.h"
#include "gui/Page.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace sextara {
class AppContext;
}

namespace sextara::gui {

class QtMessageSink;

// The NTRIP and TCP client page: a view of NtripPageModel. Controls by id:
// NtripPageControl, and "health" the corrections' health box; the bar's
// buttons carry their command ids (kCorrectionStart, kStop, kRunningReturn).
// The connection's messages reach the page while it exists and are dropped
// once it has gone.
class NtripPage final : public Page {
    Q_OBJECT
public:
    NtripPage(NtripPageModel& model, AppContext& app, bool tcp, Prompts prompts, bool portrait,
              QWidget* parent = nullptr);
    ~NtripPage() override;

    // Return and the system close: the timer stops and the page is no longer
    // the connection's target.
    void done(int result) override;

public slots:
    void PressStart();
    void PressStop();
    void PressSettings();
    // The page's 1 s timer (id 2).
    void OnTimer() override;

private:
    void Render();
    void Ask(const std::optional<PagePrompt>& prompt);

    NtripPageModel& model_;
    AppContext& app_;
    Prompts prompts_;
    bool portrait_;
    bool tcp_;
    std::unique_ptr<QtMessageSink> sink_;
    std::vector<std::string> shownItems_;
    int shownSelection_ = -1;
    QLabel* address_ = nullptr;
    QComboBox* list_ = nullptr;
    QLabel* info_ = nullptr;
    QPushButton* settings_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* counter_ = nullptr;
    QPlainTextEdit* status_ = nullptr;
    QLabel* health_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    bool waitCursor_ = false;
};

}  // namespace sextara::gui
