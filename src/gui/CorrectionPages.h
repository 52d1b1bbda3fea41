#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/CorrectionPages.h"
#include "gui/DialogSupport.h"
#include "gui/Page.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

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

// The caster settings: CasterSettingsControl, and "sendCurrentGga" the
// current position in the periodic GGA, "useTls" TLS to the caster, "caFile"
// its private CA's PEM file; OK and Cancel (command::kOk, kCancel). Values
// that cannot be used are refused on OK with a message.
class CasterSettingsDialog final : public Page {
    Q_OBJECT
public:
    CasterSettingsDialog(AppContext& app, bool tcp, Prompts prompts, QWidget* parent = nullptr);

public slots:
    void PressOk();

private:
    void EnableTyped();

    AppContext& app_;
    Prompts prompts_;
    bool tcp_;
    QLineEdit* address_ = nullptr;
    QLineEdit* port_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QRadioButton* receiverGga_ = nullptr;
    QRadioButton* typedGga_ = nullptr;
    QLineEdit* latitude_ = nullptr;
    QLineEdit* longitude_ = nullptr;
    QComboBox* northSouth_ = nullptr;
    QComboBox* eastWest_ = nullptr;
    QCheckBox* current_ = nullptr;
    QCheckBox* tls_ = nullptr;
    QLineEdit* caFile_ = nullptr;
};

// The PORT client page: PortClientControl and Return (command::kReturn). The
// port's bytes move to the receiver by the PortClient's own thread, page or
// no page.
class PortClientPage final : public Page {
    Q_OBJECT
public:
    PortClientPage(AppContext& app, Prompts prompts, QWidget* parent = nullptr);

public slots:
    void PressOpenClose();
    void OnTimer() override;

private:
    void ShowOpen(bool open);

    AppContext& app_;
    Prompts prompts_;
    QComboBox* port_ = nullptr;
    QComboBox* baud_ = nullptr;
    QPushButton* openClose_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* count_ = nullptr;
    std::uint32_t lastShown_ = 0;
    int steps_ = 0;
};

}  // namespace sextara::gui
